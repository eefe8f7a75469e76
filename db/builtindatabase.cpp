// Ondrel's own MariaDB server: its data folder made at first use, its socket
// that only this user can open, its life tied to Ondrel's.
#include "db/builtindatabase.h"

#include "base/childprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kLockRetryMs = 100;
constexpr int kLockAttempts = 1200;     // two minutes: another window's first use under load
constexpr int kStartTimeoutMs = 120000; // a server recovering after a kill may take a while
constexpr int kStopWaitMs = 30000;
constexpr int kKeptLines = 40;

const QStringList kSbinFolders = {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")};

/** An executable on the PATH, or in the system folders a user's PATH often lacks. */
QString findProgram(const QString &name)
{
    const QString onPath = QStandardPaths::findExecutable(name);
    return onPath.isEmpty() ? QStandardPaths::findExecutable(name, kSbinFolders) : onPath;
}

/**
 * The runtime folder made (with its parents) and kept at mode 0700, owned by
 * this user and not a link. Empty on success, else why not.
 */
QString ownerOnlyFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        return QStringLiteral("le dossier %1 ne peut pas être créé").arg(path);
    const QByteArray local = QFile::encodeName(path);
    struct stat info;
    if (::lstat(local.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return QStringLiteral("le dossier %1 n'appartient pas à votre compte").arg(path);
    if ((info.st_mode & 07777) != 0700 && ::chmod(local.constData(), 0700) != 0)
        return QStringLiteral("le dossier %1 ne peut pas être réservé à votre compte").arg(path);
    return {};
}

/** Ends a process and its group: SIGTERM first when `gently`, SIGKILL after the wait. */
void endProcess(QProcess &process, bool gently)
{
    if (process.state() == QProcess::NotRunning)
        return;
    const qint64 pid = process.processId();
    if (gently && pid > 0) {
        ::kill(pid_t(pid), SIGTERM);
        if (process.waitForFinished(kStopWaitMs))
            return;
    }
    if (pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
    process.waitForFinished(kStopWaitMs);
}

/** The text of the file, trimmed; empty when it cannot be read. */
QString fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.read(4096)).trimmed() : QString();
}

} // namespace

BuiltinDatabasePaths BuiltinDatabasePaths::standard()
{
    return under(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                     + QStringLiteral("/ondrel/mariadb"),
                 QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/ondrel"));
}

BuiltinDatabasePaths BuiltinDatabasePaths::under(const QString &dataFolder, const QString &runtimeFolder)
{
    return {dataFolder, runtimeFolder, runtimeFolder + QStringLiteral("/mariadb.sock")};
}

QString mariadbdExecutable()
{
    return findProgram(QStringLiteral("mariadbd"));
}

QString mariadbMissingMessage()
{
    return QStringLiteral("MariaDB introuvable : installez le paquet mariadb-server-core pour avoir la base intégrée");
}

QString builtinDatabaseSetting(bool ticked, bool serverInstalled)
{
    if (ticked)
        return QStringLiteral("1");
    // Without a server the box could only be unticked: that says nothing of the user's wish.
    return serverInstalled ? QStringLiteral("0") : QString();
}

QString firstDatabaseName(const QString &siteFolder)
{
    const QString decomposed = QFileInfo(QDir::cleanPath(siteFolder)).fileName().normalized(QString::NormalizationForm_KD);
    QString name;
    for (const QChar c : decomposed) {
        if (c.isMark())
            continue; // the accent of a decomposed letter
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_';
        name += plain ? c : u'_';
    }
    name = name.left(64);
    static const QRegularExpression nothingLeft(QStringLiteral("^[_0-9]*$"));
    return nothingLeft.match(name).hasMatch() ? QStringLiteral("site") : name;
}

std::optional<ServerVersion> serverVersion(const QString &text)
{
    static const QRegularExpression numbers(QStringLiteral(R"((\d+)\.(\d+)\.(\d+))"));
    const QRegularExpressionMatch match = numbers.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return ServerVersion{match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt()};
}

bool dataFolderIsNewer(const QString &dataVersion, const QString &serverVersionText)
{
    const auto data = serverVersion(dataVersion);
    const auto server = serverVersion(serverVersionText);
    if (!data || !server)
        return false; // nothing to compare: the server itself refuses what it cannot read
    return std::pair(data->major, data->minor) > std::pair(server->major, server->minor);
}

BuiltinDatabase::BuiltinDatabase(QObject *parent)
    : BuiltinDatabase(BuiltinDatabasePaths::standard(), parent)
{
}

BuiltinDatabase::BuiltinDatabase(const BuiltinDatabasePaths &paths, QObject *parent)
    : QObject(parent)
    , m_paths(paths)
    , m_lockRetry(new QTimer(this))
    , m_startTimer(new QTimer(this))
{
    m_helper.setProcessChannelMode(QProcess::MergedChannels);
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    // Every process Ondrel starts for the server dies with Ondrel, its children too.
    tieToOndrel(m_helper);
    tieToOndrel(m_server);
    m_lockRetry->setInterval(kLockRetryMs);
    m_lockRetry->setSingleShot(true);
    connect(m_lockRetry, &QTimer::timeout, this, &BuiltinDatabase::tryLock);
    m_startTimer->setInterval(kStartTimeoutMs);
    m_startTimer->setSingleShot(true);
    connect(m_startTimer, &QTimer::timeout, this, [this] {
        stop();
        fail(QStringLiteral("La base intégrée ne répond pas. %1").arg(lastServerLines()));
    });
    connect(&m_server, &QProcess::readyReadStandardOutput, this, &BuiltinDatabase::readServerOutput);
    connect(&m_server, &QProcess::finished, this, &BuiltinDatabase::serverFinished);
    connect(&m_server, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && !m_stopping)
            fail(QStringLiteral("La base intégrée n'a pas démarré : %1").arg(m_server.errorString()));
    });
}

