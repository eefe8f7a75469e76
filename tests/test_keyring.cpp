// The console's password in the session's keyring, against a real Secret Service
// (GNOME Keyring in the test's own D-Bus session, see servers/keyring-session.sh):
// one entry per server and user, the move out of a settings file that still holds
// a password, the settings file after a save. The cases named NoKeyring* run in a
// second pass of this program with no session bus at all (tests/CMakeLists.txt).
#include "support/qtmain.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "settings/consolepassword.h"
#include "settings/passwordkeyring.h"
#include "settings/profile.h"

#include <QFile>
#include <QLabel>
#include <QTest>

#include <sys/stat.h>

#include <algorithm>

#include <optional>

namespace {

QString u8(const char *text)
{
    return QString::fromUtf8(text);
}

/** The keyring's reply to the one request `request` makes. */
template <typename Request>
KeyringReply ask(PasswordKeyring &keyring, Request &&request)
{
    std::optional<KeyringReply> got;
    const auto connection = QObject::connect(&keyring, &PasswordKeyring::finished,
                                             [&got](const KeyringReply &reply) { got = reply; });
    request();
    EXPECT_TRUE(QTest::qWaitFor([&] { return got.has_value(); }, 20000));
    QObject::disconnect(connection);
    return got.value_or(KeyringReply{});
}

QString lookUp(const QString &host, const QString &user)
{
    PasswordKeyring keyring;
    const KeyringReply reply = ask(keyring, [&] { keyring.lookup(passwordKeyFor(host, user)); });
    EXPECT_TRUE(reply.ok()) << qPrintable(reply.detail);
    return reply.password;
}

void keep(const QString &host, const QString &user, const QString &password)
{
    PasswordKeyring keyring;
    const KeyringReply reply = ask(keyring, [&] { keyring.store(passwordKeyFor(host, user), password); });
    ASSERT_TRUE(reply.ok()) << qPrintable(reply.detail);
}

// Each server (host, port or socket) and user has an entry of its own: storing one
// neither replaces nor answers for another.
TEST(Keyring, EachServerAndUserHasItsOwnPassword)
{
    struct Entry
    {
        const char *host, *user, *password;
    };
    const Entry entries[] = {
        {"127.0.0.1:3307", "alice", "a-3307"},
        {"127.0.0.1:3308", "alice", "a-3308"},   // another port
        {"127.0.0.1:3307", "bob", "b-3307"},     // another user
        {"localhost", "alice", "a-socket"},      // the default socket
        {"localhost:3307", "alice", "a-tcp"},    // TCP to the same machine
        {"/tmp/autre.sock", "alice", "a-autre"}, // a socket of its own
        {"db.exemple.test", "élodie", "é;#\"x\" à la fin "},
    };
    for (const Entry &e : entries)
        keep(u8(e.host), u8(e.user), u8(e.password));
    for (const Entry &e : entries)
        EXPECT_EQ(lookUp(u8(e.host), u8(e.user)), u8(e.password)) << e.host << ' ' << e.user;
    EXPECT_EQ(lookUp(QStringLiteral("127.0.0.1:3309"), QStringLiteral("alice")), QString());
    EXPECT_EQ(lookUp(QStringLiteral("127.0.0.1:3307"), QStringLiteral("carole")), QString());

    keep(QStringLiteral("127.0.0.1:3307"), QStringLiteral("alice"), QStringLiteral("nouveau"));
    EXPECT_EQ(lookUp(QStringLiteral("127.0.0.1:3307"), QStringLiteral("alice")), QStringLiteral("nouveau"));
    EXPECT_EQ(lookUp(QStringLiteral("127.0.0.1:3308"), QStringLiteral("alice")), QStringLiteral("a-3308"));

    PasswordKeyring keyring;
    EXPECT_TRUE(ask(keyring, [&] { keyring.clear(passwordKeyFor(QStringLiteral("127.0.0.1:3307"), QStringLiteral("bob"))); }).ok());
    EXPECT_EQ(lookUp(QStringLiteral("127.0.0.1:3307"), QStringLiteral("bob")), QString());
    EXPECT_EQ(lookUp(QStringLiteral("127.0.0.1:3307"), QStringLiteral("alice")), QStringLiteral("nouveau"));
}

class KeyringWindow : public ::testing::Test
{
protected:
    TempFolder folder;
    QString ini = folder.path("ondrel.ini");

