#pragma once

#include "base/errors.h"
#include "db/mysqlclient.h"

#include <QWidget>

#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QSplitter;
class QTabBar;
class QTimer;

class BuiltinDatabase;
class ConsolePassword;
class DbConsole;
class Edit;
class Panel;
class SchemaTree;
class SimpleComboBox;
class SpeedButton;
class SqlExport;
class SettingsRegistry;
class SqlImport;
class StringGrid;
struct ClientAccess;

/**
 * The page "Base de donnée" (object name "TabSheet4"): the connection fields and
 * "Go", the query box with its history, the result sets and their tabs, the
 * grid, the schema tree, the refresh, the import and export of a whole database,
 * "Base intégrée" and the connection's TLS, around the one `DbConsole`.
 *
 * The page owns the console, the password's keeper and the import and export
 * jobs; Ondrel's own MariaDB is given (the window owns it, as the preview and the
 * debugger start it too). It needs no window: given a server, it connects, runs
 * statements and shows their outcome on its own.
 *
 * An OndrelError that escapes one of its handlers is shown in the generic error
 * box, and the page goes on with the next event.
 */
class DatabasePage : public QWidget
{
    Q_OBJECT
public:
    /** `database` is not owned, and must outlive the page. */
    explicit DatabasePage(BuiltinDatabase *database, QWidget *parent = nullptr);
    ~DatabasePage() override;

    static constexpr int kDefaultConnectTimeout = 10; // seconds
    int DelaiConnexion = kDefaultConnectTimeout; // connect time-out in seconds, [Mysql] "DelaiConnexion"

    /** Declares the page's keys of the settings file, [Mysql], into `registry`. */
    void declareSettings(SettingsRegistry &registry);

    Panel *Panel6 = nullptr;
    QLabel *Label8 = nullptr, *Label9 = nullptr, *Label10 = nullptr, *Label11 = nullptr;
    Edit *host = nullptr, *user = nullptr, *pass = nullptr, *base = nullptr;
    SpeedButton *sbConnected = nullptr;
    SimpleComboBox *cb = nullptr;
    QCheckBox *cbTempo = nullptr;
    Edit *tempo = nullptr;
    QCheckBox *cbBaseIntegree = nullptr; // "Base intégrée": Ondrel's own MariaDB for "localhost"
    SpeedButton *sbRedemarrer = nullptr; // shown when Ondrel's own MariaDB stopped by itself
    SpeedButton *sbImporter = nullptr;    // "Importer un fichier SQL…"
    SpeedButton *sbExporterBase = nullptr; // "Exporter la base…"
    SpeedButton *sbAnnulerImport = nullptr; // shown while an import runs
    // "Chiffrer la connexion" ([Mysql] "Chiffrement", "FichierCA"): TLS to the server.
    QLabel *lChiffrement = nullptr;
    QComboBox *cbChiffrement = nullptr; // in the order of TlsMode
    Edit *eFichierCA = nullptr;         // the CA file of "certificat vérifié"
    SpeedButton *sbFichierCA = nullptr; // "…": choose the CA file
    QLabel *mysqlErr = nullptr;
    SpeedButton *sbAnnuler = nullptr; // shown while a statement runs
    SpeedButton *sbExport = nullptr;
    QTabBar *tbResultats = nullptr; // above sg: one tab per result set, when a statement gave several
    StringGrid *sg = nullptr;
    QSplitter *spSchema = nullptr; // the schema tree beside the grid, folded away or not
    SchemaTree *tvSchema = nullptr;
    QTimer *TimerEnCours = nullptr; // counts the running statement's time in mysqlErr
    QTimer *Timer1 = nullptr;       // the console's refresh timer

    /** The database console: the connection, the running statement and the refresh. */
    DbConsole *console() const { return m_console; }
    /** Where "Pass" is kept: the session's keyring, or the settings file when there is none. */
    ConsolePassword *consolePassword() const { return m_password; }
    SqlImport *sqlImport() const { return m_import; }
    SqlExport *sqlExport() const { return m_export; }

