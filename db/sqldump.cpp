// Import and export of a whole database through MariaDB's own client programs,
// which know every corner of the dump format (DELIMITER, comments, escapes).
#include "db/sqldump.h"

#include "io/savefile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

constexpr qint64 kPiece = 64 * 1024;
constexpr qint64 kQueued = 4 * kPiece; // at most this much waits in the pipe's buffer

// The option file keeps what is between a pair of quotes as it is, but for "\\" escapes.
QByteArray quoted(const QString &value)
{
    QByteArray bytes = value.toUtf8();
    bytes.replace('\\', "\\\\").replace('\n', "").replace('\r', "");
    const char quote = bytes.contains('"') && !bytes.contains('\'') ? '\'' : '"';
    return quote + bytes + quote;
}

/** The option file in a folder only this user may read; its path, or empty with `why` set. */
QString writeOptions(std::unique_ptr<QTemporaryDir> &folder, const ClientAccess &access, QString *why)
{
    folder = std::make_unique<QTemporaryDir>();
    QFile file(folder->filePath(QStringLiteral("client.cnf")));
    const QByteArray bytes = clientOptionFile(access);
    if (!folder->isValid() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        *why = QStringLiteral("Impossible d'écrire les options du client MariaDB dans %1").arg(QDir::tempPath());
        return {};
    }
    return file.fileName();
}

QString clientMissing(const QString &program)
{
    return QStringLiteral("%1 introuvable : installez le paquet mariadb-client").arg(program);
}

} // namespace

QByteArray clientOptionFile(const ClientAccess &access)
{
    QByteArray text = "[client]\n";
    text += "user=" + quoted(access.user) + '\n';
    text += "password=" + quoted(access.password) + '\n';
    if (!access.host.isEmpty() && access.host != u"localhost")
        text += "host=" + quoted(access.host) + '\n';
    if (!access.socket.isEmpty()) {
        text += "socket=" + quoted(access.socket) + '\n';
        text += "protocol=socket\n";
    } else if (access.port != 0) {
        if (access.host.isEmpty() || access.host == u"localhost")
            text += "host=localhost\n"; // with the protocol below: TCP, not the socket
        text += "port=" + QByteArray::number(access.port) + '\n';
        text += "protocol=tcp\n";
    }
    const bool socket = goesThroughSocket(access.host, access.port, access.socket);
    if (access.tls != TlsMode::None && !socket) {
        text += "ssl\n";
        if (access.tls == TlsMode::Verified) {
            text += "ssl-verify-server-cert\n";
            if (!access.caFile.isEmpty())
                text += "ssl-ca=" + quoted(access.caFile) + '\n';
        }
    }
    text += "default-character-set=utf8mb4\n";
    return text;
}

ImportError importError(const QByteArray &clientOutput)
{
    const QString text = QString::fromUtf8(clientOutput).trimmed();
    static const QRegularExpression atLine(QStringLiteral(R"(^ERROR \d+ \(\w+\) at line (\d+)(?: in file: '[^']*')?: (.*)$)"),
                                           QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = atLine.match(text);
    if (match.hasMatch())
        return {match.captured(1).toInt(), match.captured(2).trimmed()};
    return {0, text.section(u'\n', 0, 0)};
}

QString importErrorText(const ImportError &error)
{
    if (error.line > 0)
        return QStringLiteral("Import arrêté à la ligne %1 du fichier : %2").arg(error.line).arg(error.message);
    return QStringLiteral("Import arrêté : %1").arg(error.message);
}

SqlImport::SqlImport(QObject *parent)
    : QObject(parent)
{
}

SqlImport::~SqlImport()
{
    endProcesses();
}

void SqlImport::endProcesses()
{
    for (QProcess *process : {m_gunzip.get(), m_client.get()}) {
        if (!process)
            continue;
        process->disconnect(this);
        process->kill();
        process->waitForFinished(2000);
    }
}

bool SqlImport::start(const QString &path, const ClientAccess &access, QString *why)
{
    const QString client = QStandardPaths::findExecutable(QStringLiteral("mariadb"));
    if (client.isEmpty()) {
        *why = clientMissing(QStringLiteral("mariadb"));
        return false;
    }
    m_file = std::make_unique<QFile>(path);
    if (!m_file->open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("Impossible d'ouvrir le fichier %1").arg(path);
        return false;
    }
    const QString options = writeOptions(m_options, access, why);
    if (options.isEmpty())
        return false;
    endProcesses();
    m_size = m_file->size();
    m_sent = 0;
    m_percent = -1;
    m_cancelled = false;
    QStringList arguments{QStringLiteral("--defaults-file=") + options, QStringLiteral("--batch")};
    if (!access.database.isEmpty())
        arguments << access.database;
    m_client = std::make_unique<QProcess>();
    m_client->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_client.get(), &QProcess::finished, this, &SqlImport::clientFinished);
    m_gunzip.reset();
    if (path.endsWith(QLatin1String(".gz"), Qt::CaseInsensitive)) {
        m_gunzip = std::make_unique<QProcess>();
        m_gunzip->setStandardOutputProcess(m_client.get());
    }
    m_input = m_gunzip ? m_gunzip.get() : m_client.get();
    connect(m_input, &QProcess::bytesWritten, this, &SqlImport::feed);
    m_client->start(client, arguments);
    if (m_gunzip)
        m_gunzip->start(QStringLiteral("gzip"), {QStringLiteral("-dc")});
    feed();
    return true;
}

