// The editor control: offsets with CR LF counted as two, loading and saving
// files byte for byte, colours per character, and the key and mouse events.
#include "support/qtmain.h"

#include <QFileInfo>
#include "base/virtualkeys.h"
#include "support/testsupport.h"

#include "base/errors.h"
#include "editor/colouring.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "io/textbytes.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTest>

#include <functional>
#include <random>

#include <sys/stat.h>

namespace {

TEST(TextBytes, LineBreaksAreNormalisedAndRestoredInTheFileStyle)
{
    struct Row
    {
        QByteArray raw, crlf, style;
    };
    const Row rows[] = {
        {"a\r\nb\r\n", "a\r\nb\r\n", "\r\n"},
        {"a\nb\n", "a\r\nb\r\n", "\n"},
        {"a\rb", "a\r\nb", "\r"},
        {"a\nb\rc\r\nd", "a\r\nb\r\nc\r\nd", "\n"}, // the first break decides
        {"abc", "abc", ""},
        {"", "", ""},
        {"\r\n\r\n\n", "\r\n\r\n\r\n", "\r\n"},
    };
    for (const Row &row : rows) {
        const LoadedText loaded = normaliseLineBreaks(row.raw);
        EXPECT_EQ(loaded.crlf, row.crlf) << row.raw.toStdString();
        EXPECT_EQ(loaded.lineBreak, row.style) << row.raw.toStdString();
    }
    EXPECT_EQ(restoreLineBreaks("a\r\nb\r\n", "\n"), QByteArray("a\nb\n"));
    EXPECT_EQ(restoreLineBreaks("a\r\nb", "\r"), QByteArray("a\rb"));
}

TEST(TextBytes, Utf8Validity)
{
    EXPECT_TRUE(isValidUtf8("plain ascii text, long enough for words", 39));
    EXPECT_TRUE(isValidUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", 14));
    EXPECT_TRUE(isValidUtf8("a\0b", 3));
    EXPECT_FALSE(isValidUtf8("caf\xE9", 4));          // Windows-1252 é
    EXPECT_FALSE(isValidUtf8("\xC0\xAF", 2));          // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80", 3));      // surrogate
    EXPECT_FALSE(isValidUtf8("abcdefgh\xC3", 9));      // cut short at the end
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80", 4));  // beyond U+10FFFF
}

class Editor : public ::testing::Test
{
protected:
    RichEdit m;
    EditedFile file{&m}; // the file the text belongs to
    TempFolder folder;
};

TEST_F(Editor, OffsetsCountALineBreakAsTwo)
{
    m.setBytes("abc\ndef\n\nxyz");
    EXPECT_EQ(m.wholeText(), QByteArray("abc\r\ndef\r\n\r\nxyz"));
    EXPECT_EQ(m.textLength(), 15);
    EXPECT_EQ(m.lineCount(), 4);
    EXPECT_EQ(m.lineText(1), QByteArray("def"));
    EXPECT_EQ(m.lineText(2), QByteArray(""));
    EXPECT_EQ(m.lineStartOffset(3), 12);

    m.setSelStart(7); // after "de"
    EXPECT_EQ(m.caretPosition().x, 2);
    EXPECT_EQ(m.caretPosition().y, 1);
    m.setSelLength(6); // to the middle of line 3
    EXPECT_EQ(m.selStart(), 7);
    EXPECT_EQ(m.selLength(), 6);
    EXPECT_EQ(m.caretPosition().y, 3); // the end of the selection decides
    EXPECT_EQ(m.caretPosition().x, 1);
    m.setSelLength(100); // limited to the end of the text
    EXPECT_EQ(m.selLength(), 8);
}

TEST_F(Editor, LineTextStopsAt4096Bytes)
{
    m.setBytes(QByteArray(5000, 'x') + "\r\nend");
    EXPECT_EQ(m.lineText(0).size(), 4096);
    EXPECT_EQ(m.lineText(1), QByteArray("end"));
}

TEST_F(Editor, LoadAndSaveKeepEveryByte)
{
    static const char bytes[] = "<?php\n$a = \"\xE9t\xE9\";\n\x01\xFF\xFE\n";
    QByteArray awkward(bytes, sizeof bytes - 1);
    awkward += QByteArray("lone\rcr\n", 8);
    const QString path = folder.write("page.php", awkward);
    file.load(path);
    file.write(path);
    EXPECT_EQ(readFile(path), awkward); // the lone CR keeps its own style too

    const QByteArray windows("a\r\nb\r\n");
    file.load(folder.write("w.php", windows));
    file.write(folder.path("w.php"));
    EXPECT_EQ(folder.read("w.php"), windows);

    m.setBytes("fresh\r\ntext"); // a text never loaded from a file gets LF
    file.load(folder.write("none.php", "no break"));
    m.setBytes("one\r\ntwo");
    file.write(folder.path("none.php"));
    EXPECT_EQ(folder.read("none.php"), QByteArray("one\ntwo"));
}

TEST_F(Editor, AFailedLoadLeavesTheTextAndSaysWhichFile)
{
    m.setBytes("keep me");
    for (const QString &path : {folder.path("missing.php"), folder.path(QString()), QString()}) {
        try {
            file.load(path);
            ADD_FAILURE() << "loading " << path.toStdString() << " did not fail";
        } catch (const OndrelError &error) {
            EXPECT_EQ(error.message(), path.endsWith(u'/') || QFileInfo(path).isDir()
                                           ? QStringLiteral("Ce n'est pas un fichier ordinaire : ") + path
                                           : QStringLiteral("Impossible d'ouvrir le fichier ") + path);
        }
        EXPECT_EQ(m.wholeText(), QByteArray("keep me"));
    }
}

TEST_F(Editor, AFailedSaveLeavesTheOldFileWhole)
{
    const QString path = folder.write("page.php", "old content\n");
    m.setBytes("new content");
    const QString intoFolder = folder.path("sub");
    QDir().mkpath(intoFolder);
    const QString readOnly = folder.write("ro.php", "read only\n");
    ::chmod(QFile::encodeName(readOnly).constData(), 0444);
    // The reason, on a second line, tells the cases apart.
    const std::pair<QString, QString> cases[] = {
        {intoFolder, QStringLiteral("Ce n'est pas un fichier ordinaire")},
        {folder.path("missing/page.php"), QStringLiteral("Dossier introuvable")},
        {QString(), QStringLiteral("Aucun nom de fichier")},
        {readOnly, QStringLiteral("Fichier en lecture seule")},
    };
    for (const auto &[target, reason] : cases) {
        try {
            file.write(target);
            ADD_FAILURE() << "saving to " << target.toStdString() << " did not fail";
        } catch (const OndrelError &error) {
            EXPECT_EQ(error.message(), QStringLiteral("Impossible de créer le fichier ") + target + u'\n' + reason);
        }
    }
    EXPECT_EQ(readFile(path), QByteArray("old content\n"));
    EXPECT_EQ(readFile(readOnly), QByteArray("read only\n"));
    EXPECT_TRUE(QFileInfo(intoFolder).isDir());
    EXPECT_EQ(QDir(folder.path(QString())).entryList(QDir::Files | QDir::Hidden).size(), 2) << "a temporary file was left";
}

TEST_F(Editor, SaveWritesThroughALinkAndKeepsTheMode)
{
    const QString real = folder.write("real.php", "old");
    ::chmod(QFile::encodeName(real).constData(), 0640);
    const QString link = folder.path("link.php");
    QFile::link(real, link);
    m.setBytes("new");
    file.write(link);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readFile(real), QByteArray("new"));
    struct stat st {};
    ::stat(QFile::encodeName(real).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(Editor, ColoursArePerCharacter)
{
    m.setBytes("abcdef");
    m.setTextColour(0x00FF00);
    m.setSelStart(1);
    m.setSelLength(2);
    m.setSelColour(0x0000FF);
    EXPECT_EQ(m.colourAt(0), 0x00FF00u);
    EXPECT_EQ(m.colourAt(1), 0x0000FFu);
    EXPECT_EQ(m.colourAt(2), 0x0000FFu);
    EXPECT_EQ(m.colourAt(3), 0x00FF00u);
    m.setTextColour(0x112233); // text without a colour of its own follows the text colour
    EXPECT_EQ(m.colourAt(0), 0x112233u);
    EXPECT_EQ(m.colourAt(1), 0x0000FFu);
    m.setSelStart(3);
    m.insert(QStringLiteral("zz")); // typed text has no colour of its own
    EXPECT_FALSE(m.hasOwnColour(3));
    EXPECT_TRUE(m.hasOwnColour(1));
}

TEST_F(Editor, ManyDistinctColoursNeverCrash)
{
    m.setBytes(QByteArray(600, 'x'));
    for (int i = 0; i < 600; ++i) {
        m.setSelStart(i);
        m.setSelLength(1);
        m.setSelColour(Colour(i * 7919));
    }
    // More colours on screen at once than the control has styles: what was coloured
    // keeps its colour, and the last colours stand in for the nearest ones held.
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(m.colourAt(i), Colour(i * 7919)) << i;
    EXPECT_TRUE(m.hasOwnColour(599));
}

TEST_F(Editor, LongLinesDrawOnlyWhatCanBeSeenAndKeepTheirColours)
{
    // Line 0 and line 2 are long (100 KB, 60 KB); only a window around the caret, or
    // a long line's head, is drawn. The colours read the same everywhere.
    const QByteArray piece = "$a=f(\"s\");"; // 10 bytes: "s" at 6 is a string, "f" at 3 a function
    const QByteArray line0 = piece.repeated(10000), line2 = piece.repeated(6000);
    const qsizetype line2Start = line0.size() + 9;
    m.resize(600, 300);
    m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
    m.setBytes(line0 + "\r\nshort\r\n" + line2);
    m.colours()->colourZone(0, m.textLength(), 0x000000, 0xFF0000, 0x0000FF);
    struct Step
    {
        const char *what;
        std::function<void()> act;
        std::vector<std::pair<qsizetype, bool>> shown; // offset, drawn
    };
    const std::vector<Step> steps = {
        {"loaded", [] {}, {{10, true}, {50004, false}, {line2Start + 10, true}, {line2Start + 30000, false}}},
        {"caret far along line 0", [&] { m.setSelStart(50004); },
         {{50004, true}, {53004, true}, {10, false}, {58004, false}, {line2Start + 10, true}}},
        {"caret on line 2", [&] { m.setSelStart(line2Start + 30000); },
         {{10, true}, {50004, false}, {line2Start + 30000, true}, {line2Start + 10, false}}},
        {"line 0 split at 60000", [&] { m.setSelStart(60000); m.insert(QStringLiteral("\r\n")); m.setSelStart(60002); },
         {{60012, true}, {10, true}, {50004, false}, {line2Start + 30002, false}}},
        {"line 2 made short", [&] {
             m.SendScintilla(QsciScintilla::SCI_DELETERANGE, static_cast<unsigned long>(line2Start + 2), 40000L);
             m.setSelStart(line2Start + 2);
         },
         {{line2Start + 2 + 15000, true}, {10, true}, {50004, false}}},
    };
    for (const Step &step : steps) {
        step.act();
        m.viewport()->repaint(); // the window follows the caret when the control draws
        for (const auto &[offset, drawn] : step.shown)
            EXPECT_EQ(m.longLines()->isShown(offset), drawn) << step.what << " at " << offset;
        for (qsizetype offset : {qsizetype(6), qsizetype(30006), qsizetype(50006)}) {
            EXPECT_EQ(m.colourAt(offset), 0xFF0000u) << step.what << " at " << offset;
            EXPECT_EQ(m.colourAt(offset - 3), 0x0000FFu) << step.what << " at " << offset - 3;
        }
    }
    EXPECT_EQ(m.lineText(0), line0.left(4096));
}

TEST_F(Editor, RecolouringAfterEditsMatchesAPassOverTheNewText)
{
    // A pass after one edit writes only what changed; after any edits, every colour
    // must be what a pass over the new text gives. Random texts of the pass's
    // characters, short and long (past the long-line limit), random edits.
    const QByteArray alphabet = "$\"( )=;.+-<>ab";
    const Colour base = 0x00AA00, strings = 0xFF0000, functions = 0x0000FF;
    std::mt19937 random(7);
    auto text = [&](int size) {
        QByteArray bytes(size, ' ');
        for (char &c : bytes)
            c = alphabet[int(random() % alphabet.size())];
        return bytes;
    };
    for (int round = 0; round < 60; ++round) {
        const int size = round % 10 == 0 ? 40000 : 300;
        m.setBytes(text(size));
        m.colours()->colourZone(0, m.textLength(), base, strings, functions);
        for (int edits = 0; edits < 6; ++edits) {
            const int count = random() % 4 == 0 ? 2 : 1; // two edits make the next pass a whole one
            for (int e = 0; e < count; ++e) {
                const auto at = static_cast<unsigned long>(random() % (m.textLength() + 1));
                if (random() % 2)
                    m.SendScintilla(QsciScintilla::SCI_INSERTTEXT, at, text(1 + int(random() % 3)).constData());
                else if (at < static_cast<unsigned long>(m.textLength()))
                    m.SendScintilla(QsciScintilla::SCI_DELETERANGE, at, long(1 + random() % 3) > m.textLength() - long(at) ? 1L : long(1 + random() % 3));
            }
            const QByteArray now = m.wholeText();
            m.colours()->colourZone(0, now.size(), base, strings, functions);
            std::vector<ColourClass> classes(static_cast<size_t>(now.size() + 1));
            colourPass(now.constData(), 0, now.size(), classes.data());
            for (qsizetype offset = 0; offset + 1 < now.size(); ++offset) {
                const ColourClass c = classes[static_cast<size_t>(offset + 1)];
                const Colour expected = c == ColourClass::String ? strings : c == ColourClass::Function ? functions : base;
                ASSERT_EQ(m.colourAt(offset), expected) << "round " << round << " edit " << edits << " offset " << offset;
            }
        }
    }
}

TEST_F(Editor, ColoursOfABigTextWrittenWhileIdleMatchThePass)
{
    // A pass over a big text writes the colours around the view at once and the rest
    // while idle. Whatever comes before the rest is written, each byte ends in the
    // colour the pass gave it (moved by an edit; typed bytes have none), and a text
    // that replaced it gets none of them.
    const Colour base = 0x00AA00, strings = 0xFF0000, functions = 0x0000FF;
    const QByteArray line = "    echo \"<td>\" . htmlspecialchars($row['name']) . \"</td>\";\r\n";
    const QByteArray text = line.repeated(2 * 1024 * 1024 / line.size()); // 2 MB
    std::vector<ColourClass> classes(static_cast<size_t>(text.size() + 1));
    colourPass(text.constData(), 0, text.size(), classes.data());
    auto passColour = [&](qsizetype offset) {
        const ColourClass c = classes[static_cast<size_t>(offset + 1)];
        return c == ColourClass::String ? strings : c == ColourClass::Function ? functions : base;
    };
    const qsizetype far = text.size() - 1000; // well away from the view at the top
    m.resize(600, 300);
    m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
    struct Case
    {
        const char *what;
        std::function<void()> act;
        qsizetype edit = 0, shift = 0; // bytes from `edit` on moved by `shift`; inserted ones have no colour
    };
    const std::vector<Case> cases = {
        {"left to idle", [&] { ASSERT_TRUE(QTest::qWaitFor([&] { return !m.colours()->coloursPending(); })); }},
        {"bytes typed far away", [&] { m.SendScintilla(QsciScintilla::SCI_INSERTTEXT, static_cast<unsigned long>(far), "zzz"); }, far, 3},
        {"bytes deleted far away", [&] { m.SendScintilla(QsciScintilla::SCI_DELETERANGE, static_cast<unsigned long>(far), 5L); }, far, -5},
        {"undone", [&] {
             m.SendScintilla(QsciScintilla::SCI_INSERTTEXT, static_cast<unsigned long>(far), "zzz");
             m.SendScintilla(QsciScintilla::SCI_UNDO);
         }},
        {"scrolled to the end", [&] {
             m.SendScintilla(QsciScintilla::SCI_DOCUMENTEND);
             m.viewport()->repaint();
             const long shownStyle = m.SendScintilla(QsciScintilla::SCI_GETSTYLEAT, static_cast<unsigned long>(m.textLength() - 5)) & 0xFF;
             EXPECT_NE(shownStyle, 0) << "the bytes scrolled to have their colour before anything reads it";
         }},
    };
    for (const Case &c : cases) {
        m.setBytes(text);
        m.colours()->colourZone(0, m.textLength(), base, strings, functions);
        ASSERT_TRUE(m.colours()->coloursPending()) << c.what << ": the text is small enough to be written at once";
        c.act();
        QCoreApplication::processEvents();
        for (qsizetype now = 0; now + 1 < m.textLength(); now += 7) {
            const qsizetype was = now < c.edit || c.shift == 0 ? now : now - c.shift;
            if (c.shift > 0 && now >= c.edit && now < c.edit + c.shift) {
                ASSERT_FALSE(m.hasOwnColour(now)) << c.what << " at " << now;
                continue;
            }
            ASSERT_EQ(m.colourAt(now), passColour(was)) << c.what << " at " << now;
        }
        EXPECT_FALSE(m.colours()->coloursPending()) << c.what;
    }

    // A colour given by hand, or a text that replaces the coloured one, before the rest is written.
    m.setBytes(text);
    m.colours()->colourZone(0, m.textLength(), base, strings, functions);
    m.setSelStart(far);
    m.setSelLength(10);
    m.setSelColour(0x123456);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m.colours()->coloursPending(); }));
    for (qsizetype offset = far; offset < far + 10; ++offset)
        EXPECT_EQ(m.colourAt(offset), 0x123456u) << "hand colour at " << offset;
    EXPECT_EQ(m.colourAt(far + 10), passColour(far + 10));
    m.colours()->colourZone(0, m.textLength(), base, strings, functions);
    m.setBytes(text);
    QCoreApplication::processEvents();
    for (qsizetype offset = 0; offset < text.size(); offset += 4093)
        ASSERT_FALSE(m.hasOwnColour(offset)) << "new text at " << offset;
}

