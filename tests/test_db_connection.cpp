// The "Go"/"Stop" button against a real MariaDB server, and the texts of its two messages.
#include "support/qtmain.h"

#include "base/errors.h"
#include "app/main.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "db/connectionsecurity.h"
#include "db/consoletext.h"
#include "db/dbconsole.h"
#include "db/serveraddress.h"
#include "db/stringgrid.h"
#include "support/dbserver.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QLabel>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString kHostAdvice = QStringLiteral("\". Vérifiez le Host, user et password.");
const QString kBaseAdvice = QStringLiteral("\". Vérifiez le nom de la base.");

class DbConnection : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server = &DbServer::fixture();
        window = makeWindow(folder.dir.path());
    }
    void TearDown() override
    {
        ModalWatcher watcher;
        closeConnection(*window);
    }

    void fill(const QString &h, const QString &u, const QString &p, const QString &b)
    {
        window->databasePage->host->setText(h);
        window->databasePage->user->setText(u);
        window->databasePage->pass->setText(p);
        window->databasePage->base->setText(b);
    }

    const DbServer *server = nullptr;
    TempFolder folder;
    std::unique_ptr<TfmMain> window;
};

/** The error text between the two fixed pieces of a connection or database message. */
QString errorTextOf(const QString &message, const QString &advice)
{
    const QString head = QStringLiteral("Erreur \"");
    if (!message.startsWith(head) || !message.endsWith(advice))
        return QStringLiteral("<not a connection message: %1>").arg(message);
    return message.mid(head.size(), message.size() - head.size() - advice.size());
}

TEST_F(DbConnection, WrongPasswordGivesOneConnectionMessageAndStaysClosed)
{
    fill(QStringLiteral("127.0.0.1"), QStringLiteral("root"), QStringLiteral("wrong"), QStringLiteral("ondrel_test"));
    ModalWatcher watcher;
    window->databasePage->sbConnected->click();
    waitForConsole(*window);

    ASSERT_EQ(watcher.boxes.size(), 1);
    const QString error = errorTextOf(watcher.boxes[0].text, kHostAdvice);
    EXPECT_TRUE(error.startsWith(QStringLiteral("Access denied for user 'root'@"))) << qPrintable(error);
    EXPECT_TRUE(error.endsWith(QStringLiteral("(using password: YES)"))) << qPrintable(error);
    EXPECT_EQ(watcher.boxes[0].caption, applicationTitle());
    EXPECT_FALSE(watcher.boxes[0].hasIcon);
    EXPECT_FALSE(window->databasePage->console()->isConnected());
    EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Go"));
}

TEST_F(DbConnection, OpenAgainAfterAFailedOpenReusesTheRecord)
{
    ModalWatcher watcher;
    fill(QStringLiteral("127.0.0.1"), QStringLiteral("root"), QStringLiteral("wrong"), QStringLiteral("ondrel_test"));
    window->databasePage->sbConnected->click();
    waitForConsole(*window);
    ASSERT_EQ(watcher.boxes.size(), 1);

    window->databasePage->pass->setText(server->password);
    window->databasePage->sbConnected->click();
    waitForConsole(*window);
    EXPECT_EQ(watcher.boxes.size(), 1); // no second message
    EXPECT_TRUE(window->databasePage->console()->isConnected());
    EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Stop"));
}

TEST_F(DbConnection, MissingDatabaseKeepsTheConnectionOpenAndStopClosesSilently)
{
    ModalWatcher watcher;
    openConnection(*window, *server, QStringLiteral("no_such_base"));

    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(watcher.boxes[0].text,
              QStringLiteral("Erreur \"Unknown database 'no_such_base'") + kBaseAdvice);
    EXPECT_FALSE(watcher.boxes[0].hasIcon);
    EXPECT_TRUE(window->databasePage->console()->isConnected());
    EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Stop"));

    window->databasePage->sbConnected->click();
    waitForConsole(*window);
    EXPECT_EQ(watcher.boxes.size(), 1);
    EXPECT_FALSE(window->databasePage->console()->isConnected());
    EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Go"));
}

TEST_F(DbConnection, EmptyDatabaseNameIsStillSelected)
{
    ModalWatcher watcher;
    openConnection(*window, *server, QString());
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(watcher.boxes[0].text, QStringLiteral("Erreur \"No database selected") + kBaseAdvice);
    EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Stop"));
}

