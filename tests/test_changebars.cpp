// The change bars: lines added, changed and deleted in the edited text against
// the index's, whatever the line breaks and the encoding, and the edit that
// puts a change's old lines back.
#include "support/coremain.h"

#include "git/changebars.h"

#include <QRandomGenerator>

#include <algorithm>

// Readable runs in failure messages (found by argument lookup: global, as LineChange).
inline void PrintTo(const LineChange &c, std::ostream *os)
{
    static const char *kinds[] = {"Added", "Changed", "Deleted"};
    *os << kinds[c.kind] << '(' << c.line << '+' << c.lineCount << " old " << c.oldLine << '+' << c.oldLineCount
        << ')';
}

namespace {

using Kind = LineChange::Kind;

LineChange run(Kind kind, int line, int count, int oldLine, int oldCount)
{
    return {kind, line, count, oldLine, oldCount};
}


/** `text` with every change undone, last first so that offsets stay right. */
QByteArray revertAll(const ChangeBars &bars, QByteArray text)
{
    const QList<LineChange> changes = bars.compare(text);
    for (qsizetype i = changes.size() - 1; i >= 0; --i) {
        const LineChangeReversal undo = bars.reversal(changes[i], text, "\r\n");
        text.replace(undo.from, undo.to - undo.from, undo.text);
    }
    return text;
}

struct BarsCase
{
    const char *what;
    QByteArray base;
    QByteArray edited;
    QList<LineChange> expected;
};

QList<BarsCase> barsCases()
{
    return {
        {"CRLF editor over an LF index: no change", "a\nb\nc\n", "a\r\nb\r\nc\r\n", {}},
        {"a final break added", "a\nb", "a\r\nb\r\n", {}},
        {"a line changed", "a\nb\nc\n", "a\r\nB\r\nc\r\n", {run(Kind::Changed, 1, 1, 1, 1)}},
        {"a line added", "a\nc\n", "a\r\nb\r\nc\r\n", {run(Kind::Added, 1, 1, 1, 0)}},
        {"a line deleted", "a\nb\nc\n", "a\r\nc\r\n", {run(Kind::Deleted, 1, 0, 1, 1)}},
        {"first line deleted", "a\nb\n", "b\r\n", {run(Kind::Deleted, 0, 0, 0, 1)}},
        {"last line deleted, no final break", "a\nb\nc", "a\r\nb", {run(Kind::Deleted, 2, 0, 2, 1)}},
        {"line added at the end, no final break", "a\nb\n", "a\r\nb\r\nc", {run(Kind::Added, 2, 1, 2, 0)}},
        {"one line becomes two", "a\nb\nc\n", "a\r\nB\r\nB2\r\nc\r\n", {run(Kind::Changed, 1, 2, 1, 1)}},
        {"several runs",
         "1\n2\n3\n4\n5\n6\n7\n",
         "1\r\nX\r\n3\r\n4\r\n6\r\n7\r\nY\r\n",
         {run(Kind::Changed, 1, 1, 1, 1), run(Kind::Deleted, 4, 0, 4, 1), run(Kind::Added, 6, 1, 7, 0)}},
        {"lone CR breaks", "a\rb\rc\r", "a\r\nB\r\nc\r\n", {run(Kind::Changed, 1, 1, 1, 1)}},
        {"CRLF index, one line changed", "a\r\nb\r\n", "a\r\nc\r\n", {run(Kind::Changed, 1, 1, 1, 1)}},
        {"Windows-1252 bytes compared as bytes", "caf\xe9\nna\xefve\n", "caf\xe8\r\nna\xefve\r\n",
         {run(Kind::Changed, 0, 1, 0, 1)}},
        {"a CR inside a line is a break", "a b\n", "a\rb\r\n", {run(Kind::Changed, 0, 2, 0, 1)}},
        {"binary index: no bars", QByteArray("a\0b\n", 4), "x\r\n", {}},
        {"binary text: no bars", "a\n", QByteArray("a\0", 2), {}},
        {"UTF-16 text: no bars", "a\n", "\xff\xfe" "a\0", {}},
        {"new file: every line added", "", "a\r\nb", {run(Kind::Added, 0, 2, 0, 0)}},
        {"everything deleted", "a\nb\n", "", {run(Kind::Deleted, 0, 0, 0, 2)}},
        {"a repeated line removed", "x\nx\nx\n", "x\r\nx\r\n", {run(Kind::Deleted, 2, 0, 2, 1)}},
        {"changes far apart keep the lines between",
         "a\nk1\nk2\nk3\nk4\nb\n",
         "A\r\nk1\r\nk2\r\nk3\r\nk4\r\nB\r\n",
         {run(Kind::Changed, 0, 1, 0, 1), run(Kind::Changed, 5, 1, 5, 1)}},
    };
}

TEST(ChangeBars, TellsAddedChangedAndDeletedLines)
{
    for (const BarsCase &c : barsCases()) {
        SCOPED_TRACE(c.what);
        const ChangeBars bars(c.base);
        EXPECT_EQ(bars.compare(c.edited), c.expected);
    }
}

TEST(ChangeBars, UndoingEachChangePutsTheIndexLinesBack)
{
    for (const BarsCase &c : barsCases()) {
        SCOPED_TRACE(c.what);
        const ChangeBars bars(c.base);
        if (bars.baseIsBinary() || c.expected.isEmpty())
            continue;
        // Each change alone: it goes, the others stay.
        const QList<LineChange> changes = bars.compare(c.edited);
        for (qsizetype i = 0; i < changes.size(); ++i) {
            QByteArray text = c.edited;
            const LineChangeReversal undo = bars.reversal(changes[i], text, "\r\n");
            text.replace(undo.from, undo.to - undo.from, undo.text);
            EXPECT_EQ(bars.compare(text).size(), changes.size() - 1) << "undoing change " << i;
        }
        // All of them: the index's lines, with the editor's breaks.
        const QByteArray reverted = revertAll(bars, c.edited);
        EXPECT_TRUE(bars.compare(reverted).isEmpty()) << reverted.toStdString();
    }
}

TEST(ChangeBars, OldLinesOfARunComeWithoutTheirBreaks)
{
    const ChangeBars bars("a\r\nb\nc\rd\n");
    EXPECT_EQ(bars.oldLines(run(Kind::Changed, 1, 1, 1, 2)), (QList<QByteArray>{"b", "c"}));
    EXPECT_EQ(bars.oldLines(run(Kind::Deleted, 0, 0, 3, 1)), (QList<QByteArray>{"d"}));
    EXPECT_TRUE(bars.oldLines(run(Kind::Added, 0, 1, 0, 0)).isEmpty());
}

TEST(ChangeBars, AWholeRewriteIsOneChangedRun)
{
    QByteArray base;
    QByteArray edited;
    for (int i = 0; i < 3000; ++i) {
        base += "old " + QByteArray::number(i) + '\n';
        edited += "new " + QByteArray::number(i) + "\r\n";
    }
    const ChangeBars bars(base);
    EXPECT_EQ(bars.compare(edited), (QList<LineChange>{run(Kind::Changed, 0, 3000, 0, 3000)}));
    EXPECT_TRUE(bars.compare(revertAll(bars, edited)).isEmpty());
}

// Random edits of a text of few distinct lines (so that many lines look alike):
// the runs found must cover every difference, in order, and undoing them must
// give the index's lines back.
TEST(ChangeBars, RandomEditsAreFoundAndUndone)
{
    QRandomGenerator random(43);
    for (int round = 0; round < 300; ++round) {
        QList<QByteArray> lines;
        const int count = random.bounded(0, 40);
        for (int i = 0; i < count; ++i)
            lines << "l" + QByteArray::number(random.bounded(0, 6));
        QList<QByteArray> edited = lines;
        const int edits = random.bounded(0, 8);
        for (int e = 0; e < edits; ++e) {
            const int at = edited.isEmpty() ? 0 : random.bounded(0, int(edited.size()));
            switch (random.bounded(0, 3)) {
            case 0:
                edited.insert(at, "n" + QByteArray::number(random.bounded(0, 6)));
                break;
            case 1:
                if (!edited.isEmpty())
                    edited.removeAt(at);
                break;
            default:
                if (!edited.isEmpty())
                    edited[at] = "l" + QByteArray::number(random.bounded(0, 6));
            }
        }
        const QByteArray base = lines.join('\n') + (lines.isEmpty() ? "" : "\n");
        const QByteArray text = edited.join("\r\n");
        SCOPED_TRACE(("base " + lines.join(',') + " edited " + edited.join(',')).toStdString());
        const ChangeBars bars(base);
        const QList<LineChange> changes = bars.compare(text);
        // Runs are in order, apart, and account for every line on both sides.
        int line = 0;
        int oldLine = 0;
        for (const LineChange &c : changes) {
            ASSERT_GE(c.line, line);
            ASSERT_EQ(c.line - line, c.oldLine - oldLine);
            for (int i = 0; i < c.line - line; ++i)
                EXPECT_EQ(edited[line + i], lines[oldLine + i]);
            line = c.line + c.lineCount;
            oldLine = c.oldLine + c.oldLineCount;
        }
        EXPECT_EQ(edited.size() - line, lines.size() - oldLine);
        EXPECT_TRUE(bars.compare(revertAll(bars, text)).isEmpty());
    }
}

} // namespace

ONDREL_CORE_TEST_MAIN
