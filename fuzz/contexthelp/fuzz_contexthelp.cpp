// The function hint and the help page names, against plain models:
// - functionWord: the word before the caret's "(", scanned back to a stop character;
// - firstLineContaining: the first "\n"-separated line of the keyword list that
//   holds the word, null when none does;
// - helpPageCandidates: the two manual page names of a function;
// - landingOffset: where a jump to an anchor line lands.
#include "editor/contexthelp.h"
#include "editor/landing.h"
#include "fuzzinput.h"

namespace {

QByteArray modelWord(const QByteArray &line, qsizetype x)
{
    if (x < 2 || x > line.size() || line.at(x - 1) != '(')
        return {};
    qsizetype begin = x - 1; // the "(" itself, 0-based
    while (begin > 0) {
        const char c = line.at(begin - 1);
        if (c == ' ' || c == '(' || c == '.' || c == '/' || c == '=')
            break;
        --begin;
    }
    return line.mid(begin, x - begin);
}

QString modelFirstLine(const QString &list, const QString &word)
{
    for (const QString &line : list.split(u'\n')) {
        if (line.contains(word))
            return line;
    }
    return {};
}

qsizetype modelLanding(const QByteArray &text, qint64 number)
{
    if (number <= 1)
        return 0;
    qint64 seen = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && ++seen == number - 1)
            return std::min<qsizetype>(i + 2, text.size());
    }
    return text.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const qsizetype x = qsizetype(in.byte()) - 8; // a few negative columns too
    const qint64 number = qint64(int8_t(in.byte()));
    const QByteArray line = in.chunk();
    const QByteArray wordBytes = in.chunk(16);
    const QByteArray listBytes = in.rest();

    FUZZ_CHECK(functionWord(line, x) == modelWord(line, x), "functionWord differs from the model");

    // The typed word never holds a line break: it comes from one line of the editor.
    QString word = QString::fromUtf8(wordBytes);
    word.remove(u'\n');
    const QString list = QString::fromUtf8(listBytes);
    const QString hint = firstLineContaining(list, word);
    const QString wanted = modelFirstLine(list, word);
    FUZZ_CHECK(hint == wanted, "firstLineContaining gives another line than the model");
    FUZZ_CHECK(hint.isNull() == wanted.isNull(), "firstLineContaining: null and found disagree");

    const QString prefix = QString::fromUtf8(line);
    QString hyphenated = word;
    for (QChar &c : hyphenated)
        if (c == u'_')
            c = u'-';
    const QStringList pages = helpPageCandidates(prefix, word);
    FUZZ_CHECK(pages.size() == 2, "two help page candidates");
    FUZZ_CHECK(pages[0] == prefix + QStringLiteral("function.") + hyphenated + QStringLiteral(".html"), "first help page name");
    FUZZ_CHECK(pages[1] == prefix + QStringLiteral("manuel_function.") + hyphenated + QStringLiteral(".html"), "second help page name");

    FUZZ_CHECK(landingOffset(listBytes, number) == modelLanding(listBytes, number), "landingOffset differs");
    return 0;
}