TEST_F(DbConnection, EmptyFieldsGoToTheLibraryAsEmptyStrings)
{
    // The library's rules: an empty host is the local socket, an empty user is
    // the login name, an empty password is no password.
    fill(QString(), QString(), QString(), QString());
    ModalWatcher watcher;
    window->databasePage->sbConnected->click();
    waitForConsole(*window);
    ASSERT_EQ(watcher.boxes.size(), 1);
    const QString login = QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name); // the account running the test
    EXPECT_EQ(errorTextOf(watcher.boxes[0].text, kHostAdvice),
              QStringLiteral("Access denied for user '%1'@'localhost' (using password: NO)").arg(login));
    EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Go"));
}

TEST_F(DbConnection, RightCredentialsOpenWithoutMessage)
{
    ModalWatcher watcher;
    openConnection(*window, *server);
    EXPECT_TRUE(watcher.boxes.isEmpty());
    EXPECT_TRUE(window->databasePage->console()->isConnected());
    EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Stop"));
}

TEST_F(DbConnection, BusyCursorStaysUntilTheMessageBoxIsClosed)
{
    QList<bool> busyWhileOpen;
    ModalWatcher watcher;
    watcher.whileBoxOpen = [&] {
        const QCursor *cursor = QApplication::overrideCursor();
        busyWhileOpen.append(cursor && cursor->shape() == Qt::BusyCursor);
    };
    fill(QStringLiteral("127.0.0.1"), QStringLiteral("root"), QStringLiteral("wrong"), QString());
    window->databasePage->sbConnected->click();
    waitForConsole(*window);

    EXPECT_EQ(busyWhileOpen, QList<bool>{true});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(DbConnection, HostTakesAPortOrASocketPathAndIsKeptAsTyped)
{
    // How the server sees the connection: "localhost" over the socket, "name:port" over TCP.
    const auto peer = [&] {
        runStatement(*window, QStringLiteral("SELECT HOST FROM information_schema.PROCESSLIST WHERE ID = CONNECTION_ID()"));
        return window->databasePage->sg->cell(0, 1);
    };
    const struct
    {
        QString typed;
        bool tcp;
    } cases[] = {
        {QStringLiteral("127.0.0.1:%1").arg(server->port), true},
        {QStringLiteral("localhost:%1").arg(server->port), true}, // a typed port is TCP, not the socket
        {server->socket, false},
    };
    for (const auto &c : cases) {
        ModalWatcher watcher;
        fill(c.typed, QStringLiteral("root"), server->password, QStringLiteral("ondrel_test"));
        window->databasePage->sbConnected->click();
        waitForConsole(*window);
        ASSERT_TRUE(window->databasePage->console()->isConnected()) << qPrintable(c.typed) << ": " << qPrintable(watcher.boxes.value(0).text);
        EXPECT_EQ(peer().contains(u':'), c.tcp) << qPrintable(c.typed) << " seen as " << qPrintable(peer());
        EXPECT_EQ(window->databasePage->host->text(), c.typed);
        closeConnection(*window);
    }
}

TEST_F(DbConnection, APortThatIsNotTheServersOrThatCannotBeReadIsRefusedWithAMessage)
{
    // The library's default port is the server's (MYSQL_TCP_PORT): port 1 shows the typed one is used.
    const struct
    {
        const char *typed;
        const char *says;
    } cases[] = {
        {"127.0.0.1:1", "Erreur \"Can't connect to server on '127.0.0.1'"},
        {"127.0.0.1:abc", "Host « 127.0.0.1:abc » : le port doit être un nombre de 1 à 65535."},
        {"[::1", "Host « [::1 » : il manque le « ] » après l'adresse IPv6."},
    };
    for (const auto &c : cases) {
        ModalWatcher watcher;
        fill(QString::fromUtf8(c.typed), QStringLiteral("root"), server->password, QStringLiteral("ondrel_test"));
        window->databasePage->sbConnected->click();
        waitForConsole(*window);
        ASSERT_EQ(watcher.boxes.size(), 1) << c.typed;
        EXPECT_TRUE(watcher.boxes[0].text.startsWith(QString::fromUtf8(c.says))) << qPrintable(watcher.boxes[0].text);
        EXPECT_FALSE(window->databasePage->console()->isConnected());
        EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Go"));
        EXPECT_TRUE(window->databasePage->sbConnected->isEnabled());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

/** require_secure_transport switched on for one case, and off again whatever happens. */
struct SecureTransport
{
    SecureTransport(const DbServer &server, bool on)
        : server(server)
        , on(on)
    {
        if (on)
            server.sql(QStringLiteral("SET GLOBAL require_secure_transport = ON"));
    }
    ~SecureTransport()
    {
        if (on)
            server.sql(QStringLiteral("SET GLOBAL require_secure_transport = OFF"));
    }
    const DbServer &server;
    const bool on;
};

// The test server has a certificate of the test CA (tls/ca.pem) for 127.0.0.1 and localhost;
// tls/other-ca.pem signed nothing of it. A case opens with its mode and CA file, then asks the
// server whether the connection it sees is encrypted.
TEST_F(DbConnection, EncryptionModesAgainstAServerWithACertificate)
{
    const QString tls = server->dir + QStringLiteral("/tls/");
    const QString tcp = QStringLiteral("127.0.0.1:%1").arg(server->port);
    const struct
    {
        const char *name;
        TlsMode mode;
        QString caFile;
        QString host;
        bool secureTransportOnly; // require_secure_transport=ON during the case
        bool opens;
        bool encrypted;
        const char *status;       // what mysqlErr starts with after the click ("" : unchanged)
        const char *boxStartsWith; // the one message box, or nullptr for none
    } cases[] = {
        {"none stays in the clear", TlsMode::None, {}, tcp, false, true, false, "Ok", nullptr},
        {"preferred", TlsMode::Preferred, {}, tcp, false, true, true, "Connexion chiffrée (", nullptr},
        {"required", TlsMode::Required, {}, tcp, false, true, true, "Connexion chiffrée (", nullptr},
        {"verified, right CA", TlsMode::Verified, tls + QStringLiteral("ca.pem"), tcp, false, true, true,
         "Connexion chiffrée (", nullptr},
        {"verified, name of the certificate", TlsMode::Verified, tls + QStringLiteral("ca.pem"),
         QStringLiteral("localhost:%1").arg(server->port), false, true, true, "Connexion chiffrée (", nullptr},
        {"verified, wrong CA", TlsMode::Verified, tls + QStringLiteral("other-ca.pem"), tcp, false, false, false,
         "Certificat du serveur refusé (", nullptr},
        {"verified, no CA file: the system's authorities", TlsMode::Verified, {}, tcp, false, false, false,
         "Certificat du serveur refusé (", nullptr},
        {"verified, missing CA file", TlsMode::Verified, tls + QStringLiteral("absent.pem"), tcp, false, false, false,
         "Fichier CA introuvable : « ", nullptr},
        {"verified, a folder as CA file", TlsMode::Verified, tls, tcp, false, false, false, "Fichier CA illisible", nullptr},
        {"none, server requires TLS", TlsMode::None, {}, tcp, true, false, false, "Ok", "Erreur \"Access denied"},
        {"required, server requires TLS", TlsMode::Required, {}, tcp, true, true, true, "Connexion chiffrée (", nullptr},
        // The socket never leaves the machine: Ondrel's own database has no certificate to offer.
        {"verified through the socket", TlsMode::Verified, tls + QStringLiteral("other-ca.pem"), server->socket, true,
         true, false, "Connexion par le socket local, non chiffrée", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const SecureTransport transport(*server, c.secureTransportOnly);
        window->databasePage->mysqlErr->setText(QStringLiteral("Ok"));
        window->databasePage->cbChiffrement->setCurrentIndex(int(c.mode));
        window->databasePage->eFichierCA->setText(c.caFile);
        fill(c.host, QStringLiteral("root"), server->password, QStringLiteral("ondrel_test"));
        ModalWatcher watcher;
        window->databasePage->sbConnected->click();
        waitForConsole(*window);

        EXPECT_TRUE(window->databasePage->mysqlErr->text().startsWith(QString::fromUtf8(c.status))) << qPrintable(window->databasePage->mysqlErr->text());
        ASSERT_EQ(watcher.boxes.size(), c.boxStartsWith ? 1 : 0) << qPrintable(watcher.boxes.value(0).text);
        if (c.boxStartsWith) {
            EXPECT_TRUE(watcher.boxes[0].text.startsWith(QString::fromUtf8(c.boxStartsWith))) << qPrintable(watcher.boxes[0].text);
        }
        ASSERT_EQ(window->databasePage->console()->isConnected(), c.opens);
        EXPECT_EQ(window->databasePage->sbConnected->text(), c.opens ? QStringLiteral("Stop") : QStringLiteral("Go"));
        EXPECT_TRUE(window->databasePage->sbConnected->isEnabled());
        if (!c.opens)
            continue;
        runStatement(*window, QStringLiteral("SHOW STATUS LIKE 'Ssl_cipher'"));
        EXPECT_EQ(window->databasePage->sg->cell(1, 1).isEmpty(), !c.encrypted) << qPrintable(window->databasePage->sg->cell(1, 1));
        closeConnection(*window);
    }
}

// Failures of the library the test server cannot cause (a server without TLS, a broken
// handshake), and those that are not TLS's, which keep the usual connection box.
TEST(ConnectionSecurity, TheLibrarysTlsFailuresInFrench)
{
    const struct
    {
        TlsMode mode;
        unsigned error;
        const char *library;
        const char *startsWith; // "" : not TLS's failure, the usual connection message tells it
    } failures[] = {
        {TlsMode::Verified, 2026, "TLS/SSL error: self-signed certificate in certificate chain", "Certificat du serveur refusé (« TLS/SSL"},
        {TlsMode::Verified, 2026, "TLS/SSL error: Validation of SSL server certificate failed", "Certificat du serveur refusé"},
        {TlsMode::Verified, 2026, "TLS/SSL error: SSL is required, but the server does not support it",
         "Le serveur ne propose pas de connexion chiffrée"},
        {TlsMode::Required, 2026, "TLS/SSL error: unexpected eof while reading", "Le chiffrement (TLS) n'a pas pu"},
        {TlsMode::Verified, 2026, "  TLS/SSL error: protocol version\n", "Le chiffrement (TLS) n'a pas pu être établi avec le serveur : « TLS/SSL error: protocol version »."},
        {TlsMode::Required, 1045, "Access denied for user 'root'@'localhost' (using password: YES)", ""},
        {TlsMode::None, 2003, "Can't connect to server on '127.0.0.1' (111)", ""},
    };
    for (const auto &f : failures) {
        const QString message = tlsFailureMessage(f.mode, f.error, QString::fromUtf8(f.library));
        if (*f.startsWith == 0) {
            EXPECT_TRUE(message.isEmpty()) << qPrintable(message);
        } else {
            EXPECT_TRUE(message.startsWith(QString::fromUtf8(f.startsWith))) << qPrintable(message);
        }
    }
}

struct AddressCase
{
    const char *typed;
    const char *host;
    unsigned port;
    const char *socket;
    bool tcp;
    bool error;
};

TEST(ServerAddress, HostTextsAsTyped)
{
    const AddressCase cases[] = {
        {"", "", 0, "", false, false},
        {"localhost", "localhost", 0, "", false, false},
        {"db.example", "db.example", 0, "", false, false},
        {"127.0.0.1:23306", "127.0.0.1", 23306, "", true, false},
        {"localhost:3307", "localhost", 3307, "", true, false}, // TCP, not the socket
        {":3307", "", 3307, "", true, false},
        {"[::1]:23306", "::1", 23306, "", true, false},
        {"[::1]", "::1", 0, "", false, false},
        {"::1", "::1", 0, "", false, false},
        {"fe80::1:2", "fe80::1:2", 0, "", false, false},
        {"/run/mysqld/mysqld.sock", "localhost", 0, "/run/mysqld/mysqld.sock", false, false},
        {"/tmp/a:b.sock", "localhost", 0, "/tmp/a:b.sock", false, false},
        {"host:", "", 0, "", false, true},
        {"host:abc", "", 0, "", false, true},
        {"host:0", "", 0, "", false, true},
        {"host:65536", "", 0, "", false, true},
        {"host:+80", "", 0, "", false, true},
        {"host: 80", "", 0, "", false, true},
        {"[::1", "", 0, "", false, true},
        {"[::1]x", "", 0, "", false, true},
        {"[::1]:99999", "", 0, "", false, true},
    };
    for (const AddressCase &c : cases) {
        const ServerAddress address = serverAddress(QString::fromUtf8(c.typed));
        EXPECT_EQ(address.host, QString::fromUtf8(c.host)) << c.typed;
        EXPECT_EQ(address.port, c.port) << c.typed;
        EXPECT_EQ(address.socket, QString::fromUtf8(c.socket)) << c.typed;
        EXPECT_EQ(address.tcp, c.tcp) << c.typed;
        EXPECT_EQ(!address.error.isEmpty(), c.error) << c.typed << ": " << qPrintable(address.error);
        if (c.error) {
            EXPECT_TRUE(address.error.contains(QString::fromUtf8(c.typed))) << qPrintable(address.error);
        }
    }
}

struct TrimCase
{
    const char *name;
    QString error;
    QString shown;
};

class ErrorText : public ::testing::TestWithParam<TrimCase>
{
};

TEST_P(ErrorText, IsCutTo200CharactersThenTrimmedAtBothEnds)
{
    EXPECT_EQ(connectionMessage(GetParam().error), QStringLiteral("Erreur \"") + GetParam().shown + kHostAdvice);
    EXPECT_EQ(databaseMessage(GetParam().error), QStringLiteral("Erreur \"") + GetParam().shown + kBaseAdvice);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ErrorText,
    ::testing::Values(
        TrimCase{"Empty", QString(), QString()},
        TrimCase{"OnlyBlanks", QStringLiteral(" \t\r\n "), QString()},
        TrimCase{"ControlsAndBlanksAtEnds", QStringLiteral("\x01\n Lost connection \r\n\x1f"),
                 QStringLiteral("Lost connection")},
        TrimCase{"InsideLeftAlone", QStringLiteral("a \n\tb"), QStringLiteral("a \n\tb")},
        TrimCase{"Character33Kept", QStringLiteral("!x!"), QStringLiteral("!x!")},
        TrimCase{"Exactly200", QString(200, QLatin1Char('e')), QString(200, QLatin1Char('e'))},
        TrimCase{"CutAt200", QString(200, QLatin1Char('e')) + QStringLiteral("TAIL"), QString(200, QLatin1Char('e'))},
        TrimCase{"CutFirstThenTrimmed", QString(198, QLatin1Char('e')) + QStringLiteral("  more"),
                 QString(198, QLatin1Char('e'))},
        TrimCase{"AccentsCountAsOneCharacter", QString(199, QChar(0xE9)) + QStringLiteral("xy"),
                 QString(199, QChar(0xE9)) + QStringLiteral("x")},
        TrimCase{"SurrogatePairNotSplit", QString(199, QLatin1Char('a')) + QStringLiteral("\U0001F600z"),
                 QString(199, QLatin1Char('a')) + QStringLiteral("\U0001F600")}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ServerText, ValidUtf8IsDecodedElseEachByteIsWindows1252)
{
    EXPECT_EQ(textFromServer("caf\xc3\xa9"), QStringLiteral("café"));
    EXPECT_EQ(textFromServer("caf\xe9 \x80\x93\x9c"), QStringLiteral("café €“œ"));
    EXPECT_EQ(textFromServer(QByteArrayView()), QString());
}

TEST(StatementStatus, RowsOrAffectedRowsThenTheTimeToTheHundredth)
{
    const struct
    {
        std::vector<qint64> sets;
        quint64 affected;
        quint64 id;
        qint64 ms;
        const char *shown;
    } cases[] = {
        {{3}, 0, 0, 20, "3 lignes (0,02 s)"},
        {{1}, 0, 0, 4, "1 ligne (0,00 s)"},
        {{0}, 0, 0, 5, "0 ligne (0,01 s)"},
        {{2, 1}, 0, 0, 1234, "2 résultats (1,23 s)"},
        {{}, 2, 7, 999, "2 ligne(s) affectée(s), dernier id inséré : 7 (1,00 s)"},
        {{}, 0, 0, 75300, "0 ligne(s) affectée(s) (75,30 s)"},
        {{}, 1, 0, -3, "1 ligne(s) affectée(s) (0,00 s)"}, // a clock that went back shows no negative time
    };
    for (const auto &c : cases)
        EXPECT_EQ(statementDoneMessage(c.sets, c.affected, c.id, c.ms), QString::fromUtf8(c.shown));
}

} // namespace

ONDREL_QT_TEST_MAIN