TEST_F(Editor, TheTextReachesAssistiveTechnologyOnceItRuns)
{
    m.setBytes("abc");
    m.show();
    const bool wasActive = QAccessible::isActive();
    QAccessible::setActive(false);
    QAccessibleInterface *quiet = QAccessible::queryAccessibleInterface(&m);
    ASSERT_NE(quiet, nullptr);
    EXPECT_EQ(quiet->textInterface(), nullptr); // nothing counts characters at every key
    QAccessible::setActive(true);
    QAccessibleInterface *full = QAccessible::queryAccessibleInterface(&m);
    ASSERT_NE(full, nullptr);
    ASSERT_NE(full->textInterface(), nullptr);
    EXPECT_EQ(full->textInterface()->characterCount(), 3);
    QAccessible::setActive(wasActive);
}

TEST_F(Editor, TypedKeysReportTheirChangesAsTheComponentDoes)
{
    struct Row
    {
        QByteArray text;
        int anchor, caret;
        Qt::Key key;
        QString typed;
        bool overtype;
    };
    const Row rows[] = {
        {"abc", 1, 1, Qt::Key_X, "x", false},
        {"abc\r\ndef", 1, 6, Qt::Key_Y, "y", false}, // over a selection across a break
        {"abc\r\ndef", 5, 5, Qt::Key_Backspace, "", false},
        {"abc\r\ndef", 3, 3, Qt::Key_Delete, "", false},
        {"abc", 0, 0, Qt::Key_Z, "z", true},
        {"abc", 3, 3, Qt::Key_Eacute, QString::fromUtf8("é"), false},
    };
    m.show();
    m.setFocus();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text.toStdString() + " key " + std::to_string(row.key));
        // Typed text taking its neighbour's colour at once, the component reports the changes itself.
        QStringList reported[2];
        QByteArray after[2];
        bool withheld[2] = {false, false}; // the component keeps its own notice back
        for (int quiet = 0; quiet < 2; ++quiet) {
            m.colours()->setRecolouredWhileTyping(quiet == 0);
            m.setBytes(row.text);
            m.SendScintilla(QsciScintillaBase::SCI_SETOVERTYPE, row.overtype ? 1L : 0L);
            m.SendScintilla(QsciScintillaBase::SCI_SETSEL, static_cast<unsigned long>(row.anchor), static_cast<long>(row.caret));
            const auto connection = QObject::connect(&m, &QsciScintillaBase::SCN_MODIFIED,
                [&](int position, int type, const char *text, int length, int linesAdded) {
                    if (type & (QsciScintillaBase::SC_MOD_BEFOREINSERT | QsciScintillaBase::SC_MOD_BEFOREDELETE))
                        withheld[quiet] = !(m.SendScintilla(QsciScintillaBase::SCI_GETMODEVENTMASK) & QsciScintillaBase::SC_MOD_INSERTTEXT);
                    if (type & (QsciScintillaBase::SC_MOD_INSERTTEXT | QsciScintillaBase::SC_MOD_DELETETEXT))
                        reported[quiet] << QStringLiteral("%1 at %2: '%3' (%4 bytes, %5 lines)")
                                               .arg(type & 0x13).arg(position).arg(QString::fromUtf8(text, length)).arg(length).arg(linesAdded);
                });
            QKeyEvent press(QEvent::KeyPress, row.key, Qt::NoModifier, row.typed);
            QApplication::sendEvent(&m, &press);
            QObject::disconnect(connection);
            after[quiet] = m.wholeText();
        }
        EXPECT_FALSE(reported[0].isEmpty());
        EXPECT_TRUE(!withheld[0] && withheld[1]);
        EXPECT_EQ(reported[1], reported[0]);
        EXPECT_EQ(after[1], after[0]);
        EXPECT_NE(after[0], row.text);
    }
}

