#include "editor/colouring.h"

#include <algorithm>
#include <array>

namespace {

enum Kind : std::uint8_t { Plain, Cr, Dollar, Quote, Paren, DelimSpaceOrEquals, DelimOther };

constexpr std::array<std::uint8_t, 256> makeKinds()
{
    std::array<std::uint8_t, 256> k{};
    k['\r'] = Cr;
    k['$'] = Dollar;
    k['"'] = Quote;
    k['('] = Paren;
    k[' '] = DelimSpaceOrEquals;
    k['='] = DelimSpaceOrEquals;
    for (unsigned char c : {')', '+', '-', '.', ';', '<', '>'})
        k[c] = DelimOther;
    return k;
}

constexpr std::array<std::uint8_t, 256> kinds = makeKinds();

} // namespace

void colourPass(const char *bytes, qsizetype start, qsizetype end, ColourClass *out)
{
    const qsizetype count = end - start + 1;
    if (count <= 0)
        return;
    // Base step: every position strictly between start and end takes the base colour.
    out[0] = ColourClass::Keep;
    if (count >= 2)
        std::fill(out + 1, out + count - 1, ColourClass::Base);
    out[count - 1] = ColourClass::Keep;

    // Colours the positions strictly between a and b (a ≥ start − 1 always holds here).
    auto colourBetween = [&](qsizetype a, qsizetype b, ColourClass c) {
        if (b > a + 1)
            std::fill(out + (a + 1 - start), out + (b - start), c);
    };

    qsizetype stringMark = 0, variableMark = 0, functionMark = 0;
    const qsizetype first = std::max<qsizetype>(start, 1);
    const auto *t = reinterpret_cast<const unsigned char *>(bytes);
    for (qsizetype i = first; i <= end; ++i) {
        const std::uint8_t kind = kinds[t[i - first]];
        switch (kind) {
        case Plain:
            continue;
        case Cr:
            stringMark = variableMark = functionMark = 0;
            continue; // a CR is no delimiter
        case Dollar:
            variableMark = i;
            continue;
        case Quote:
            if (stringMark) {
                colourBetween(stringMark, i, ColourClass::String);
                stringMark = 0;
            } else {
                stringMark = i;
            }
            continue;
        case Paren:
            if (functionMark) {
                colourBetween(functionMark, i, ColourClass::Function);
                functionMark = 0;
            }
            continue;
        default: // one of the nine delimiters
            if (variableMark) {
                colourBetween(variableMark - 1, i, ColourClass::Function);
                variableMark = 0;
            }
            if (!stringMark)
                functionMark = kind == DelimSpaceOrEquals ? i : 0;
            continue;
        }
    }
}
