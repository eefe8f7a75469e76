// Unusual editor input through the window: a 100 MB file, a file of NUL bytes, invalid
// UTF-8 with lone CRs, random bytes. Each loads, takes its colours from "Tout colorier"
// and saves back byte for byte (line breaks aside: a save writes every break in the
// style of the file's first one).
#include "support/qtmain.h"

#include "base/errors.h"
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "io/textbytes.h"
#include "support/testsupport.h"

#include <QCheckBox>

#include <random>

namespace {

struct Input
{
    const char *name;
    QByteArray (*make)();
    bool sameBreaks; // every line break of the file has the first one's style: saved exactly
};

QByteArray hundredMegabytes()
{
    const QByteArray line = "<?php $total = strlen(\"une chaîne\") + f($x); // commentaire é\n";
    QByteArray bytes;
    bytes.reserve(100 << 20);
    while (bytes.size() + line.size() <= (100 << 20))
        bytes += line;
    return bytes;
}

QByteArray nulBytes()
{
    return QByteArray(1 << 20, '\0');
}

QByteArray invalidUtf8AndLoneCrs()
{
    QByteArray bytes;
    const char *pieces[] = {
        "<?php echo \"\xff\xfe\";\n",            // bytes no UTF-8 text holds
        "$a = \"\xc3(\";\r",                       // a cut two-byte form, then a lone CR
        "$b = \xc0\xaf;\r\n",                      // an overlong "/"
        "$c = \"\xed\xa0\x80\";\n",                // a UTF-16 surrogate
        "\r\r\n\n\r",                              // every break in a row
        "f(\xf4\x90\x80\x80) ;\n",                 // beyond U+10FFFF
        "\xe2\x82",                                // cut at the end of the file
    };
    for (int round = 0; round < 1000; ++round)
        for (const char *piece : pieces)
            bytes += piece;
    return bytes;
}

QByteArray randomBytes()
{
    std::mt19937 generator(20261207);
    QByteArray bytes(4 << 20, Qt::Uninitialized);
    for (char &b : bytes)
        b = char(generator());
    return bytes;
}

QByteArray onlyLineBreaks()
{
    return QByteArray("\r\n\r\r\n\n\n\r").repeated(1000);
}

QByteArray empty()
{
    return {};
}

/** The bytes with every CR LF, lone CR and lone LF made one LF. */
QByteArray breaksAside(QByteArray bytes)
{
    return bytes.replace("\r\n", "\n").replace('\r', '\n');
}

class EditorInput : public ::testing::TestWithParam<Input> {};

TEST_P(EditorInput, LoadsColoursAndSavesBackWhatItRead)
{
    const Input &input = GetParam();
    TempFolder folder;
    const QByteArray original = input.make();
    const QString in = folder.write(QStringLiteral("in.php"), original);
    auto window = makeWindow(folder.dir.path());
    window->cbPhpColouring->setChecked(false); // the colouring these tests are about
    RichEdit *M = window->M;

    EditedFile *edited = window->session()->editedFile();
    edited->load(in);
    // A file that is not UTF-8 is held as UTF-8: compare its Windows-1252 bytes.
    QByteArray held = M->wholeText();
    if (edited->isWindows1252())
        ASSERT_TRUE(toWindows1252(QString::fromUtf8(held), &held));
    EXPECT_EQ(held.size(), original.size() + original.count('\n') - original.count("\r\n")
                               + original.count('\r') - original.count("\r\n"));
    EXPECT_EQ(breaksAside(held), breaksAside(original));

    window->sbColorie->click(); // "Tout colorier"
    const qsizetype length = M->textLength();
    if (length >= 2) {
        EXPECT_TRUE(M->hasOwnColour(0));
        EXPECT_TRUE(M->hasOwnColour(length - 2));
        // The text's last character is never coloured when it is one byte; a
        // character of several bytes is never split between two styles.
        const QByteArray bytes = M->wholeText();
        const bool utf8 = QString::fromUtf8(bytes).toUtf8() == bytes; // else one byte is one character
        qsizetype last = length - 1;
        while (utf8 && last > 0 && (static_cast<unsigned char>(bytes.at(last)) & 0xC0) == 0x80)
            --last;
        if (last == length - 1)
            EXPECT_FALSE(M->hasOwnColour(length - 1));
        else
            EXPECT_EQ(M->hasOwnColour(last), M->hasOwnColour(length - 1));
    }
    const qsizetype dollar = held.indexOf("$total");
    if (dollar >= 0) {
        EXPECT_EQ(M->colourAt(dollar + 1), window->CoulFonctions);
    }
    if (!edited->isWindows1252())
        EXPECT_EQ(M->wholeText(), held); // colouring changes no byte

    const QString out = folder.path(QStringLiteral("out.php"));
    if (edited->isBinary()) { // NUL bytes: never written
        EXPECT_THROW(edited->write(out), OndrelError);
        EXPECT_FALSE(QFile::exists(out));
        return;
    }
    edited->write(out);
    const QByteArray saved = readFile(out);
    EXPECT_EQ(breaksAside(saved), breaksAside(original));
    if (input.sameBreaks) {
        EXPECT_TRUE(saved == original) << "saved " << saved.size() << " bytes of " << original.size();
    }
}

INSTANTIATE_TEST_SUITE_P(Files, EditorInput, ::testing::Values(
    Input{"HundredMegabytes", hundredMegabytes, true},
    Input{"NulBytes", nulBytes, true},
    Input{"InvalidUtf8AndLoneCrs", invalidUtf8AndLoneCrs, false},
    Input{"RandomBytes", randomBytes, false},
    Input{"OnlyLineBreaks", onlyLineBreaks, false},
    Input{"Empty", empty, true}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

ONDREL_QT_TEST_MAIN
