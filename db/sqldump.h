#pragma once

#include "db/connectionsecurity.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>

#include <memory>

class QFile;
class QTemporaryDir;

/** What the client programs (mariadb, mariadb-dump) are given: the console's fields. */
struct ClientAccess
{
    QString host;     // empty or "localhost": a socket
    QString socket;   // empty: the client's default (MYSQL_UNIX_PORT when set)
    QString user;
    QString password;
    QString database;
    unsigned port = 0; // typed after the host ("host:3307"): TCP, also to "localhost"
    TlsMode tls = TlsMode::None; // "Chiffrer la connexion"; never through a socket
    QString caFile;              // for TlsMode::Verified
};

/**
 * The option file the client programs read instead of any other
 * (--defaults-file): user, password, host and socket, so that the password
 * never shows in the process list, and the console's TLS over TCP. Values are quoted with "\" before "\" and '"'.
 */
QByteArray clientOptionFile(const ClientAccess &access);

/** The first error of an import, from what the mariadb client wrote: its line (1-based; 0 when it names none) and message. */
struct ImportError
{
    int line = 0;
    QString message;
};
ImportError importError(const QByteArray &clientOutput);
/** "Erreur à la ligne 3 du fichier : …", or the client's words when it names no line. */
QString importErrorText(const ImportError &error);

/**
 * "Importer un fichier SQL…": a dump (.sql, or .sql.gz read through gzip)
 * fed to the mariadb client in pieces, so nothing holds the window and a file
 * of any size takes little memory. The client stops at the first error, which
 * finished() reports with its line; cancel() ends the client at once (what the
 * server committed before stays).
 */
class SqlImport : public QObject
{
    Q_OBJECT
public:
    explicit SqlImport(QObject *parent = nullptr);
    ~SqlImport() override;
    bool isRunning() const { return m_client && m_client->state() != QProcess::NotRunning; }
    /** Starts the import; false with `why` set when it cannot start (no client, a file that cannot be read). */
    bool start(const QString &file, const ClientAccess &access, QString *why);
    void cancel();

Q_SIGNALS:
    /** Percent of the file sent. */
    void progress(int percent);
    /** The end: `ok`, or the French message of what stopped it. */
    void finished(bool ok, const QString &message);

private:
    void feed();
    void clientFinished(int exitCode, QProcess::ExitStatus status);

    void endProcesses();

    // Made afresh for each import: gzip's output is piped into the client only for a .gz file.
    std::unique_ptr<QProcess> m_gunzip;
    std::unique_ptr<QProcess> m_client;
    QProcess *m_input = nullptr; // the process the file's bytes go to
    std::unique_ptr<QFile> m_file;
    std::unique_ptr<QTemporaryDir> m_options;
    qint64 m_size = 0;
    qint64 m_sent = 0;
    int m_percent = -1;
    bool m_cancelled = false;
};

/**
 * "Exporter la base…": mariadb-dump of the database (tables, routines,
 * triggers and events, in one transaction), written to the file by the atomic
 * save once the dump is whole: a failed dump leaves the old file as it was.
 */
class SqlExport : public QObject
{
    Q_OBJECT
public:
    explicit SqlExport(QObject *parent = nullptr);
    ~SqlExport() override;
    bool isRunning() const { return m_dump.state() != QProcess::NotRunning; }
    bool start(const QString &file, const ClientAccess &access, QString *why);

Q_SIGNALS:
    void finished(bool ok, const QString &message);

private:
    QProcess m_dump;
    QString m_path;
    QByteArray m_bytes;
    std::unique_ptr<QTemporaryDir> m_options;
};
