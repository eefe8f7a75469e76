#pragma once
// The colouring rules written out plainly, one position at a time on a colour per
// position (ColoreSel as a loop): the reference that the fast pass is checked
// against, by the tests and by the fuzz target. Header only, std and Qt's integer
// types alone, so that the fuzz target builds it without the test support.

#include <QtGlobal>

#include <string>
#include <string_view>

/**
 * The colours after a pass over positions start … end of `t` (0 ≤ start ≤ end ≤ L):
 * one letter per position 0 … L, '.' untouched, 'b' base, 's' string, 'f' function.
 * `outside` is set if the rules ever reach for a position outside 1 … L.
 */
inline std::string colouringModel(std::string_view t, qsizetype start, qsizetype end, bool *outside = nullptr)
{
    const auto length = static_cast<qsizetype>(t.size());
    std::string colour(static_cast<size_t>(length + 1), '.');
    // Colours the characters strictly between positions a and b.
    auto coloreSel = [&](qsizetype a, qsizetype b, char c) {
        for (qsizetype p = a + 1; p <= b - 1; ++p) {
            if (p < 1 || p > length) {
                if (outside)
                    *outside = true;
                continue;
            }
            colour[static_cast<size_t>(p)] = c;
        }
    };
    coloreSel(start, end, 'b');
    qsizetype s = 0, v = 0, f = 0; // string, variable and call markers
    for (qsizetype i = start; i <= end; ++i) {
        if (i < 1 || i > length)
            continue;
        const char c = t[static_cast<size_t>(i - 1)];
        if (c == '\r') {
            s = v = f = 0;
        } else if (c == '$') {
            v = i;
        } else if (c == '"') {
            if (s) {
                coloreSel(s, i, 's');
                s = 0;
            } else {
                s = i;
            }
        } else if (c == '(') {
            if (f) {
                coloreSel(f, i, 'f');
                f = 0;
            }
        }
        if (std::string_view(" )+-.;<=>").find(c) != std::string_view::npos) {
            if (v) {
                coloreSel(v - 1, i, 'f');
                v = 0;
            }
            if (!s)
                f = (c == ' ' || c == '=') ? i : 0;
        }
    }
    return colour;
}