TEST_F(Editor, OtherCharactersComeIntoAnAsciiLongLineAsUtf8)
{
    const QByteArray line = QByteArray("x=y;").repeated(10000);
    const auto codePage = [&] { return m.SendScintilla(QsciScintillaBase::SCI_GETCODEPAGE); };
    const std::pair<QString, std::function<void(const QString &)>> routes[] = {
        {QString::fromUtf8("é"), [&](const QString &c) {
             QKeyEvent press(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, c);
             QApplication::sendEvent(&m, &press);
         }},
        {QString::fromUtf8("ê"), [&](const QString &c) {
             QInputMethodEvent input;
             input.setCommitString(c);
             QApplication::sendEvent(&m, &input);
         }},
        {QString::fromUtf8("€"), [&](const QString &c) {
             QGuiApplication::clipboard()->setText(c);
             m.paste();
         }},
        {QString::fromUtf8("ü"), [&](const QString &c) { m.search()->replaceAll(QStringLiteral("y"), c, {}); }},
    };
    m.show();
    m.setFocus();
    for (const auto &[character, put] : routes) {
        SCOPED_TRACE(character.toStdString());
        m.setBytes(line);
        m.setSelStart(8);
        ASSERT_EQ(codePage(), 0L); // shown as single bytes
        put(character);
        EXPECT_EQ(codePage(), QsciScintillaBase::SC_CP_UTF8);
        EXPECT_TRUE(m.wholeText().contains(character.toUtf8()));
        EXPECT_TRUE(isValidUtf8(m.wholeText().constData(), m.textLength()));
    }
}

