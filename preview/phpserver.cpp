#include "preview/phpserver.h"

#include "debug/xdebugsetup.h"
#include "base/childprocess.h"
#include "base/ports.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <dlfcn.h>
#include <unistd.h>

#ifndef ONDREL_PHP_LAUNCHER
#define ONDREL_PHP_LAUNCHER ""
#endif

namespace {

constexpr int kBindAttempts = 5;
constexpr int kStartTimeoutMs = 10000;
constexpr int kStopWaitMs = 2000;
constexpr int kKeyBytes = 32;

// Runs before every request. It must stay quick (it is paid on each one) and
// leave the request as it found it when it lets it through: returning false
// hands it to php's own handling, with SCRIPT_NAME, PATH_INFO and the rest as
// without a router. The key header is unset first, so no page sees it in
// $_SERVER. Paths are decoded as often as they hold escapes ("%252e"), so no
// encoding hides a dot.
constexpr char kRouterTemplate[] = R"php(<?php
// Routeur du serveur PHP intégré d'Ondrel, écrit à chaque démarrage : n'y touchez pas.
$ondrelRefus = (static function (): ?string {
    $host = strtolower($_SERVER['HTTP_HOST'] ?? '');
    if ($host !== '127.0.0.1:@PORT@' && $host !== 'localhost:@PORT@')
        return "Nom d'hôte refusé : ce serveur ne répond qu'aux adresses 127.0.0.1:@PORT@ et localhost:@PORT@.";
    if (!hash_equals('@KEY@', (string) ($_SERVER['HTTP_X_ONDREL_JETON'] ?? '')))
        return "Ce serveur PHP est celui de l'aperçu d'Ondrel : il ne répond qu'au navigateur intégré "
            . "de la fenêtre qui l'a démarré. Pour voir la page ailleurs, servez-la avec votre propre serveur web.";
    $path = explode('?', $_SERVER['REQUEST_URI'] ?? '', 2)[0];
    if ($path === '' || $path[0] !== '/')
        return 'Adresse de requête refusée.';
    for ($i = 0; ; ++$i) {
        if ($i === 8 || str_contains($path, "\0") || preg_match('~(?:^|/)\.~', $path))
            return 'Les fichiers et dossiers cachés (dont le nom commence par un point) ne sont jamais servis.';
        $decoded = rawurldecode($path);
        if ($decoded === $path)
            return null;
        $path = $decoded;
    }
})();
unset($_SERVER['HTTP_X_ONDREL_JETON']);
// php's own getallheaders() reads the request itself, key included: the server runs with it turned
// off (disable_functions), and these give the headers from $_SERVER, where the key is gone. Names
// come back in the usual capitals ("Accept-Language"), which HTTP does not tell apart.
if (!function_exists('getallheaders')) {
    function getallheaders(): array
    {
        $headers = [];
        foreach ($_SERVER as $name => $value)
            if (is_string($name) && str_starts_with($name, 'HTTP_'))
                $headers[str_replace(' ', '-', ucwords(strtolower(strtr(substr($name, 5), '_', ' '))))] = $value;
        return $headers;
    }
}
if (!function_exists('apache_request_headers')) {
    function apache_request_headers(): array
    {
        return getallheaders();
    }
}
if ($ondrelRefus === null) {
    unset($ondrelRefus);
    return false;
}
// php logs only the requests it handles itself: the refusal goes to the log as one of them would.
error_log(sprintf('%s:%s [403]: %s %s - %s', $_SERVER['REMOTE_ADDR'] ?? '?', $_SERVER['REMOTE_PORT'] ?? '?',
    $_SERVER['REQUEST_METHOD'] ?? '?', preg_replace('~[^\x21-\x7e]~', '?', $_SERVER['REQUEST_URI'] ?? ''), $ondrelRefus));
http_response_code(403);
header('Content-Type: text/html; charset=utf-8');
header('Cache-Control: no-store');
echo '<!DOCTYPE html><html lang="fr"><head><meta charset="utf-8"><title>Accès refusé</title></head>',
    '<body><h1>Accès refusé</h1><p>', htmlspecialchars($ondrelRefus, ENT_NOQUOTES), '</p></body></html>';
return true;
)php";

} // namespace

