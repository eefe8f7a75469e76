// The PHP tokenizer and the definition scan on any bytes:
// - tokens come in order, never overlap, are never empty and stay inside the text;
// - each token's line is 1 plus the line breaks before it (CR LF, lone CR, lone LF);
// - the walk ends (End) within one token per byte, and End repeats;
// - the definition scan never fails and gives lines inside the text and non-empty names.
#include "fuzzinput.h"
#include "search/definitionindex.h"
#include "search/phplexer.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    PhpLexer lexer(text);
    std::uint32_t lastEnd = 0;
    std::uint32_t line = 1;
    std::uint32_t counted = 0; // line breaks counted up to here
    size_t tokens = 0;
    for (PhpToken t = lexer.next();; t = lexer.next()) {
        FUZZ_CHECK(++tokens <= size + 1, "the walk does not end");
        if (t.kind == PhpTokenKind::End) {
            FUZZ_CHECK(lexer.next().kind == PhpTokenKind::End, "End does not repeat");
            break;
        }
        FUZZ_CHECK(t.begin >= lastEnd, "tokens overlap or go back");
        FUZZ_CHECK(t.end > t.begin && t.end <= size, "empty token or past the end");
        for (; counted < t.begin; ++counted) {
            const char c = text[counted];
            if (c == '\n' || (c == '\r' && (counted + 1 >= size || text[counted + 1] != '\n')))
                ++line;
        }
        FUZZ_CHECK(t.line == line, "wrong line");
        lastEnd = t.end;
    }
    std::uint32_t lines = 1;
    for (size_t i = 0; i < size; ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= size || text[i + 1] != '\n')))
            ++lines;
    }
    for (const Definition &d : scanDefinitions(text)) {
        FUZZ_CHECK(d.line >= 1 && std::uint32_t(d.line) <= lines, "definition line outside the text");
        FUZZ_CHECK(!d.name.isEmpty(), "definition without a name");
    }
    return 0;
}
