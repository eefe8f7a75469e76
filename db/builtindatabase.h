#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QLockFile;
class QTimer;

/**
 * Where Ondrel's own MariaDB server keeps its data and its socket:
 * `$XDG_DATA_HOME/ondrel/mariadb` (~/.local/share/ondrel/mariadb), and
 * `$XDG_RUNTIME_DIR/ondrel/mariadb.sock` in a folder of mode 0700, so that only
 * this user can open the socket.
 */
struct BuiltinDatabasePaths
{
    QString dataFolder;
    QString runtimeFolder;
    QString socket;

    static BuiltinDatabasePaths standard();
    static BuiltinDatabasePaths under(const QString &dataFolder, const QString &runtimeFolder);
};

/** The path of mariadbd (the PATH, then /usr/sbin and /usr/local/sbin); empty when there is none. */
QString mariadbdExecutable();
/** The message shown when mariadbd cannot be found, naming the Debian package that brings it. */
QString mariadbMissingMessage();

/**
 * What the settings file keeps of the box "Base intégrée": "1" ticked, "0" unticked by
 * the user's choice, and "" (no choice: the start-up default applies again) when it is
 * unticked while no server is installed, so that the box is offered once one is.
 */
QString builtinDatabaseSetting(bool ticked, bool serverInstalled);

/**
 * The name of the database a new data folder is given: the site folder's name
 * with what SQL would need to quote made plain (accents dropped, anything but
 * letters, digits and "_" turned into "_"), at most 64 characters; "site" when
 * nothing is left of it or it is all digits.
 */
QString firstDatabaseName(const QString &siteFolder);

/** The major, minor and patch numbers at the start of a version text ("10.11.19-MariaDB…"). */
struct ServerVersion
{
    int major = 0;
    int minor = 0;
    int patch = 0;
};
std::optional<ServerVersion> serverVersion(const QString &text);
/**
 * Whether a data folder last used by `dataVersion` (its mysql_upgrade_info)
 * comes from a newer series than the installed `serverVersion`, which could
 * then damage it. The patch level does not count: a series keeps its format.
 */
bool dataFolderIsNewer(const QString &dataVersion, const QString &serverVersion);

/** Whether a page's text may reach MySQL (mysqli, PDO): its preview waits for Ondrel's own server. */
bool pageUsesDatabase(const QString &text);

/**
 * Ondrel's own MariaDB server, so that a new user's pages and console have a
 * database with nothing to set up.
 *
 * start() returns at once. The data folder is made with mariadb-install-db at
 * first use (into a folder beside it, renamed into place when whole, so an
 * interrupted first use leaves nothing half made), with root and an empty
 * password; a first database is created then. mariadbd runs with
 * --skip-networking (no TCP port at all) and its socket in the runtime folder,
 * in a process group of its own with a parent-death signal, as Ondrel's PHP
 * server: it never outlives Ondrel. stop() shuts it down cleanly (SIGTERM and a
 * wait), as does the destructor.
 *
 * When another Ondrel window already serves the data folder, its server is used
 * through the socket (shared(): this object then never stops it). A lock file
 * in the runtime folder keeps two windows from starting two servers at once.
 *
 * Outcomes come as signals: ready() once the socket answers, failed() with a
 * French message (mariadbd missing, a data folder of a newer server, one that
 * is not a data folder, a server that would not start), crashed() when a
 * server that was ready ends by itself. Nothing is ever deleted from a data
 * folder that exists.
 */
class BuiltinDatabase : public QObject
{
    Q_OBJECT
public:
    enum class State { Stopped, Starting, Ready, Failed, Crashed };

    explicit BuiltinDatabase(QObject *parent = nullptr);
    BuiltinDatabase(const BuiltinDatabasePaths &paths, QObject *parent = nullptr);
    ~BuiltinDatabase() override;

    const BuiltinDatabasePaths &paths() const { return m_paths; }
    State state() const { return m_state; }
    bool isReady() const { return m_state == State::Ready; }
    bool isStarting() const { return m_state == State::Starting; }
    /** Another window's server answers on the socket; this object did not start it. */
    bool shared() const { return m_shared; }
    /** The process id of the server this object runs; 0 when it runs none. */
    qint64 processId() const;

    /**
     * Starts the server unless it is ready or starting. `firstDatabase` is
     * created when the data folder is made now. False, and failed() not sent,
     * when mariadbd is not installed (see mariadbMissingMessage()).
     */
    bool start(const QString &firstDatabase = QStringLiteral("site"));
    /** Shuts the server down (SIGTERM, then SIGKILL after a wait) when this object runs it. */
    void stop();

    /** Whether a server answers on the socket now (a quick connect, nothing sent). */
    bool socketAnswers() const;

Q_SIGNALS:
    /** A step of a start that takes time ("Création de la base intégrée…"). */
    void progress(const QString &text);
    /** The server answers. `createdDatabase` is the database made with a new data folder, else empty. */
    void ready(const QString &createdDatabase);
    void failed(const QString &message);
    /** The server this object ran ended without being asked to. */
    void crashed(const QString &message);

private:
    void tryLock();
    void afterLock();
    void checkVersion();
    void install();
    void installFinished(int exitCode, QProcess::ExitStatus status);
    void launch();
    void readServerOutput();
    void serverFinished();
    void fail(const QString &message);
    void becomeReady();
    void releaseLock();
    QString lastServerLines() const;

    BuiltinDatabasePaths m_paths;
    State m_state = State::Stopped;
    bool m_shared = false;
    bool m_stopping = false;
    bool m_firstUse = false;
    QString m_mariadbd;
    QString m_firstDatabase;
    QString m_initFile;
    QProcess m_helper; // mariadbd --version, mariadb-install-db
    QProcess m_server;
    QByteArray m_pending;
    QStringList m_lastLines; // the server's last lines, for the message of a failure
    std::unique_ptr<QLockFile> m_lock;
    QTimer *m_lockRetry = nullptr;
    QTimer *m_startTimer = nullptr;
    int m_lockAttempts = 0;
};