BuiltinDatabase::~BuiltinDatabase()
{
    m_server.disconnect(this);
    m_helper.disconnect(this);
    stop();
}

qint64 BuiltinDatabase::processId() const
{
    return m_server.state() == QProcess::NotRunning ? 0 : m_server.processId();
}

bool BuiltinDatabase::socketAnswers() const
{
    const QByteArray path = QFile::encodeName(m_paths.socket);
    sockaddr_un address{};
    if (path.size() >= qsizetype(sizeof(address.sun_path)))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // A socket file left by a killed server refuses at once; a listening one accepts at once.
    const bool answers = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
    ::close(fd);
    return answers;
}

bool BuiltinDatabase::start(const QString &firstDatabase)
{
    if (m_state == State::Ready && m_shared && !socketAnswers()) {
        m_state = State::Stopped; // the window whose server this was has gone
        m_shared = false;
    }
    if (m_state == State::Ready || m_state == State::Starting)
        return true;
    m_mariadbd = mariadbdExecutable();
    if (m_mariadbd.isEmpty())
        return false;
    m_firstDatabase = firstDatabaseName(firstDatabase); // it goes into SQL: nothing that needs quoting
    m_firstUse = false;
    m_shared = false;
    m_lastLines.clear();
    m_state = State::Starting;
    const QString why = ownerOnlyFolder(m_paths.runtimeFolder);
    if (!why.isEmpty()) {
        // Reported after start() returns, as every other outcome.
        QTimer::singleShot(0, this, [this, why] { fail(QStringLiteral("La base intégrée n'a pas démarré : %1.").arg(why)); });
        return true;
    }
    m_lock = std::make_unique<QLockFile>(m_paths.runtimeFolder + QStringLiteral("/mariadb.lock"));
    m_lock->setStaleLockTime(0); // held through a whole first use; only a dead holder frees it
    m_lockAttempts = 0;
    QTimer::singleShot(0, this, &BuiltinDatabase::tryLock);
    return true;
}

void BuiltinDatabase::tryLock()
{
    if (m_state != State::Starting || !m_lock)
        return;
    if (!m_lock->tryLock(0)) {
        if (++m_lockAttempts == 1)
            Q_EMIT progress(QStringLiteral("La base intégrée démarre dans une autre fenêtre d'Ondrel…"));
        if (m_lockAttempts < kLockAttempts)
            m_lockRetry->start();
        else
            fail(QStringLiteral("La base intégrée ne démarre pas : une autre fenêtre d'Ondrel la tient depuis trop longtemps."));
        return;
    }
    afterLock();
}

void BuiltinDatabase::afterLock()
{
    if (socketAnswers()) { // another window's server
        m_shared = true;
        becomeReady();
        return;
    }
    const QString data = m_paths.dataFolder;
    if (QFileInfo(data + QStringLiteral("/mysql")).isDir()) {
        checkVersion();
        return;
    }
    if (QFileInfo::exists(data) && !QDir(data).isEmpty()) {
        fail(QStringLiteral("Le dossier %1 n'est pas un dossier de données MariaDB : il est laissé tel quel. "
                            "Déplacez-le pour que la base intégrée en crée un nouveau.").arg(data));
        return;
    }
    install();
}

