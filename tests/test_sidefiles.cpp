// The settings file read and written with the Windows profile semantics, the
// integer and boolean readings, the keyword list and history formats, and where
// the side files live. No window: the pure core only.
#include "support/coremain.h"

#include "base/linefile.h"
#include "io/ansitext.h"
#include "settings/profile.h"
#include "settings/settingsregistry.h"
#include "settings/sidefiles.h"

#include <QCoreApplication>
#include <QFile>

#include <sys/stat.h>

namespace {

QString u8(const char *text)
{
    return QString::fromUtf8(text);
}

struct ReadCase
{
    const char *name;
    QByteArray file;
    const char *section;
    const char *key;
    const char *expected; // the fallback is "DEFAUT"
};

TEST(ProfileRead, ValuesAsTheProfileFunctionsReturnThem)
{
    const ReadCase cases[] = {
        {"plain", "[Params]\r\nSite=http://x/\r\n", "Params", "Site", "http://x/"},
        {"names ignore case", "[params]\r\nSITE=a\r\n", "Params", "Site", "a"},
        {"value after the first =", "[P]\r\nk=a=b\r\n", "P", "k", "a=b"},
        {"blanks around key and value", "[P]\r\n  k \t=  \t a b \t \r\n", "P", "k", "a b"},
        {"double quotes removed, inner blanks kept", "[P]\r\nk= \" a \" \r\n", "P", "k", " a "},
        {"single quotes removed", "[P]\r\nk='x'\r\n", "P", "k", "x"},
        {"one pair only", "[P]\r\nk=\"\"x\"\"\r\n", "P", "k", "\"x\""},
        {"mismatched quotes kept", "[P]\r\nk=\"x'\r\n", "P", "k", "\"x'"},
        {"a lone quote kept", "[P]\r\nk=\"\r\n", "P", "k", "\""},
        {"present but empty is empty", "[P]\r\nk=\r\n", "P", "k", ""},
        {"present, only blanks", "[P]\r\nk=   \r\n", "P", "k", ""},
        {"missing key", "[P]\r\nother=1\r\n", "P", "k", "DEFAUT"},
        {"missing section", "[Q]\r\nk=1\r\n", "P", "k", "DEFAUT"},
        {"empty file", "", "P", "k", "DEFAUT"},
        {"key of the next section", "[P]\r\n[Q]\r\nk=1\r\n", "P", "k", "DEFAUT"},
        {"key before any section", "k=1\r\n[P]\r\n", "P", "k", "DEFAUT"},
        {"comment is no key", "[P]\r\n;k=1\r\n", "P", "k", "DEFAUT"},
        {"first of two keys", "[P]\r\nk=1\r\nK=2\r\n", "P", "k", "1"},
        {"header with blanks", "  [ P ]  \r\nk=1\r\n", "P", "k", "1"},
        {"second section of the same name", "[P]\r\na=1\r\n[Q]\r\n[p]\r\nk=2\r\n", "P", "k", "2"},
        {"LF line ends", "[P]\nk=1\n", "P", "k", "1"},
        {"CR line ends", "[P]\rk=1\rj=2", "P", "j", "2"},
        {"no final line break", "[P]\r\nk=v", "P", "k", "v"},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF[P]\r\nk=1\r\n", "P", "k", "1"},
        {"key stored in Windows-1252", "[Params]\r\nCouleurCha\xEEnes=65280\r\n", "Params", "CouleurChaînes",
         "65280"},
        {"key stored in UTF-8", "[Params]\r\nCouleurCha\xC3\xAEnes=7\r\n", "Params", "CouleurChaînes", "7"},
        {"Windows-1252 value", "[P]\r\nk=caf\xE9 \x80\r\n", "P", "k", "café €"},
        {"UTF-8 value", "[P]\r\nk=caf\xC3\xA9\r\n", "P", "k", "café"},
    };
    for (const ReadCase &c : cases) {
        const ProfileFile ini(c.file);
        EXPECT_EQ(ini.readString(u8(c.section), u8(c.key), QStringLiteral("DEFAUT")), u8(c.expected)) << c.name;
    }
}

TEST(ProfileRead, LongValuesAreCutTo2047Characters)
{
    const QByteArray exact(2047, 'a');
    const QByteArray longer = QByteArray(2047, 'b') + "cdef";
    ProfileFile ini("[P]\r\nexact=" + exact + "\r\nlonger=" + longer + "\r\nquoted=\"" + longer + "\"\r\n");
    EXPECT_EQ(ini.readString(u"P", u"exact"), QString::fromLatin1(exact));
    EXPECT_EQ(ini.readString(u"P", u"longer"), QString(2047, u'b'));
    EXPECT_EQ(ini.readString(u"P", u"quoted"), QString(2047, u'b'));
    // 2047 characters, not bytes: a two-byte character counts once.
    ini.setBytes("[P]\r\nk=" + QByteArray("\xC3\xA9").repeated(3000) + "\r\n");
    EXPECT_EQ(ini.readString(u"P", u"k"), QString(2047, QChar(0xE9)));
    // The stored text itself is never cut.
    EXPECT_EQ(ini.storedText(u"P", u"k"), QString(3000, QChar(0xE9)));
    EXPECT_EQ(ProfileFile("[P]\r\nk= 'q' \r\n").storedText(u"p", u"K"), QStringLiteral(" 'q' "));
    EXPECT_EQ(ProfileFile("[P]\r\nk=\r\n").storedText(u"P", u"k"), QString());
    EXPECT_FALSE(ProfileFile("[P]\r\n").storedText(u"P", u"k").has_value());
}

TEST(ProfileRead, IntegerAndBooleanReadings)
{
    struct Case
    {
        const char *stored; // nullptr: no key at all
        qint32 expected;    // with the fallback 480
    };
    const Case cases[] = {
        {"0x280", 640},       {" 800", 800},        {"600px", 480},       {"-20", -20},
        {"+5", 5},            {"$3E8", 1000},       {"x10", 16},          {"X1f", 31},
        {"0X1F", 31},         {"0xFFFFFFFF", 480},  {"0x100000000", 480}, {"-0x10", -16},
        {"+$1F", 31},         {" -X1f", -31},       {"0x80000000", 480},  {"-0x80000000", -2147483647 - 1},
        {"0x7FFFFFFF", 2147483647}, {"-0x80000001", 480}, {"+-1", 480},   {"- 5", 480},
        {"0x-1", 480},        {"-$", 480},
        {"2147483647", 2147483647}, {"2147483648", 480}, {"-2147483648", -2147483647 - 1},
        {"-2147483649", 480}, {"", 480},            {"yes", 480},         {"0x", 480},
        {"$", 480},           {"-", 480},           {"1 2", 480},         {"\t7\t", 7},
        {nullptr, 480},
    };
    for (const Case &c : cases) {
        const QByteArray file = c.stored ? QByteArray("[MainW]\r\nh=") + c.stored + "\r\n" : QByteArray();
        EXPECT_EQ(ProfileFile(file).readInteger(u"MainW", u"h", 480), c.expected) << (c.stored ? c.stored : "(none)");
    }

    const ProfileFile ini("[MainW]\r\ntwo=2\r\nyes=yes\r\nzero=0\r\nminus=-1\r\nempty=\r\n");
    EXPECT_TRUE(ini.readBool(u"MainW", u"two", false));
    EXPECT_FALSE(ini.readBool(u"MainW", u"yes", false));
    EXPECT_TRUE(ini.readBool(u"MainW", u"yes", true));
    EXPECT_FALSE(ini.readBool(u"MainW", u"zero", true));
    EXPECT_TRUE(ini.readBool(u"MainW", u"minus", false));
    EXPECT_FALSE(ini.readBool(u"MainW", u"empty", false));
    EXPECT_TRUE(ini.readBool(u"MainW", u"missing", true));
}

struct WriteCase
{
    const char *name;
    QByteArray before;
    std::function<void(ProfileFile &)> edit;
    QByteArray after;
};

TEST(ProfileWrite, ChangesOnlyWhatIsWritten)
{
    const WriteCase cases[] = {
        {"new file", "", [](ProfileFile &f) { f.writeString(u"Params", u"Site", QStringLiteral("a")); },
         "[Params]\r\nSite=a\r\n"},
        {"replaced in place, spelling kept", "[P]\r\nsite = old\r\nX=1\r\n",
         [](ProfileFile &f) { f.writeString(u"p", u"SITE", QStringLiteral("new")); }, "[P]\r\nsite =new\r\nX=1\r\n"},
        {"added after the section's last key, before blank lines", "[P]\r\na=1\r\n\r\n[Q]\r\nb=2\r\n",
         [](ProfileFile &f) { f.writeString(u"P", u"c", QStringLiteral("3")); },
         "[P]\r\na=1\r\nc=3\r\n\r\n[Q]\r\nb=2\r\n"},
        {"missing section added at the end of a file without final break", "[P]\r\na=1",
         [](ProfileFile &f) { f.writeString(u"Q", u"b", QStringLiteral("2")); }, "[P]\r\na=1\r\n[Q]\r\nb=2\r\n"},
        {"key added to an empty last section", "[P]",
         [](ProfileFile &f) { f.writeString(u"P", u"a", QStringLiteral("1")); }, "[P]\r\na=1\r\n"},
        {"erasing removes header, keys and comments of the section", "[MainW]\r\nx=1\r\n;c\r\n[P]\r\na=1\r\n",
         [](ProfileFile &f) { f.eraseSection(u"mainw"); }, "[P]\r\na=1\r\n"},
        {"erasing removes every section of that name", "[M]\r\nx=1\r\n[P]\r\na=1\r\n[M]\r\ny=2\r\n",
         [](ProfileFile &f) { f.eraseSection(u"M"); }, "[P]\r\na=1\r\n"},
        {"erasing a missing section changes nothing", "[P]\r\na=1\r\n",
         [](ProfileFile &f) { f.eraseSection(u"M"); }, "[P]\r\na=1\r\n"},
        {"keeping only some keys, in place: first of each, later sections of the name gone",
         "[P]\r\na=1\r\n[m]\r\n;c\r\nX = 1\r\nz=2\r\n\r\nx=3\r\ny=4\r\n[Q]\r\nb=2\r\n[M]\r\nw=5\r\n",
         [](ProfileFile &f) { f.keepOnly(u"M", {QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("w")}); },
         "[P]\r\na=1\r\n[m]\r\nX = 1\r\ny=4\r\n[Q]\r\nb=2\r\n"},
        {"other lines byte for byte: Windows-1252 comment, LF ends, odd spacing",
         "; caf\xE9\n[Autre]\n  cl\xE9 =  \"v\" \n\n[P]\na=1\n",
         [](ProfileFile &f) { f.writeString(u"P", u"a", QStringLiteral("2")); },
         "; caf\xE9\n[Autre]\n  cl\xE9 =  \"v\" \n\n[P]\na=2\n"},
        {"a Windows-1252 key is rewritten in UTF-8", "[Params]\r\nCouleurCha\xEEnes=1\r\n",
         [](ProfileFile &f) { f.writeString(u"Params", u"CouleurChaînes", QStringLiteral("2")); },
         "[Params]\r\nCouleurCha\xC3\xAEnes=2\r\n"},
        {"line breaks in a value cannot add keys", "",
         [](ProfileFile &f) { f.writeString(u"P", u"k", QStringLiteral("a\r\n[Q]\nb=1")); },
         "[P]\r\nk=a  [Q] b=1\r\n"},
        {"integers and booleans", "",
         [](ProfileFile &f) {
             f.writeInteger(u"M", u"x", -20);
             f.writeBool(u"M", u"Maxi", true);
             f.writeBool(u"M", u"Other", false);
         },
         "[M]\r\nx=-20\r\nMaxi=1\r\nOther=0\r\n"},
    };
    for (const WriteCase &c : cases) {
        ProfileFile ini(c.before);
        c.edit(ini);
        EXPECT_EQ(ini.bytes(), c.after) << c.name;
    }
}

TEST(ProfileWrite, WrittenValuesReadBack)
{
    ProfileFile ini;
    const QString values[] = {QStringLiteral("http://localhost/site/"), QStringLiteral("a=b=c"), QString(),
                              QStringLiteral("/home/é/docphp/"), QStringLiteral("p@ss w0rd;#")};
    for (const QString &v : values) {
        ini.writeString(u"Params", u"k", v);
        EXPECT_EQ(ProfileFile(ini.bytes()).readString(u"Params", u"k", QStringLiteral("DEFAUT")), v);
    }
}

TEST(ProfileFileOnDisk, MissingFolderAndUnreadableCases)
{
    TempFolder folder;
    ProfileFile ini;
    EXPECT_TRUE(ini.load(folder.path("absent.ini")));
    EXPECT_TRUE(ini.bytes().isEmpty());

    QDir(folder.path(QString())).mkdir(QStringLiteral("dossier.ini"));
    EXPECT_FALSE(ini.load(folder.path("dossier.ini")));
    ini.writeString(u"P", u"k", QStringLiteral("v"));
    EXPECT_FALSE(ini.save(folder.path("dossier.ini")));
    EXPECT_FALSE(ini.save(folder.path("manque/x.ini")));

    const QString path = folder.path("ondrel.ini");
    ASSERT_TRUE(ini.save(path));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ProfileFile again;
    ASSERT_TRUE(again.load(path));
    EXPECT_EQ(again.readString(u"P", u"k"), QStringLiteral("v"));

    // An existing file keeps its own mode.
    ::chmod(QFile::encodeName(path).constData(), 0640);
    ASSERT_TRUE(again.save(path));
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(SideFileFormats, HistoryLines)
{
    const QStringList three = {QStringLiteral("a"), QString(), QStringLiteral("b")};
    EXPECT_EQ(historyFromFile("a\r\n\r\nb\r\n"), three);
    EXPECT_EQ(historyFromFile("a\n\nb\n"), three);
    EXPECT_EQ(historyFromFile("a\r\rb\r"), three);
    EXPECT_EQ(historyFromFile("a\r\n\nb"), three);
    EXPECT_EQ(historyFromFile(""), QStringList());
    EXPECT_EQ(historyFromFile("\r\n"), QStringList{QString()});
    EXPECT_EQ(historyFromFile("select '\xE9t\xE9'\r\nselect '\xC3\xA9'\r\n"),
              (QStringList{u8("select 'été'"), u8("select 'é'")}));

    EXPECT_EQ(historyFileFromItems(three), QByteArray("a\r\n\r\nb\r\n"));
    EXPECT_EQ(historyFileFromItems({}), QByteArray());
    EXPECT_EQ(historyFileFromItems({QString()}), QByteArray("\r\n"));
    EXPECT_EQ(historyFileFromItems({u8("é")}), QByteArray("\xC3\xA9\r\n"));

}

TEST(SideFileMerge, HistoryOfTheDiskWithTheRunsChanges)
{
    auto list = [](const char *items) {
        return QString::fromUtf8(items).split(u',', Qt::SkipEmptyParts);
    };
    struct Case
    {
        const char *name, *disk, *loaded, *now, *merged;
    };
    const Case cases[] = {
        {"nobody else wrote", "a,b", "a,b", "a,b,c", "a,b,c"},
        {"another copy added items", "a,b,x,y", "a,b", "a,b,c", "a,b,x,y,c"},
        {"new items already on disk, letter case aside", "a,B,x", "a", "a,b,X,c,C", "a,B,x,c"},
        {"the run removed an item", "a,b,x", "a,b", "a", "a,x"},
        {"another copy removed an item", "b", "a,b", "a,b,c", "b,c"},
        {"not loaded: everything is added", "a", "", "b,A", "a,b"},
        {"no file", "", "", "a,a", "a"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(mergedHistory(list(c.disk), list(c.loaded), list(c.now)), list(c.merged)) << c.name;
}

TEST(SideFileMerge, SettingsTheRunChangedOverwriteAndTheOthersStayByteForByte)
{
    const QString longValue(1 << 20, u'v');
    const QByteArray disk = "[MainW]\r\nx = 5 \r\nPerso=1\r\ny=6\r\n[Params]\r\nSite = \"http://autre/\" \r\n"
                            "Param=" + longValue.toUtf8() + "\r\nAide=\xE9\r\n";
    // At start-up the window held x 5, y 6, Site "http://moi/", Param cut, Aide "é" and no Host.
    SideFileState state;
    const QList<StoredSetting> atStart{{"MainW", "x", "5"}, {"MainW", "y", "6"}, {"Params", "Site", "http://moi/"},
                                       {"Params", "Param", longValue.left(2047)}, {"Params", "Aide", u8("é")},
                                       {"Mysql", "Host", "localhost"}, {"Mysql", "User", "design"}};
    state.noteSettings(atStart, false);
    state.noteSettings(atStart.mid(0, 6), true); // User was never loaded
    QList<StoredSetting> now = atStart;
    now[1].value = QStringLiteral("60"); // the run moved the window down
    now[4].value = QStringLiteral("/aide/");
    EXPECT_FALSE(state.changed(now[0]));
    EXPECT_TRUE(state.changed(now[1]));

    ProfileFile ini(disk);
    state.mergeSettings(ini, now, u"MainW");
    EXPECT_EQ(ini.bytes(), "[MainW]\r\nx = 5 \r\ny=60\r\n[Params]\r\nSite = \"http://autre/\" \r\nParam="
                               + longValue.toUtf8() + "\r\nAide=/aide/\r\n[Mysql]\r\nHost=localhost\r\n");

    // Once saved, the same values are no change any more.
    state.noteSaved(now);
    ProfileFile again(ini.bytes());
    state.mergeSettings(again, now, u"MainW");
    EXPECT_EQ(again.bytes(), ini.bytes());
}

TEST(SideFileFormats, MultiLineStatementsKeepOneLineEachAndComeBackWhole)
{
    const QStringList items = {u8("SELECT 1\nFROM t\r\nWHERE a = 'x'"), u8("SELECT 2\r")};
    const QByteArray file = historyFileFromItems(items);
    EXPECT_EQ(file, QByteArray("SELECT 1\xE2\x80\xA8" "FROM t\xE2\x80\xA9\xE2\x80\xA8" "WHERE a = 'x'\r\n"
                               "SELECT 2\xE2\x80\xA9\r\n"));
    EXPECT_EQ(file.count('\n'), 2); // one statement per line
    EXPECT_EQ(historyFromFile(file), items);
}

TEST(SideFileFormats, StatementsThatMayHoldAPasswordAreNeverWritten)
{
    struct Case
    {
        const char *statement;
        bool secret;
    };
    const Case cases[] = {
        {"CREATE USER bob IDENTIFIED BY 'secret'", true},
        {"alter user bob identified via ed25519 using password('x')", true},
        {"SET PASSWORD FOR bob = PASSWORD('x')", true},
        {"GRANT ALL ON *.* TO bob\nIdentified BY 'x'", true},
        {"SELECT * FROM users", false},
        {"SELECT passwd FROM users", false},
    };
    QStringList all;
    QStringList kept;
    for (const Case &c : cases) {
        EXPECT_EQ(isSecretStatement(u8(c.statement)), c.secret) << c.statement;
        all.append(u8(c.statement));
        if (!c.secret)
            kept.append(u8(c.statement));
    }
    EXPECT_EQ(historyFromFile(historyFileFromItems(all)), kept);
}

TEST(SideFileFormats, KeywordText)
{
    EXPECT_EQ(keywordTextFromFile("f(a)\ng(b)"), QStringLiteral("f(a)\ng(b)"));
    EXPECT_EQ(keywordTextFromFile("f(a)\r\ng(b)\r\n"), QStringLiteral("f(a)\ng(b)\n"));
    EXPECT_EQ(keywordTextFromFile("x\r\r\ny\rz"), QStringLiteral("x\n\ny\nz"));
    EXPECT_EQ(keywordTextFromFile(""), QString());
    EXPECT_EQ(keywordTextFromFile("\xE9t\xE9\n\xC3\xA9"), u8("été\né"));

    EXPECT_EQ(keywordFileFromLines({QStringLiteral("f(a)"), QStringLiteral("g(b)")}), QByteArray("f(a)\r\ng(b)"));
    EXPECT_EQ(keywordFileFromLines({QStringLiteral("f(a)"), QString()}), QByteArray("f(a)\r\n"));
    EXPECT_EQ(keywordFileFromLines({QString()}), QByteArray());
}

TEST(SideFileFormats, Windows1252Decoding)
{
    EXPECT_EQ(fromWindows1252("\x80\x8A\x9F\xA0\xEE\xFF\x81"),
              QString::fromUtf16(u"\u20AC\u0160\u0178\u00A0\u00EE\u00FF\u0081"));
    EXPECT_EQ(decodeLine("CouleurCha\xEEnes"), u8("CouleurChaînes"));
    EXPECT_EQ(decodeLine("CouleurCha\xC3\xAEnes"), u8("CouleurChaînes"));
}

TEST(SideFileLocation, BesideTheExecutableOrInTheConfigurationFolder)
{
    EXPECT_EQ(sideFileBaseFor(QStringLiteral("/opt/ondrel/ondrel"), QStringLiteral("/root/.config"), false),
              QStringLiteral("/opt/ondrel/ondrel"));
    EXPECT_EQ(sideFileBaseFor(QStringLiteral("/opt/x/ondrel.bin"), QStringLiteral("/root/.config"), false),
              QStringLiteral("/opt/x/ondrel"));
    EXPECT_EQ(sideFileBaseFor(QStringLiteral("/usr/bin/ondrel"), QStringLiteral("/home/u/.config"), true),
              QStringLiteral("/home/u/.config/ondrel/ondrel"));

    // The build tree is no installed copy; the install folder is one even for root.
    EXPECT_FALSE(isInstalledCopy(QCoreApplication::applicationFilePath()));
    ASSERT_FALSE(installFolder().isEmpty());
    EXPECT_TRUE(isInstalledCopy(installFolder() + QStringLiteral("/ondrel")));
    TempFolder folder;
    EXPECT_TRUE(isInstalledCopy(folder.path("dossier-absent/ondrel")));
    const SideFilePaths paths = sideFilePaths(QStringLiteral("/a/ondrel"));
    EXPECT_EQ(paths.settings, QStringLiteral("/a/ondrel.ini"));
    EXPECT_EQ(paths.keywords, QStringLiteral("/a/ondrel.php"));
    EXPECT_EQ(paths.history, QStringLiteral("/a/ondrel.qry"));
}

/** A setting of `kind` that keeps its value in `*store`. */
Setting storedIn(QVariant *store, const char *section, const char *key, SettingKind kind, QVariant byDefault)
{
    return {u8(section), u8(key), kind, constantFallback(std::move(byDefault)), [store] { return *store; },
            [store](const QVariant &v) { *store = v; }, {}, false};
}

// The file is written in the order of the blocks, each block in the order its owner declared
// its keys, whatever order the owners declared theirs in.
TEST(SettingsRegistry, KeepsTheFileOrderOfBlocksAndDeclarations)
{
    QVariant store;
    SettingsRegistry registry;
    registry.declare(SettingsBlock::Database, storedIn(&store, "Mysql", "Host", SettingKind::Text, QString()));
    registry.declare(SettingsBlock::FilesPage, storedIn(&store, "Params", "Fichier", SettingKind::Text, QString()));
    registry.declare(SettingsBlock::WindowPlacement, storedIn(&store, "MainW", "x", SettingKind::Integer, 0));
    registry.declare(SettingsBlock::Database, storedIn(&store, "Mysql", "User", SettingKind::Text, QString()));
    registry.declare(SettingsBlock::EditorColours, storedIn(&store, "Params", "CouleurFond", SettingKind::Colour, 0u));
    registry.declare(SettingsBlock::FilesPage, storedIn(&store, "Params", "Site", SettingKind::Text, QString()));
    QStringList order;
    for (const Setting *s : registry.all())
        order << s->id();
    EXPECT_EQ(order, QStringList({u8("MainW/x"), u8("Params/Fichier"), u8("Params/Site"), u8("Params/CouleurFond"),
                                  u8("Mysql/Host"), u8("Mysql/User")}));
    QStringList params;
    for (const Setting *s : registry.inSection(u"Params"))
        params << s->key;
    EXPECT_EQ(params, QStringList({u8("Fichier"), u8("Site"), u8("CouleurFond")}));
}

TEST(SettingsRegistry, ReadsEachKindOrFallsBack)
{
    struct Case
    {
        const char *name;
        QByteArray file;
        SettingKind kind;
        QVariant byDefault;
        bool onlyPositive; // the setting refuses 0 and below
        QVariant expected;
    };
    const Case cases[] = {
        {"text", "[P]\r\nk=abc\r\n", SettingKind::Text, u8("d"), false, u8("abc")},
        {"text, present but empty", "[P]\r\nk=\r\n", SettingKind::Text, u8("d"), false, QString()},
        {"text, missing", "[P]\r\n", SettingKind::Text, u8("d"), false, u8("d")},
        {"integer", "[P]\r\nk=42\r\n", SettingKind::Integer, 7, false, 42},
        {"integer, not a number", "[P]\r\nk=abc\r\n", SettingKind::Integer, 7, false, 7},
        {"integer refused", "[P]\r\nk=0\r\n", SettingKind::Integer, 7, true, 7},
        {"integer accepted", "[P]\r\nk=3\r\n", SettingKind::Integer, 7, true, 3},
        {"bool, any non-zero is true", "[P]\r\nk=2\r\n", SettingKind::Bool, false, false, true},
        {"bool zero", "[P]\r\nk=0\r\n", SettingKind::Bool, true, false, false},
        {"bool, missing", "", SettingKind::Bool, true, false, true},
        {"colour stored signed", "[P]\r\nk=-16777216\r\n", SettingKind::Colour, 0u, false, 0xFF000000u},
        {"colour", "[P]\r\nk=65280\r\n", SettingKind::Colour, 0u, false, 0x00FF00u},
        {"colour, missing", "", SettingKind::Colour, 0xFFFFFFu, false, 0xFFFFFFu},
    };
    for (const Case &c : cases) {
        QVariant store;
        Setting setting = storedIn(&store, "P", "k", c.kind, c.byDefault);
        if (c.onlyPositive)
            setting.accepts = [](const QVariant &v) { return v.toInt() > 0; };
        const QVariant read = setting.read(ProfileFile(c.file));
        EXPECT_EQ(read, c.expected) << c.name;
        // What is read is written back as the file held it, for every value that was accepted.
        ProfileFile back;
        back.writeString(u"P", u"k", setting.textOf(read));
        EXPECT_EQ(setting.read(back), c.expected) << c.name;
    }
}

TEST(SettingsRegistry, StoresTheOwnersValuesAsTheFileHoldsThem)
{
    QVariant colour = 0xFFFFFFFFu, flag = true, number = -5, text = u8("é x");
    SettingsRegistry registry;
    registry.declare(SettingsBlock::EditorColours, storedIn(&colour, "P", "c", SettingKind::Colour, 0u));
    registry.declare(SettingsBlock::EditorOptions, storedIn(&flag, "P", "b", SettingKind::Bool, false));
    registry.declare(SettingsBlock::EditorOptions, storedIn(&number, "P", "i", SettingKind::Integer, 0));
    registry.declare(SettingsBlock::Database, storedIn(&text, "M", "t", SettingKind::Text, QString()));
    QStringList values;
    for (const StoredSetting &s : registry.stored())
        values << s.section + u'/' + s.key + u'=' + s.value;
    EXPECT_EQ(values, QStringList({u8("P/c=-1"), u8("P/b=1"), u8("P/i=-5"), u8("M/t=é x")}));
}

// A fallback may depend on what the file holds for another key, read through that key's declaration.
TEST(SettingsRegistry, AFallbackReadsAnotherDeclaredKey)
{
    QVariant site, own;
    SettingsRegistry registry;
    const Setting &siteKey = registry.declare(SettingsBlock::FilesPage,
                                              storedIn(&site, "Params", "Site", SettingKind::Text, u8("http://localhost/")));
    Setting builtIn = storedIn(&own, "Params", "ServeurIntegre", SettingKind::Bool, false);
    builtIn.fallback = [&siteKey](const ProfileFile &ini) -> QVariant {
        return siteKey.read(ini) == siteKey.fallback(ini);
    };
    const Setting &server = registry.declare(SettingsBlock::BuiltInServer, builtIn);
    const struct
    {
        QByteArray file;
        bool expected;
    } cases[] = {
        {"", true},
        {"[Params]\r\nSite=http://localhost/\r\n", true},
        {"[Params]\r\nSite=http://moi.test/\r\n", false},
        {"[Params]\r\nSite=http://moi.test/\r\nServeurIntegre=1\r\n", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(server.read(ProfileFile(c.file)).toBool(), c.expected) << c.file.constData();
}

TEST(LineFile, WritesOneRecordALineAndReadsItBack)
{
    TempFolder folder;
    const QString path = folder.path("lignes");
    const struct
    {
        const char *name;
        QStringList lines;
        QByteArray bytes;
        QStringList back;
    } cases[] = {
        {"none", {}, "", {}},
        {"plain", {u8("a\tb"), u8("é")}, "a\tb\n\xC3\xA9\n", {u8("a\tb"), u8("é")}},
        {"an empty record", {u8(""), u8("x")}, "\nx\n", {u8(""), u8("x")}},
        {"breaks inside a record", {u8("a\nb\r\nc"), u8("d\r")}, "a b  c\nd \n", {u8("a b  c"), u8("d ")}},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(writeLineFile(path, c.lines)) << c.name;
        EXPECT_EQ(readFile(path), c.bytes) << c.name;
        EXPECT_EQ(readLineFile(path), c.back) << c.name;
    }
}

TEST(LineFile, ReadsEveryLineBreakAndFailsWithoutHarm)
{
    TempFolder folder;
    const QString path = folder.path("lignes");
    writeFile(path, "un\r\ndeux\ntrois");
    EXPECT_EQ(readLineFile(path), QStringList({u8("un"), u8("deux"), u8("trois")}));
    EXPECT_EQ(readLineFile(folder.path("absent")), QStringList());
    EXPECT_FALSE(writeLineFile(folder.path("absent/lignes"), {u8("x")}));
    EXPECT_FALSE(QFileInfo::exists(folder.path("absent")));
    ASSERT_TRUE(QDir().mkpath(folder.path("dossier")));
    EXPECT_FALSE(writeLineFile(folder.path("dossier"), {u8("x")})); // a folder in the way stays a folder
    EXPECT_TRUE(QFileInfo(folder.path("dossier")).isDir());
}

} // namespace

ONDREL_CORE_TEST_MAIN