QByteArray configurationStamp(const QStringList &files)
{
    // A folder's date moves when a file is added to it or taken out (a module
    // enabled), a file's when it is edited; stat() follows conf.d's links.
    QByteArray stamp;
    for (const QString &file : files) {
        struct stat st;
        if (::stat(QFile::encodeName(file).constData(), &st) == 0)
            stamp += QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' + QByteArray::number(qint64(st.st_mtim.tv_nsec));
        stamp += ',';
    }
    return stamp;
}

namespace {

/**
 * Asks `php` what its configuration is, at each start of the server: the functions
 * it turns off, to which the two that read the request's headers whole are added
 * (the router gives pages its own, without the key's header), and the files read.
 */
PhpConfiguration probeConfiguration(const QString &php, const QProcessEnvironment &environment)
{
    // One line with the list php.ini disables, then one path per line: the php.ini
    // read, the folders scanned for more (PHP_INI_SCAN_DIR, an empty entry being the
    // built-in folder) and the files read in them.
    static const QString script = QStringLiteral(
        "echo ini_get('disable_functions'), \"\\n\", php_ini_loaded_file() ?: '', \"\\n\";"
        "$d = getenv('PHP_INI_SCAN_DIR');"
        "foreach ($d === false ? [PHP_CONFIG_FILE_SCAN_DIR] : explode(PATH_SEPARATOR, $d) as $f)"
        "  echo $f === '' ? PHP_CONFIG_FILE_SCAN_DIR : $f, \"\\n\";"
        "foreach (explode(',', php_ini_scanned_files() ?: '') as $f) echo trim($f), \"\\n\";");
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(php, xdebugOffArguments() + QStringList{QStringLiteral("-r"), script});
    QStringList lines;
    if (probe.waitForFinished(5000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
        lines = QString::fromUtf8(probe.readAllStandardOutput()).split(u'\n');
    PhpConfiguration configuration;
    QStringList names = lines.value(0).trimmed().split(QLatin1Char(','), Qt::SkipEmptyParts);
    names << QStringLiteral("getallheaders") << QStringLiteral("apache_request_headers");
    configuration.disabledFunctions = names.join(QLatin1Char(','));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!lines[i].isEmpty())
            configuration.files.append(lines[i]);
    }
    configuration.stamp = configurationStamp(configuration.files);
    return configuration;
}

/** The text after "[date] ", or the whole line when it has no such prefix. */
QStringView afterDate(const QString &line)
{
    if (!line.startsWith(u'['))
        return line;
    const qsizetype end = line.indexOf(QLatin1String("] "));
    return end < 0 ? QStringView(line) : QStringView(line).mid(end + 2);
}

} // namespace

ServerLineKind serverLineKind(const QString &line, ServerLineKind previous)
{
    if (!line.startsWith(u'['))
        return previous == ServerLineKind::Noise ? ServerLineKind::Other : previous;
    const QStringView rest = afterDate(line);
    // "PHP Warning:  …", "PHP Parse error:  …", and Xdebug's trace lines after them
    // ("PHP   1. {main}() /a.php:0"); not "PHP 8.2.1 Development Server …".
    if (rest.startsWith(QLatin1String("PHP ")) && rest.size() > 4
        && (rest.at(4).isLetter() || (rest.at(4) == u' ' && previous == ServerLineKind::Error)))
        return ServerLineKind::Error;
    static const QRegularExpression request(QStringLiteral(R"(^\S+ \[\d{3}\]: )"));
    if (request.match(rest.toString()).hasMatch())
        return ServerLineKind::Request;
    if (rest.endsWith(QLatin1String(" Accepted")) || rest.endsWith(QLatin1String(" Closing")))
        return ServerLineKind::Noise;
    return ServerLineKind::Other;
}

PhpErrorPlace phpErrorPlace(const QString &text)
{
    static const QRegularExpression onLine(QStringLiteral(R"( in (.+) on line (\d+))"));
    static const QRegularExpression colon(QStringLiteral(R"( in (.+?):(\d+)\s*$)"));
    QRegularExpressionMatch match = onLine.match(text);
    if (!match.hasMatch())
        match = colon.match(text);
    if (!match.hasMatch())
        return {};
    return {match.captured(1), match.captured(2).toInt()};
}

LintResult lintResult(int exitCode, const QByteArray &output)
{
    if (exitCode == 0)
        return {};
    const QString text = QString::fromUtf8(output);
    static const QRegularExpression error(
        QStringLiteral(R"((?:PHP )?(?:Parse|Fatal) error:\s*(.+?) in (.+) on line (\d+))"));
    const QRegularExpressionMatch match = error.match(text);
    if (match.hasMatch())
        return {false, match.captured(3).toInt(), match.captured(1).trimmed()};
    for (const QString &line : text.split(u'\n')) {
        if (!line.trimmed().isEmpty())
            return {false, 0, line.trimmed()};
    }
    return {false, 0, QStringLiteral("php -l a échoué (code %1)").arg(exitCode)};
}