void BuiltinDatabase::checkVersion()
{
    const QString dataVersion = fileText(m_paths.dataFolder + QStringLiteral("/mysql_upgrade_info"));
    if (dataVersion.isEmpty()) {
        launch();
        return;
    }
    m_helper.disconnect(this);
    connect(&m_helper, &QProcess::finished, this, [this, dataVersion] {
        m_helper.disconnect(this);
        const QString installed = QString::fromUtf8(m_helper.readAll());
        if (dataFolderIsNewer(dataVersion, installed)) {
            const auto version = serverVersion(installed);
            fail(QStringLiteral("Le dossier de données %1 vient d'une version plus récente de MariaDB (%2) que celle "
                                "installée (%3.%4) : il est laissé tel quel. Installez une version de MariaDB au moins "
                                "aussi récente pour vous en servir.")
                     .arg(m_paths.dataFolder, dataVersion)
                     .arg(version ? version->major : 0)
                     .arg(version ? version->minor : 0));
            return;
        }
        launch();
    });
    connect(&m_helper, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            m_helper.disconnect(this);
            launch(); // mariadbd itself will say what is wrong
        }
    });
    m_helper.start(m_mariadbd, {QStringLiteral("--version")});
}

void BuiltinDatabase::install()
{
    const QString installer = findProgram(QStringLiteral("mariadb-install-db"));
    if (installer.isEmpty()) {
        fail(mariadbMissingMessage());
        return;
    }
    Q_EMIT progress(QStringLiteral("Création de la base intégrée dans %1…").arg(m_paths.dataFolder));
    // Made beside its place and renamed into it when whole: an interrupted first use leaves no
    // folder that a later start would take for a data folder.
    const QString staging = m_paths.dataFolder + QStringLiteral(".installation");
    QDir(staging).removeRecursively(); // only ever an unfinished one of ours
    QDir().rmdir(m_paths.dataFolder);  // empty, when it exists at all
    if (!QDir().mkpath(QFileInfo(m_paths.dataFolder).absolutePath())) {
        fail(QStringLiteral("La base intégrée n'a pas pu être créée : le dossier %1 ne peut pas être créé.")
                 .arg(QFileInfo(m_paths.dataFolder).absolutePath()));
        return;
    }
    QStringList arguments{QStringLiteral("--no-defaults"), QStringLiteral("--datadir=") + staging,
                          QStringLiteral("--auth-root-authentication-method=normal"), QStringLiteral("--skip-test-db")};
    if (::geteuid() == 0)
        arguments << QStringLiteral("--user=root");
    m_helper.disconnect(this);
    connect(&m_helper, &QProcess::finished, this, &BuiltinDatabase::installFinished);
    connect(&m_helper, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            m_helper.disconnect(this);
            fail(QStringLiteral("La base intégrée n'a pas pu être créée : %1").arg(m_helper.errorString()));
        }
    });
    m_helper.start(installer, arguments);
}

void BuiltinDatabase::installFinished(int exitCode, QProcess::ExitStatus status)
{
    m_helper.disconnect(this);
    const QString staging = m_paths.dataFolder + QStringLiteral(".installation");
    const QString output = QString::fromUtf8(m_helper.readAll());
    if (status != QProcess::NormalExit || exitCode != 0 || !QFileInfo(staging + QStringLiteral("/mysql")).isDir()) {
        QStringList lines = output.trimmed().split(u'\n');
        fail(QStringLiteral("La base intégrée n'a pas pu être créée (mariadb-install-db) : %1")
                 .arg(lines.mid(std::max<qsizetype>(0, lines.size() - 5)).join(u'\n')));
        return;
    }
    if (!QDir().rename(staging, m_paths.dataFolder)) {
        fail(QStringLiteral("La base intégrée n'a pas pu être créée : %1 ne peut pas être renommé en %2.")
                 .arg(staging, m_paths.dataFolder));
        return;
    }
    m_firstUse = true;
    // Run by the server once, at its first start: the first database, and no root but the
    // socket's (the installer also makes root@127.0.0.1 and others without a password).
    m_initFile = m_paths.runtimeFolder + QStringLiteral("/premier-demarrage.sql");
    QFile init(m_initFile);
    const QByteArray sql = QStringLiteral("CREATE DATABASE IF NOT EXISTS `%1` CHARACTER SET utf8mb4 COLLATE utf8mb4_unicode_ci;\n"
                                          "DELETE FROM mysql.global_priv WHERE User = 'root' AND Host <> 'localhost';\n"
                                          "FLUSH PRIVILEGES;\n")
                               .arg(m_firstDatabase)
                               .toUtf8();
    if (!init.open(QIODevice::WriteOnly | QIODevice::Truncate) || init.write(sql) != sql.size() || !init.flush())
        m_initFile.clear(); // the server still starts; the first database is simply not there
    launch();
}

