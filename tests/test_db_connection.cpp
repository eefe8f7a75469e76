// The "Go"/"Stop" button against a real MariaDB server, and the texts of its two messages.
#include "support/qtmain.h"

#include "base/errors.h"
#include "app/main.h"
#include "widgets/widgets.h"
#include "db/consoletext.h"
#include "support/dbserver.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QCursor>

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
        window->host->setText(h);
        window->user->setText(u);
        window->pass->setText(p);
        window->base->setText(b);
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
    window->sbConnected->click();
    waitForConsole(*window);

    ASSERT_EQ(watcher.boxes.size(), 1);
    const QString error = errorTextOf(watcher.boxes[0].text, kHostAdvice);
    EXPECT_TRUE(error.startsWith(QStringLiteral("Access denied for user 'root'@"))) << qPrintable(error);
    EXPECT_TRUE(error.endsWith(QStringLiteral("(using password: YES)"))) << qPrintable(error);
    EXPECT_EQ(watcher.boxes[0].caption, applicationTitle());
    EXPECT_FALSE(watcher.boxes[0].hasIcon);
    EXPECT_FALSE(window->EstConnecte);
    EXPECT_EQ(window->sbConnected->text(), QStringLiteral("Go"));
}

TEST_F(DbConnection, OpenAgainAfterAFailedOpenReusesTheRecord)
{
    ModalWatcher watcher;
    fill(QStringLiteral("127.0.0.1"), QStringLiteral("root"), QStringLiteral("wrong"), QStringLiteral("ondrel_test"));
    window->sbConnected->click();
    waitForConsole(*window);
    ASSERT_EQ(watcher.boxes.size(), 1);

    window->pass->setText(server->password);
    window->sbConnected->click();
    waitForConsole(*window);
    EXPECT_EQ(watcher.boxes.size(), 1); // no second message
    EXPECT_TRUE(window->EstConnecte);
    EXPECT_EQ(window->sbConnected->text(), QStringLiteral("Stop"));
}

TEST_F(DbConnection, MissingDatabaseKeepsTheConnectionOpenAndStopClosesSilently)
{
    ModalWatcher watcher;
    openConnection(*window, *server, QStringLiteral("no_such_base"));

    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(watcher.boxes[0].text,
              QStringLiteral("Erreur \"Unknown database 'no_such_base'") + kBaseAdvice);
    EXPECT_FALSE(watcher.boxes[0].hasIcon);
    EXPECT_TRUE(window->EstConnecte);
    EXPECT_EQ(window->sbConnected->text(), QStringLiteral("Stop"));

    window->sbConnected->click();
    waitForConsole(*window);
    EXPECT_EQ(watcher.boxes.size(), 1);
    EXPECT_FALSE(window->EstConnecte);
    EXPECT_EQ(window->sbConnected->text(), QStringLiteral("Go"));
}

TEST_F(DbConnection, EmptyDatabaseNameIsStillSelected)
{
    ModalWatcher watcher;
    openConnection(*window, *server, QString());
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(watcher.boxes[0].text, QStringLiteral("Erreur \"No database selected") + kBaseAdvice);
    EXPECT_EQ(window->sbConnected->text(), QStringLiteral("Stop"));
}

TEST_F(DbConnection, EmptyFieldsGoToTheLibraryAsEmptyStrings)
{
    // The library's rules: an empty host is the local socket, an empty user is
    // the login name, an empty password is no password.
    fill(QString(), QString(), QString(), QString());
    ModalWatcher watcher;
    window->sbConnected->click();
    waitForConsole(*window);
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(errorTextOf(watcher.boxes[0].text, kHostAdvice),
              QStringLiteral("Access denied for user 'root'@'localhost' (using password: NO)"));
    EXPECT_EQ(window->sbConnected->text(), QStringLiteral("Go"));
}

TEST_F(DbConnection, RightCredentialsOpenWithoutMessage)
{
    ModalWatcher watcher;
    openConnection(*window, *server);
    EXPECT_TRUE(watcher.boxes.isEmpty());
    EXPECT_TRUE(window->EstConnecte);
    EXPECT_EQ(window->sbConnected->text(), QStringLiteral("Stop"));
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
    window->sbConnected->click();
    waitForConsole(*window);

    EXPECT_EQ(busyWhileOpen, QList<bool>{true});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
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

} // namespace

ONDREL_QT_TEST_MAIN