TEST_F(Editor, KeyDownComesBeforeTheControlActsAndKeyUpAfter)
{
    m.show();
    m.setFocus();
    QByteArray textAtKeyDown, textAtKeyUp;
    int codeDown = -1, codeUp = -1;
    QObject::connect(&m, &RichEdit::keyDown, [&](int &vk) { codeDown = vk; textAtKeyDown = m.wholeText(); });
    QObject::connect(&m, &RichEdit::keyUp, [&](int vk) { codeUp = vk; textAtKeyUp = m.wholeText(); });
    QTest::keyClick(&m, Qt::Key_A);
    EXPECT_EQ(codeDown, 65);
    EXPECT_EQ(textAtKeyDown, QByteArray(""));
    EXPECT_EQ(codeUp, 65);
    EXPECT_EQ(textAtKeyUp, QByteArray("a"));
    QTest::keyClick(&m, Qt::Key_F9, Qt::ShiftModifier);
    EXPECT_EQ(codeDown, 120);
    QTest::keyClick(&m, Qt::Key_Return);
    EXPECT_EQ(codeDown, 13);
    EXPECT_EQ(m.wholeText(), QByteArray("a\r\n")); // Enter inserts CR LF
}

TEST(VirtualKeys, QtKeysMapToWindowsCodes)
{
    EXPECT_EQ(virtualKeyCode(Qt::Key_F1), 112);
    EXPECT_EQ(virtualKeyCode(Qt::Key_F9), 120);
    EXPECT_EQ(virtualKeyCode(Qt::Key_Enter), 13);
    EXPECT_EQ(virtualKeyCode(Qt::Key_Return), 13);
    EXPECT_EQ(virtualKeyCode(Qt::Key_Delete), 46);
    EXPECT_EQ(virtualKeyCode(Qt::Key_Z), 90);
    EXPECT_EQ(virtualKeyCode(Qt::Key_Eacute), 0);
}

} // namespace

ONDREL_QT_TEST_MAIN