void BuiltinDatabase::launch()
{
    Q_EMIT progress(QStringLiteral("Démarrage de la base intégrée…"));
    m_pending.clear();
    QStringList arguments{QStringLiteral("--no-defaults"),
                          QStringLiteral("--datadir=") + m_paths.dataFolder,
                          QStringLiteral("--socket=") + m_paths.socket,
                          QStringLiteral("--skip-networking"), // no TCP port: only the socket, in a 0700 folder
                          QStringLiteral("--pid-file=") + m_paths.runtimeFolder + QStringLiteral("/mariadb.pid"),
                          QStringLiteral("--skip-log-bin"),
                          QStringLiteral("--character-set-server=utf8mb4"),
                          QStringLiteral("--collation-server=utf8mb4_unicode_ci")};
    if (::geteuid() == 0)
        arguments << QStringLiteral("--user=root"); // mariadbd refuses root otherwise
    if (!m_initFile.isEmpty())
        arguments << QStringLiteral("--init-file=") + m_initFile;
    m_startTimer->start();
    m_server.start(m_mariadbd, arguments);
}

void BuiltinDatabase::readServerOutput()
{
    m_pending += m_server.readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_pending.left(end)).trimmed();
        m_pending.remove(0, end + 1);
        if (line.isEmpty())
            continue;
        m_lastLines << line;
        if (m_lastLines.size() > kKeptLines)
            m_lastLines.removeFirst();
        if (m_state == State::Starting && line.contains(QLatin1String("ready for connections")))
            becomeReady();
    }
}

QString BuiltinDatabase::lastServerLines() const
{
    // The server's own errors say best what went wrong; else its last words.
    QStringList errors;
    for (const QString &line : m_lastLines)
        if (line.contains(QLatin1String("[ERROR]")))
            errors << line;
    const QStringList &shown = errors.isEmpty() ? m_lastLines : errors;
    return shown.mid(std::max<qsizetype>(0, shown.size() - 3)).join(u'\n');
}

void BuiltinDatabase::serverFinished()
{
    readServerOutput();
    m_startTimer->stop();
    if (m_stopping)
        return;
    if (m_state == State::Ready) {
        m_state = State::Crashed;
        Q_EMIT crashed(QStringLiteral("La base intégrée s'est arrêtée. %1").arg(lastServerLines()));
        return;
    }
    if (m_state != State::Starting)
        return;
    if (socketAnswers()) { // another window started its server on the same socket first
        m_shared = true;
        becomeReady();
        return;
    }
    fail(QStringLiteral("La base intégrée n'a pas démarré : %1").arg(lastServerLines()));
}

void BuiltinDatabase::becomeReady()
{
    m_startTimer->stop();
    releaseLock();
    if (!m_initFile.isEmpty()) {
        QFile::remove(m_initFile);
        m_initFile.clear();
    }
    m_state = State::Ready;
    Q_EMIT ready(m_firstUse ? m_firstDatabase : QString());
}

void BuiltinDatabase::fail(const QString &message)
{
    m_startTimer->stop();
    m_lockRetry->stop();
    releaseLock();
    if (!m_initFile.isEmpty()) {
        QFile::remove(m_initFile);
        m_initFile.clear();
    }
    m_state = State::Failed;
    Q_EMIT failed(message);
}

void BuiltinDatabase::releaseLock()
{
    if (m_lock)
        m_lock->unlock();
    m_lock.reset();
}

void BuiltinDatabase::stop()
{
    m_stopping = true;
    m_lockRetry->stop();
    m_startTimer->stop();
    m_helper.disconnect(this); // a version check or an install that ends now goes no further
    endProcess(m_helper, false);
    endProcess(m_server, true);
    m_stopping = false;
    releaseLock();
    m_shared = false;
    m_state = State::Stopped;
}

bool pageUsesDatabase(const QString &text)
{
    static const QRegularExpression usesMysql(QStringLiteral("mysql|pdo"), QRegularExpression::CaseInsensitiveOption);
    return usesMysql.match(text).hasMatch();
}