    /** The query history, as the query box lists it (first line first). */
    QStringList history() const;
    /** Replaces the query history. */
    void setHistory(const QStringList &statements);

    /** Whether "Go" and the pages reach Ondrel's own server: the box is ticked and Host is "localhost". */
    bool usesBuiltinDatabase() const;
    /** With the box ticked (and Host "localhost"): starts Ondrel's own server in the background. */
    void startBuiltinDatabase();
    /** At launch: startBuiltinDatabase() when the data folder exists already. */
    void startBuiltinDatabaseAtLaunch();
    /**
     * What a new data folder's first database is named after: the folder
     * "Racine" names when it is set, else the folder of the edited file.
     */
    void setSite(const QString &racine, const QString &editedFile);

    /** Imports the dump `path` (.sql, .sql.gz) into the database of the fields; the status tells the outcome. */
    void importSqlFile(const QString &path);
    /** Writes the database of the fields to `path` with mariadb-dump; the status tells the outcome. */
    void exportDatabase(const QString &path);

    /** Shows `text` on the page's status line (mysqlErr). */
    void showStatus(const QString &text);

    // Handlers.
    void sbConnectedClick();
    void Panel6Resize();
    void cbKeyDown(int key);
    void cbListKeyDown(int key);
    void cbTempoClick();
    void sbAnnulerClick();
    void sbExportClick();
    void TimerEnCoursTimer();
    void tbResultatsChange(int index);
    void cbChiffrementChange();
    void sbFichierCAClick();
    void cbBaseIntegreeClick();
    void sbRedemarrerClick();
    void sbImporterClick();
    void sbExporterBaseClick();
    void sbAnnulerImportClick();

private:
    void buildControls();
    void bindEvents();
    /** Runs one handler: an error that escapes it is shown in the generic error box. */
    template <typename Handler>
    void guard(Handler &&handler);

    // What the console reports.
    void consoleConnected(const ConnectOutcome &outcome);
    void statementFinished(const StatementOutcome &outcome);
    void connectionLost();
    void cancelFailed(const QString &error, bool reachable);
    // What Ondrel's own MariaDB reports.
    void databaseReady(const QString &createdDatabase);
    void databaseFailed(const QString &message);
    void databaseCrashed(const QString &message);

    /** Opens the console with the fields as typed, through `socket` when it is not empty. */
    void openConsole(const QByteArray &socket);
    void showStatementRunning(bool running);
    void showResultSets(const StatementOutcome &outcome);
    /** What the client programs are given: the fields, and the socket of Ondrel's own server. */
    ClientAccess clientAccess();
    /**
     * The steps an import and an export share before they run: one at a time,
     * the fields' access, the job started and its button greyed until it ends.
     * Throws OndrelError with the reason when it cannot start.
     */
    template <typename Job>
    ClientAccess startJob(Job *job, const QString &path, SpeedButton *button, const QString &alreadyRunning);
    /** The steps an import and an export share once over: the button back, the outcome said. */
    void jobFinished(SpeedButton *button, bool ok, const QString &message);

    DbConsole *m_console = nullptr;
    BuiltinDatabase *m_database = nullptr; // not owned
    ConsolePassword *m_password = nullptr;
    SqlImport *m_import = nullptr;
    SqlExport *m_export = nullptr;
    QString m_racine, m_editedFile;
    QString siteFolder() const;
    bool m_connectWhenDatabaseReady = false; // "Go" waits for Ondrel's own server
    bool m_toldDatabaseMissing = false;      // mariadbd's absence is said once per run
    /** What the running statement's status adds to its time (a refused Enter, a failed cancel). */
    QString m_runningNote;
    /** The result sets of the last statement that gave several, shown one at a time by tbResultats. */
    std::vector<ResultSet> m_resultSets;
};

template <typename Handler>
void DatabasePage::guard(Handler &&handler)
{
    try {
        handler();
    } catch (const OndrelError &error) {
        showErrorBox(this, error.message());
    } catch (const std::exception &error) {
        showErrorBox(this, QString::fromLocal8Bit(error.what()));
    }
}