void SqlImport::feed()
{
    if (!m_file || !m_file->isOpen() || !m_input || m_input->state() == QProcess::NotRunning)
        return;
    while (m_input->bytesToWrite() < kQueued) {
        const QByteArray piece = m_file->read(kPiece);
        if (piece.isEmpty()) { // the whole file is sent
            m_file->close();
            m_input->closeWriteChannel();
            break;
        }
        m_input->write(piece);
        m_sent += piece.size();
    }
    const int percent = m_size > 0 ? int(m_sent * 100 / m_size) : 100;
    if (percent != m_percent) {
        m_percent = percent;
        Q_EMIT progress(percent);
    }
}

void SqlImport::cancel()
{
    if (!isRunning())
        return;
    m_cancelled = true;
    if (m_gunzip)
        m_gunzip->kill();
    m_client->kill(); // finished() follows
}

void SqlImport::clientFinished(int exitCode, QProcess::ExitStatus status)
{
    if (m_gunzip)
        m_gunzip->waitForFinished(2000);
    const bool gzipFailed = m_gunzip && (m_gunzip->exitStatus() != QProcess::NormalExit || m_gunzip->exitCode() != 0);
    m_file.reset();
    m_options.reset();
    m_input = nullptr;
    if (m_cancelled) {
        Q_EMIT finished(false, QStringLiteral("Import annulé : ce qui précède la ligne en cours est dans la base."));
        return;
    }
    if (status != QProcess::NormalExit || exitCode != 0) {
        Q_EMIT finished(false, importErrorText(importError(m_client->readAll())));
        return;
    }
    if (gzipFailed) {
        Q_EMIT finished(false, QStringLiteral("Import arrêté : le fichier compressé est illisible (%1)")
                                   .arg(QString::fromUtf8(m_gunzip->readAllStandardError()).trimmed()));
        return;
    }
    Q_EMIT finished(true, QStringLiteral("Import terminé."));
}

SqlExport::SqlExport(QObject *parent)
    : QObject(parent)
{
    connect(&m_dump, &QProcess::readyReadStandardOutput, this, [this] { m_bytes += m_dump.readAllStandardOutput(); });
    connect(&m_dump, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        m_bytes += m_dump.readAllStandardOutput();
        m_options.reset();
        const QByteArray bytes = std::exchange(m_bytes, {});
        if (status != QProcess::NormalExit || exitCode != 0) {
            Q_EMIT finished(false, QStringLiteral("Export arrêté : %1")
                                       .arg(QString::fromUtf8(m_dump.readAllStandardError()).trimmed().section(u'\n', 0, 0)));
            return;
        }
        QString why;
        if (!replaceFileAtomically(m_path, bytes, 0666, &why)) {
            Q_EMIT finished(false, QStringLiteral("Impossible de créer le fichier %1 %2").arg(m_path, why).trimmed());
            return;
        }
        Q_EMIT finished(true, QStringLiteral("Base exportée dans %1").arg(m_path));
    });
}

SqlExport::~SqlExport()
{
    m_dump.disconnect(this);
    m_dump.kill();
    m_dump.waitForFinished(2000);
}

bool SqlExport::start(const QString &file, const ClientAccess &access, QString *why)
{
    const QString dump = QStandardPaths::findExecutable(QStringLiteral("mariadb-dump"));
    if (dump.isEmpty()) {
        *why = clientMissing(QStringLiteral("mariadb-dump"));
        return false;
    }
    if (access.database.isEmpty()) {
        *why = QStringLiteral("Indiquez dans « Base » la base à exporter.");
        return false;
    }
    const QString options = writeOptions(m_options, access, why);
    if (options.isEmpty())
        return false;
    m_path = file;
    m_bytes.clear();
    m_dump.start(dump, {QStringLiteral("--defaults-file=") + options, QStringLiteral("--single-transaction"),
                        QStringLiteral("--routines"), QStringLiteral("--triggers"), QStringLiteral("--events"),
                        access.database});
    return true;
}