QByteArray serverRouterScript(int port, const QByteArray &secret)
{
    QByteArray script(kRouterTemplate);
    script.replace("@PORT@", QByteArray::number(port));
    script.replace("@KEY@", secret);
    return script;
}

QString phpExecutable()
{
    return QStandardPaths::findExecutable(QStringLiteral("php"));
}

QString phpLauncher()
{
    // Beside the code that runs (the window module, or a program of the build
    // folder), else where the package installs it; never from the PATH.
    QStringList places;
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&phpLauncher), &info) && info.dli_fname)
        places << QFileInfo(QFile::decodeName(info.dli_fname)).absoluteDir().filePath(QStringLiteral("ondrel-php"));
    places << QStringLiteral(ONDREL_PHP_LAUNCHER);
    for (const QString &place : std::as_const(places)) {
        const QFileInfo file(place);
        if (!place.isEmpty() && file.isFile() && file.isExecutable())
            return file.absoluteFilePath();
    }
    return {};
}

QString phpMissingMessage()
{
    return QStringLiteral("PHP introuvable : installez le paquet php-cli");
}

QString withoutWorkerPrefix(const QString &line)
{
    static const QRegularExpression prefix(QStringLiteral(R"(^\[\d+\] (?=\[))"));
    const QRegularExpressionMatch match = prefix.match(line);
    return match.hasMatch() ? line.mid(match.capturedLength()) : line;
}

BuiltinServer::BuiltinServer(QObject *parent)
    : QObject(parent)
    , m_extraArguments(xdebugOffArguments())
    , m_startTimer(new QTimer(this))
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_startTimer->setSingleShot(true);
    m_startTimer->setInterval(kStartTimeoutMs);
    connect(m_startTimer, &QTimer::timeout, this, &BuiltinServer::onStartTimeout);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &BuiltinServer::readOutput);
    connect(&m_process, &QProcess::finished, this, &BuiltinServer::onFinished);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && !m_stopping) {
            m_startTimer->stop();
            Q_EMIT failed(QStringLiteral("Le serveur PHP intégré n'a pas démarré : %1")
                              .arg(m_process.errorString()));
        }
    });

    // The launcher (or php, without one) goes into a process group of its own,
    // and the kernel kills it when Ondrel dies, however that happens, until the
    // launcher takes over.
    tieToOndrel(m_process);
}

BuiltinServer::~BuiltinServer()
{
    // What php says while it stops reaches nobody: the window may be half gone.
    m_process.disconnect(this);
    stop();
    m_routerDir.reset();
    if (m_routerLock >= 0)
        ::close(m_routerLock);
}

int BuiltinServer::port()
{
    if (m_port == 0)
        m_port = pickLoopbackPort();
    return m_port;
}

QString BuiltinServer::origin()
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

bool BuiltinServer::start(const QString &root)
{
    const bool sameServer = isRunning() && root == m_root && m_launchedSocket == m_databaseSocket;
    if (sameServer && configurationStamp(m_configuration.files) == m_configuration.stamp)
        return true;
    if (sameServer)
        note(QStringLiteral("La configuration de PHP a changé (php.ini ou conf.d) : le serveur redémarre."));
    m_php = phpExecutable();
    if (m_php.isEmpty())
        return false;
    stop();
    m_root = root;
    m_attempts = 0;
    launch();
    return true;
}

namespace {

const QString kRouterFolderPrefix = QStringLiteral("ondrel-apercu-");
const QString kRouterLockName = QStringLiteral("verrou");

} // namespace

