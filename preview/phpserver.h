#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>

class QTemporaryDir;

/** What a line of PHP's output is about, for the server log. */
enum class ServerLineKind {
    Request, // "[date] 127.0.0.1:PORT [200]: GET /page.php?test=1"
    Error,   // a PHP error, warning or notice, and the lines of its stack trace
    Other,   // anything else (the start line, php's own messages)
    Noise,   // "Accepted" / "Closing" lines of a connection: not kept
};

/**
 * The kind of one line of `php -S` output. A line that does not start with a
 * "[date]" continues the message before it (a stack trace), so it takes
 * `previous` as its kind.
 */
ServerLineKind serverLineKind(const QString &line, ServerLineKind previous);

/** Where a PHP message places its error: the file and the 1-based line; line 0 when it names none. */
struct PhpErrorPlace
{
    QString file;
    int line = 0;
};
/** "… in /path/page.php on line 12" or "… in /path/page.php:12" (uncaught exceptions). */
PhpErrorPlace phpErrorPlace(const QString &text);

/**
 * The outcome of `php -l`: clean, or the first syntax error with its 1-based line
 * and PHP's message without the "PHP Parse error:" prefix or the place.
 */
struct LintResult
{
    bool clean = true;
    int line = 0;
    QString message;
};
LintResult lintResult(int exitCode, const QByteArray &output);

/** A log line of a server with workers without its "[PID] " prefix; other lines as they are. */
QString withoutWorkerPrefix(const QString &line);

/** The path of php on the PATH; empty when there is none. */
QString phpExecutable();

/**
 * Ondrel's launcher of php (`ondrel-php`, launcher/ondrel-php.cpp), which makes
 * everything php and its pages start die with Ondrel: beside the code that runs,
 * else where the package installs it. Empty when there is none.
 */
QString phpLauncher();

/** The message shown when php cannot be found, naming the Debian package that brings it. */
QString phpMissingMessage();

/**
 * The PHP text of the router that Ondrel's server runs before every request
 * (`php -S … routeur.php`). It answers 403 with a short French page to any
 * request that does not carry `secret` in the header kServerKeyHeader, whose
 * Host is not 127.0.0.1:`port` or localhost:`port`, or whose path (decoded,
 * path info included) has a segment starting with "." (.ssh, .git, .env, "..").
 * Every other request goes on to PHP's own handling (the router returns false),
 * so static files and pages are served exactly as without it; the key is taken
 * out of the page's $_SERVER first. `secret` must be made of hex digits.
 */
QByteArray serverRouterScript(int port, const QByteArray &secret);

/**
 * Removes from `tempFolder` the folders of this user's servers that no live
 * server holds (each holds a lock in its own while it lives): a server killed
 * with SIGKILL leaves its key behind. Returns how many went. Another account's
 * folder, and anything that is not a folder, are left alone.
 */
int removeLeftRouterFolders(const QString &tempFolder);

/** The request header that carries the server's key ("X-Ondrel-Jeton"). */
inline constexpr char kServerKeyHeader[] = "X-Ondrel-Jeton";

/**
 * Ondrel's own PHP web server: `php -S 127.0.0.1:PORT -t ROOT routeur.php` with
 * every error shown in the page and logged. It answers only a client that sends
 * key() in the header kServerKeyHeader (the preview browser: see
 * serverRouterScript()); the key is made afresh at every start of php and the
 * router lives in a folder only this user may read. The port is a free loopback port picked once
 * and kept across restarts; when php cannot bind it (another program took it),
 * the server is started again on a new one and originChanged() tells the URL.
 *
 * start() returns at once; ready() follows when the server accepts connections,
 * or failed() with a French message. php runs under Ondrel's launcher
 * (phpLauncher()), in a process group of its own that the launcher kills when
 * php ends, when it is stopped, or when Ondrel dies (a parent-death signal), so
 * neither php nor what its pages started outlives Ondrel or keeps the port.
 *
 * Every line php writes (requests, PHP warnings and errors) is kept, the last
 * kLogLines of them, and announced by logLine().
 */
/** What php read at its start: its php.ini, the folders it scans for more and the files in them. */
struct PhpConfiguration
{
    QString disabledFunctions; // php.ini's list, and the functions the router keeps for itself
    QStringList files;
    QByteArray stamp; // configurationStamp(files) when php started
};

