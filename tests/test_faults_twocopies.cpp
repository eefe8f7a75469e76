// Two copies of the program at work on one set of side files, each a process of
// its own, closed in either order: neither copy's settings, statements or keyword
// line are lost, whatever the other wrote first.
#include "support/qtmain.h"

#include "settings/profile.h"
#include "support/faultprocess.h"
#include "support/testsupport.h"

namespace {

const QString kChild = QStringLiteral(ONDREL_FAULT_CHILD);

class TwoCopies : public ::testing::TestWithParam<bool> {};

TEST_P(TwoCopies, NeitherCopyLosesItsWork)
{
    const bool aClosesFirst = GetParam();
    TempFolder folder;
    folder.write(QStringLiteral("ondrel.ini"), "[Params]\r\nSite=http://old/\r\nParam=old\r\n[Notes]\r\nkept = \"as it was\"\r\n");
    folder.write(QStringLiteral("ondrel.php"), "f(a)\r\ng(b)");
    folder.write(QStringLiteral("ondrel.qry"), "q1\r\nq2\r\n");

    // Copy A types into "Param", copy B into "Site"; each adds a keyword line and a statement.
    FaultProcess a, b;
    ASSERT_TRUE(a.start(kChild, {QStringLiteral("side-copy"), folder.dir.path(), QStringLiteral("A"),
                                 QStringLiteral("eParam")})) << a.output().constData();
    ASSERT_TRUE(b.start(kChild, {QStringLiteral("side-copy"), folder.dir.path(), QStringLiteral("B"),
                                 QStringLiteral("eSite")})) << b.output().constData();
    FaultProcess &first = aClosesFirst ? a : b;
    FaultProcess &second = aClosesFirst ? b : a;
    const char firstTag = aClosesFirst ? 'A' : 'B';
    const char secondTag = aClosesFirst ? 'B' : 'A';
    first.send("close\n");
    ASSERT_TRUE(first.finish()) << first.output().constData();
    second.send("close\n");
    ASSERT_TRUE(second.finish()) << second.output().constData();

    const QByteArray settings = folder.read(QStringLiteral("ondrel.ini"));
    const ProfileFile ini(settings);
    EXPECT_EQ(ini.readString(u"Params", u"Param"), QStringLiteral("A")) << settings.constData();
    EXPECT_EQ(ini.readString(u"Params", u"Site"), QStringLiteral("B")) << settings.constData();
    EXPECT_TRUE(settings.contains("\r\nkept = \"as it was\"\r\n")) << settings.constData();

    EXPECT_EQ(folder.read(QStringLiteral("ondrel.qry")),
              QByteArray("q1\r\nq2\r\nselect '") + firstTag + "'\r\nselect '" + secondTag + "'\r\n");

    // The keyword list is one text: the copy that closes last keeps its own, and the
    // other's is kept beside it.
    const QString bak = folder.path(QStringLiteral("ondrel.php.bak"));
    EXPECT_EQ(folder.read(QStringLiteral("ondrel.php")), QByteArray("f(a)\r\ng(b)\r\nfunction_") + secondTag + "($x)");
    EXPECT_EQ(readFile(bak), QByteArray("f(a)\r\ng(b)\r\nfunction_") + firstTag + "($x)");
    EXPECT_EQ(first.messages(), QStringList());
    ASSERT_EQ(second.messages().size(), 1) << second.output().constData();
    EXPECT_TRUE(second.messages()[0].contains(bak)) << second.output().constData();
}

INSTANTIATE_TEST_SUITE_P(Orders, TwoCopies, ::testing::Bool(),
                         [](const auto &info) { return std::string(info.param ? "AClosesFirst" : "BClosesFirst"); });

} // namespace

ONDREL_QT_TEST_MAIN