int removeLeftRouterFolders(const QString &tempFolder)
{
    int removed = 0;
    const QDir folder(tempFolder);
    for (const QString &name : folder.entryList({kRouterFolderPrefix + u'*'}, QDir::Dirs | QDir::Hidden | QDir::System)) {
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
            continue;
        const int lock = ::open((path + '/' + QFile::encodeName(kRouterLockName)).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (lock < 0 && errno != ENOENT)
            continue;
        // No lock file: a folder made before its lock, by a server killed in between,
        // unless it was made a moment ago and its lock is on its way.
        const bool young = st.st_mtime > ::time(nullptr) - 60;
        const bool free = lock < 0 ? !young : ::flock(lock, LOCK_EX | LOCK_NB) == 0;
        if (free && QDir(QFile::decodeName(path)).removeRecursively())
            ++removed;
        if (lock >= 0)
            ::close(lock);
    }
    return removed;
}

bool BuiltinServer::writeRouter()
{
    // A folder of mode 0700, made once: no other account reads the key in it. It holds
    // a lock while this server lives, so that a later start removes it after a kill -9.
    if (!m_routerDir) {
        removeLeftRouterFolders(QDir::tempPath());
        m_routerDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + u'/' + kRouterFolderPrefix + QStringLiteral("XXXXXX"));
        if (!m_routerDir->isValid())
            return false;
        m_routerLock = ::open(QFile::encodeName(m_routerDir->filePath(kRouterLockName)).constData(),
                              O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_routerLock < 0 || ::flock(m_routerLock, LOCK_EX | LOCK_NB) != 0)
            return false;
    }
    QByteArray bytes(kKeyBytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), kKeyBytes / 4);
    m_key = bytes.toHex();
    QFile router(m_routerDir->filePath(QStringLiteral("routeur.php")));
    const QByteArray script = serverRouterScript(port(), m_key);
    // PHP keeps no compiled copy of a script younger than opcache.file_update_protection
    // (2 s): a router dated now would be compiled again for each request of the first
    // seconds, the first F9's among them. Each start is a new php with an empty cache,
    // so an older date never lets it keep a router of before.
    return router.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && router.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        && router.write(script) == script.size() && router.flush()
        && router.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
}

void BuiltinServer::launch()
{
    m_ready = false;
    m_bindFailed = false;
    m_pending.clear();
    m_lastMessage.clear();
    ++m_attempts;
    if (!writeRouter()) {
        Q_EMIT failed(QStringLiteral("Le serveur PHP intégré n'a pas démarré : son routeur ne peut pas être écrit dans %1")
                          .arg(m_routerDir ? m_routerDir->path() : QDir::tempPath()));
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PHP_CLI_SERVER_WORKERS"), QString::number(kWorkers));
    for (auto it = m_extraEnvironment.cbegin(); it != m_extraEnvironment.cend(); ++it)
        environment.insert(it.key(), it.value());
    // What php.ini says now, and the dates that tell when it says something else.
    m_configuration = probeConfiguration(m_php, environment);
    QStringList database;
    if (!m_databaseSocket.isEmpty()) // mysqli_connect('localhost', …) and new PDO('mysql:host=localhost…') reach it
        database << QStringLiteral("-d") << QStringLiteral("mysqli.default_socket=") + m_databaseSocket
                 << QStringLiteral("-d") << QStringLiteral("pdo_mysql.default_socket=") + m_databaseSocket;
    m_launchedSocket = m_databaseSocket;
    QStringList arguments{QStringLiteral("-S"), QStringLiteral("127.0.0.1:%1").arg(port()),
                            QStringLiteral("-t"), m_root,
                            QStringLiteral("-d"), QStringLiteral("display_errors=1"),
                            QStringLiteral("-d"), QStringLiteral("error_reporting=-1"),
                            QStringLiteral("-d"), QStringLiteral("log_errors=1"),
                            // The server keeps compiled scripts (opcache is on for it even where the
                            // command line has it off) and would look at a file's date only every
                            // few seconds: a page saved just after it was served came out as before.
                            QStringLiteral("-d"), QStringLiteral("opcache.validate_timestamps=1"),
                            QStringLiteral("-d"), QStringLiteral("opcache.revalidate_freq=0"),
                            QStringLiteral("-d"), QStringLiteral("disable_functions=") + m_configuration.disabledFunctions};
    arguments += database + m_extraArguments;
    arguments.append(m_routerDir->filePath(QStringLiteral("routeur.php")));
    // Through the launcher, what a page starts (`exec("sleep 300 &")`) and php's own
    // workers die with php and with Ondrel, instead of keeping the port.
    const QString launcher = phpLauncher();
    if (launcher.isEmpty()) {
        if (m_attempts == 1)
            note(QStringLiteral("Lanceur ondrel-php introuvable : ce que les pages démarrent pourrait survivre à Ondrel."));
        m_process.setProgram(m_php);
    } else {
        m_process.setProgram(launcher);
        arguments = QStringList{QString::number(::getpid()), m_php} + arguments;
    }
    m_process.setArguments(arguments);
    m_process.setProcessEnvironment(environment);
    m_startTimer->start();
    m_process.start();
}

void BuiltinServer::stop()
{
    m_startTimer->stop();
    m_ready = false;
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_stopping = true;
    const qint64 pid = m_process.processId();
    if (pid > 0)
        ::kill(-pid_t(pid), SIGTERM); // the launcher, which kills php's group; or, without one, php's group
    if (!m_process.waitForFinished(kStopWaitMs)) {
        if (pid > 0)
            ::kill(-pid_t(pid), SIGKILL);
        m_process.waitForFinished(kStopWaitMs);
    }
    m_stopping = false;
}

void BuiltinServer::note(const QString &text)
{
    m_log.push_back({text, ServerLineKind::Other});
    if (m_log.size() > kLogLines)
        m_log.pop_front();
    Q_EMIT logLine(text, ServerLineKind::Other);
}

void BuiltinServer::readOutput()
{
    m_pending += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        addLine(withoutWorkerPrefix(QString::fromUtf8(line)));
    }
}

