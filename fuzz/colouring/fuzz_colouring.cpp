// The colouring pass over any bytes and any range 0 ≤ start ≤ end ≤ L, against a
// step-by-step model of its rules on a whole-text colour array:
// - the pass gives exactly the model's colours inside the range;
// - it writes nothing outside its output (guard entries around it stay as they were)
//   and reads only the bytes of the range (an exact-size copy: AddressSanitizer stops
//   a read past it);
// - the text's last character never takes a colour.
#include "editor/colouring.h"
#include "fuzzinput.h"
#include "tests/support/colouringmodel.h"

#include <memory>
#include <vector>

namespace {

enum : int { Untouched = -1, Base = 1, Strings = 2, Functions = 3 };

/** The model's colours by position 0 … L, as the values classValue() gives. */
std::vector<int> model(const QByteArray &t, qsizetype start, qsizetype end)
{
    bool outside = false;
    const std::string letters = colouringModel(std::string_view(t.constData(), size_t(t.size())), start, end, &outside);
    FUZZ_CHECK(!outside, "the model colours outside the text");
    std::vector<int> colour;
    colour.reserve(letters.size());
    for (char c : letters)
        colour.push_back(c == 'b' ? Base : c == 's' ? Strings : c == 'f' ? Functions : Untouched);
    return colour;
}

int classValue(ColourClass c)
{
    switch (c) {
    case ColourClass::Keep: return Untouched;
    case ColourClass::Base: return Base;
    case ColourClass::String: return Strings;
    case ColourClass::Function: return Functions;
    }
    return -100;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint32_t a = in.u32();
    const uint32_t b = in.u32();
    const QByteArray text = in.rest();
    const qsizetype L = text.size();
    const qsizetype start = qsizetype(a % uint32_t(L + 1));
    const qsizetype end = start + qsizetype(b % uint32_t(L - start + 1));

    // Exactly the bytes of positions max(start, 1) … end, in a buffer of their own.
    const qsizetype first = std::max<qsizetype>(start, 1);
    const qsizetype readable = end - first + 1;
    std::unique_ptr<char[]> bytes(new char[size_t(std::max<qsizetype>(readable, 1))]);
    if (readable > 0)
        std::memcpy(bytes.get(), text.constData() + first - 1, size_t(readable));

    constexpr int kGuard = 8;
    constexpr auto kSentinel = static_cast<ColourClass>(0x5A);
    const qsizetype count = end - start + 1;
    std::vector<ColourClass> out(size_t(count + 2 * kGuard), kSentinel);
    colourPass(bytes.get(), start, end, out.data() + kGuard);

    for (int g = 0; g < kGuard; ++g) {
        FUZZ_CHECK(out[size_t(g)] == kSentinel, "the pass wrote before its range");
        FUZZ_CHECK(out[size_t(kGuard + count + g)] == kSentinel, "the pass wrote after its range");
    }
    const std::vector<int> want = model(text, start, end);
    for (qsizetype p = start; p <= end; ++p) {
        const int got = classValue(out[size_t(kGuard + p - start)]);
        const int expected = p >= 1 ? want[size_t(p)] : Untouched;
        FUZZ_CHECK(got == expected, "the pass differs from the model");
    }
    if (end == L && L > 0)
        FUZZ_CHECK(out[size_t(kGuard + count - 1)] == ColourClass::Keep, "the last character was coloured");
    return 0;
}