/** The dates of `files` (of a folder: when a file came or went), as one value to compare. */
QByteArray configurationStamp(const QStringList &files);

class BuiltinServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int kLogLines = 1000;
    /**
     * php answers this many requests at once (PHP_CLI_SERVER_WORKERS): a page
     * paused in the debugger or sleeping does not hold up its styles, scripts
     * and AJAX calls. Each worker writes "[PID] " before its log lines; the log
     * keeps them without it.
     */
    static constexpr int kWorkers = 4;

    explicit BuiltinServer(QObject *parent = nullptr);
    ~BuiltinServer() override;

    /**
     * Makes the server serve `root`: nothing when it already does (or is starting
     * to) and PHP's configuration files are as they were at its start; otherwise
     * stops it and starts it on `root`, saying so in the log when only the
     * configuration changed. False, and nothing
     * started, when php is not on the PATH (see phpMissingMessage()).
     */
    bool start(const QString &root);
    /** Stops php and the processes it started; waits for them to end. */
    void stop();

    /**
     * php arguments added to the server's own for the next start (a running
     * server is not restarted), and variables added to its environment. By
     * default they keep an Xdebug that php.ini loads idle (xdebug.mode=off).
     */
    void setExtraArguments(const QStringList &arguments) { m_extraArguments = arguments; }
    void setExtraEnvironment(const QString &name, const QString &value) { m_extraEnvironment.insert(name, value); }
    /**
     * The socket that mysqli and PDO use for host "localhost" (Ondrel's own
     * database); empty for PHP's default. A running server that was started
     * with another one is restarted by the next start().
     */
    void setDatabaseSocket(const QString &socket) { m_databaseSocket = socket; }
    QString databaseSocket() const { return m_databaseSocket; }

    /** Whether the server accepts connections now. */
    bool isReady() const { return m_ready; }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    /** The port the server listens on, or will try first. */
    int port();
    /** "http://127.0.0.1:PORT" with no final "/". */
    QString origin();
    QString root() const { return m_root; }
    qint64 processId() const { return m_process.processId(); }
    /** The key of the running server (hex digits), made afresh at every start; empty before the first. */
    QByteArray key() const { return m_key; }
    /** Adds a line of Ondrel's own to the log ("Journal du serveur"). */
    void note(const QString &text);

    struct LogLine
    {
        QString text;
        ServerLineKind kind;
    };
    const std::deque<LogLine> &log() const { return m_log; }

Q_SIGNALS:
    void ready();
    void failed(const QString &message);
    void originChanged(const QString &oldOrigin, const QString &newOrigin);
    void logLine(const QString &text, ServerLineKind kind);

private:
    void launch();
    void readOutput();
    void addLine(const QString &line);
    void onFinished();
    void onStartTimeout();

    bool writeRouter();

    QProcess m_process;
    QStringList m_extraArguments;
    QHash<QString, QString> m_extraEnvironment;
    QString m_databaseSocket;
    QString m_launchedSocket; // the database socket the running php was given
    std::unique_ptr<QTemporaryDir> m_routerDir;
    int m_routerLock = -1; // held while the folder is this server's
    QByteArray m_key;
    QString m_root;
    QString m_php;
    PhpConfiguration m_configuration;
    int m_port = 0;
    int m_attempts = 0;
    bool m_ready = false;
    bool m_bindFailed = false;
    bool m_stopping = false;
    QByteArray m_pending;
    QString m_lastMessage;
    ServerLineKind m_lastKind = ServerLineKind::Other;
    std::deque<LogLine> m_log;
    class QTimer *m_startTimer = nullptr;
};

/**
 * `php -l` on one file, in a process of its own so the window never waits for
 * it. A check started while another runs makes the older one's result stale:
 * only the last check reports.
 */
class PhpLint : public QObject
{
    Q_OBJECT
public:
    explicit PhpLint(QObject *parent = nullptr);
    ~PhpLint() override;
    /** Starts checking `path`; nothing happens when php cannot be found. */
    void check(const QString &path);

Q_SIGNALS:
    void checked(const QString &path, const LintResult &result);

private:
    QProcess *m_current = nullptr;
};