void BuiltinServer::addLine(const QString &line)
{
    const ServerLineKind kind = serverLineKind(line, m_lastKind);
    m_lastKind = kind;
    if (kind == ServerLineKind::Noise)
        return;
    const bool startLine = line.contains(QLatin1String("Development Server (")) && line.endsWith(QLatin1String(") started"));
    if (startLine && m_ready)
        return; // every worker says it started: the first one is enough
    if (!line.trimmed().isEmpty())
        m_lastMessage = line;
    if (line.contains(QLatin1String("Failed to listen on")))
        m_bindFailed = true;
    m_log.push_back({line, kind});
    if (m_log.size() > kLogLines)
        m_log.pop_front();
    Q_EMIT logLine(line, kind);
    if (!m_ready && !m_stopping && startLine) {
        m_ready = true;
        m_startTimer->stop();
        Q_EMIT ready();
    }
}

void BuiltinServer::onFinished()
{
    readOutput();
    if (!m_pending.isEmpty()) {
        addLine(QString::fromUtf8(m_pending));
        m_pending.clear();
    }
    if (m_stopping)
        return;
    const bool wasReady = m_ready;
    m_ready = false;
    m_startTimer->stop();
    if (wasReady) {
        addLine(QStringLiteral("Le serveur PHP intégré s'est arrêté."));
        return;
    }
    if (m_bindFailed && m_attempts < kBindAttempts) {
        // Another program took the port between the pick and php's bind.
        const QString old = origin();
        m_port = pickLoopbackPort();
        Q_EMIT originChanged(old, origin());
        launch();
        return;
    }
    Q_EMIT failed(QStringLiteral("Le serveur PHP intégré n'a pas démarré : %1").arg(m_lastMessage));
}

void BuiltinServer::onStartTimeout()
{
    stop();
    Q_EMIT failed(QStringLiteral("Le serveur PHP intégré ne répond pas."));
}

PhpLint::PhpLint(QObject *parent)
    : QObject(parent)
{
}

PhpLint::~PhpLint()
{
    if (m_current) {
        m_current->disconnect(this);
        m_current->kill();
        m_current->waitForFinished(1000);
    }
}

void PhpLint::check(const QString &path)
{
    if (m_current) { // its result would be stale: drop it
        m_current->disconnect(this);
        m_current->kill();
        m_current = nullptr;
    }
    const QString php = phpExecutable();
    if (php.isEmpty())
        return;
    auto *process = new QProcess(this);
    m_current = process;
    process->setProcessChannelMode(QProcess::MergedChannels);
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    connect(process, &QProcess::finished, this, [this, process, path](int exitCode, QProcess::ExitStatus status) {
        if (m_current != process)
            return;
        m_current = nullptr;
        if (status == QProcess::NormalExit)
            Q_EMIT checked(path, lintResult(exitCode, process->readAll()));
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && m_current == process) {
            m_current = nullptr;
            process->deleteLater();
        }
    });
    process->start(php, xdebugOffArguments() + QStringList{QStringLiteral("-d"), QStringLiteral("display_errors=1"),
                         QStringLiteral("-d"), QStringLiteral("log_errors=0"),
                         QStringLiteral("-d"), QStringLiteral("error_reporting=-1"),
                         QStringLiteral("-l"), path});
}