    void writeSettings(const QString &host, const QString &user, const QString &pass)
    {
        ProfileFile settings;
        settings.writeString(u"Params", u"Param", QStringLiteral("a=1"));
        settings.writeString(u"Mysql", u"Host", host);
        settings.writeString(u"Mysql", u"User", user);
        if (!pass.isNull())
            settings.writeString(u"Mysql", u"Pass", pass);
        settings.writeString(u"Mysql", u"Base", QStringLiteral("boutique"));
        writeFile(ini, settings.bytes());
    }
    ProfileFile stored() const { return ProfileFile(readFile(ini)); }
    std::unique_ptr<TfmMain> start() { return makeWindow(folder.path(QString())); }
};

using NoKeyringWindow = KeyringWindow;

/** The questions whether the settings file's password moves to the keyring, among `boxes`. */
qsizetype moveQuestions(const ModalWatcher &watcher)
{
    return std::count_if(watcher.boxes.begin(), watcher.boxes.end(),
                         [](const ModalWatcher::Box &box) { return box.text.contains(u8("Le passer dans le trousseau")); });
}

// A password the settings file still holds: the user is asked once. Yes: it goes to
// the keyring, and out of the file once the keyring has it, and the next start finds
// it there. No: it stays in the file, and neither that start nor the next one uses
// the keyring. No answer (the box closed by the program): asked again next time.
TEST_F(KeyringWindow, PasswordInTheSettingsFileMovesToTheKeyringAfterAsking)
{
    const QString moved = u8("Mot de passe passé de ondrel.ini au trousseau.");
    struct Case
    {
        const char *answer; // the button clicked; empty: the box closed without one
        const char *user;
        bool inKeyring;     // after the first run; the file holds the password otherwise
        bool askedAgain;    // at the next start
    };
    const Case cases[] = {
        {"Passer au trousseau", "carole", true, false},
        {"Laisser dans ondrel.ini", "paul", false, false},
        {"", "rose", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer);
        const QString user = u8(c.user), host = QStringLiteral("127.0.0.1:3310");
        writeSettings(host, user, QStringLiteral("ancien secret"));
        ModalWatcher watcher;
        watcher.answer = u8(c.answer);
        auto w = start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return moveQuestions(watcher) == 1; }, 20000));
        if (c.inKeyring) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return stored().readString(u"Mysql", u"Pass").isEmpty(); }, 20000))
                << readFile(ini).constData();
            EXPECT_EQ(lookUp(host, user), QStringLiteral("ancien secret"));
            EXPECT_EQ(w->databasePage->mysqlErr->text(), moved);
            EXPECT_EQ(stored().readString(u"Params", u"Param"), QStringLiteral("a=1")); // the rest of the file stays
        }
        EXPECT_EQ(w->databasePage->pass->text(), QStringLiteral("ancien secret"));
        // Leaving the field with the file's password is no answer of its own.
        emit w->databasePage->pass->editingFinished();
        w.reset();
        EXPECT_EQ(readFile(ini).contains("ancien secret"), !c.inKeyring) << readFile(ini).constData();
        EXPECT_EQ(stored().readString(u"Mysql", u"User"), user);
        EXPECT_EQ(lookUp(host, user), c.inKeyring ? QStringLiteral("ancien secret") : QString());

        watcher.answer = QStringLiteral("Laisser dans ondrel.ini");
        w = start();
        if (c.askedAgain) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return moveQuestions(watcher) == 2; }, 20000));
        }
        if (c.inKeyring) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return w->databasePage->pass->text() == QStringLiteral("ancien secret"); }, 20000));
        }
        // A password typed and never left: the keyring, unless the user keeps the file.
        w->databasePage->pass->setText(QStringLiteral("nouveau"));
        w.reset();
        EXPECT_EQ(moveQuestions(watcher), c.askedAgain ? 2 : 1);
        EXPECT_EQ(readFile(ini).contains("nouveau"), !c.inKeyring) << readFile(ini).constData();
        EXPECT_EQ(lookUp(host, user), c.inKeyring ? QStringLiteral("nouveau") : QString());
    }
}

// Closing the window with a typed password still in "Pass" (never left): it goes to
// the keyring then, and the settings file holds none.
TEST_F(KeyringWindow, PasswordTypedAndNeverLeftGoesToTheKeyringAtClose)
{
    writeSettings(QStringLiteral("127.0.0.1:3313"), QStringLiteral("lucie"), QString());
    auto w = start();
    w->databasePage->pass->setFocus();
    w->databasePage->pass->setText(u8("jamais quitté"));
    w.reset();
    EXPECT_FALSE(readFile(ini).contains("jamais")) << readFile(ini).constData();
    EXPECT_EQ(lookUp(QStringLiteral("127.0.0.1:3313"), QStringLiteral("lucie")), u8("jamais quitté"));
}

// A password typed in "Pass" goes to the keyring when the field is left, and the
// settings file written at the end holds none; an emptied field forgets it.
TEST_F(KeyringWindow, TypedPasswordIsKeptInTheKeyringNotInTheFile)
{
    writeSettings(QStringLiteral("127.0.0.1:3311"), QStringLiteral("denis"), QString());
    auto w = start();
    w->databasePage->pass->setText(QStringLiteral("tapé à la main"));
    emit w->databasePage->pass->editingFinished();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->databasePage->consolePassword()->textForSettingsFile().isEmpty(); }, 20000));
    w.reset();
    EXPECT_FALSE(readFile(ini).contains("la main")) << readFile(ini).constData();
    EXPECT_EQ(lookUp(QStringLiteral("127.0.0.1:3311"), QStringLiteral("denis")), u8("tapé à la main"));

    // Changing User with "Pass" empty looks that account up.
    w = start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->databasePage->pass->text().isEmpty(); }, 20000));
    w->databasePage->user->setText(QStringLiteral("autre"));
    w->databasePage->pass->clear();
    emit w->databasePage->user->editingFinished();
    w->databasePage->user->setText(QStringLiteral("denis"));
    emit w->databasePage->user->editingFinished();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->databasePage->pass->text() == u8("tapé à la main"); }, 20000));

    w->databasePage->pass->clear();
    emit w->databasePage->pass->editingFinished();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return lookUp(QStringLiteral("127.0.0.1:3311"), QStringLiteral("denis")).isEmpty(); }, 20000));
}

// Without a Secret Service the password stays where it is: in the field, and in the
// settings file (owner only) at the end, with the reason in the status.
TEST_F(NoKeyringWindow, PasswordStaysInTheSettingsFile)
{
    const QString message = u8("Pas de trousseau : mot de passe gardé dans ondrel.ini.");
    struct Case
    {
        const char *name;
        const char *inFile;  // the settings file's password at start
        const char *typed;   // typed in "Pass" during the run; null: nothing typed
        const char *atEnd;   // the settings file's password after the run
        bool left;           // the field left after typing (else the window closes with the focus in it)
    };
    const Case cases[] = {
        {"moved at start", "reste ici", nullptr, "reste ici", false},
        {"typed", "", "nouveau", "nouveau", true},
        {"typed over the file's", "ancien", "remplacé", "remplacé", true},
        {"typed, never left", "", "gardé", "gardé", false},
    };
    ModalWatcher watcher; // no keyring: no question
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeSettings(QStringLiteral("127.0.0.1:3312"), QStringLiteral("emma"), u8(c.inFile));
        auto w = start();
        if (c.typed) {
            w->databasePage->pass->setText(u8(c.typed));
            if (c.left)
                emit w->databasePage->pass->editingFinished();
        }
        if (c.left || *c.inFile) { // a failed look-up of an empty file's account says nothing
            EXPECT_TRUE(QTest::qWaitFor([&] { return w->databasePage->mysqlErr->text() == message; }, 20000))
                << qPrintable(w->databasePage->mysqlErr->text());
        }
        EXPECT_EQ(w->databasePage->pass->text(), u8(c.typed ? c.typed : c.inFile));
        w.reset();
        EXPECT_TRUE(watcher.boxes.isEmpty());
        EXPECT_EQ(stored().readString(u"Mysql", u"Pass"), u8(c.atEnd));
        struct stat st{};
        ASSERT_EQ(::stat(QFile::encodeName(ini).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    PasswordKeyring keyring;
    const KeyringReply reply = ask(keyring, [&] { keyring.lookup(passwordKeyFor(QStringLiteral("h"), QStringLiteral("u"))); });
    EXPECT_EQ(reply.failure, KeyringReply::Failure::Unavailable) << qPrintable(reply.detail);
}

} // namespace

ONDREL_QT_TEST_MAIN
