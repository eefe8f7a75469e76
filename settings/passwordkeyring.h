#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

class QThread;
class KeyringWorker;

/**
 * Whose password: one account on one MySQL server. The host, port and socket
 * are those the Host field names ("db:3307" gives host "db", port 3307; a
 * socket path gives the socket), so two servers on one machine, or two users
 * of one server, have entries of their own.
 */
struct PasswordKey
{
    QString host;
    int port = 0; // 0: the library's default
    QString socket;
    QString user;

    bool operator==(const PasswordKey &other) const = default;
};

/** The key of the account the console's Host and User fields name, read as the connect reads them. */
PasswordKey passwordKeyFor(const QString &hostField, const QString &userField);

/** What the keyring answered to one request. */
struct KeyringReply
{
    enum class Operation
    {
        Lookup,
        Store,
        Clear,
    };
    enum class Failure
    {
        None,
        Unavailable, // no Secret Service answers (no session bus, no keyring daemon)
        Refused,     // it answered, but did not do it (locked and the prompt dismissed, an error of its own)
    };
    Operation operation = Operation::Lookup;
    PasswordKey key;
    /** Lookup: the password found; empty when the keyring holds none for the key. Store: what it was asked to keep. */
    QString password;
    Failure failure = Failure::None;
    QString detail; // the keyring's own words on a failure (not translated), for the log

    bool ok() const { return failure == Failure::None; }
};

/**
 * The session's keyring through libsecret (the Secret Service), under a schema
 * of Ondrel's own ("org.ondrel.MysqlPassword": host, port, socket, user).
 *
 * Every request runs on a thread of its own, in the order made: the keyring may
 * block (a locked collection shows an unlock prompt and waits for the user), and
 * the window must not. Each request gives one `finished`, on the thread that owns
 * this object. Destroying the object cancels what is pending (a prompt too) and
 * waits for the thread; the replies not yet delivered are dropped.
 */
class PasswordKeyring : public QObject
{
    Q_OBJECT
public:
    explicit PasswordKeyring(QObject *parent = nullptr);
    ~PasswordKeyring() override;

    void lookup(const PasswordKey &key);
    /** Stores (or replaces) the password of `key` in the default collection. */
    void store(const PasswordKey &key, const QString &password);
    void clear(const PasswordKey &key);
    /**
     * Stores the password of `key` and waits for the keyring's answer, at most
     * `patience` (the requests made before it come first); nothing when it did not
     * come in time. Gives no `finished`. For the end of a run, when nothing is left
     * to answer a later reply.
     */
    std::optional<KeyringReply> storeWaiting(const PasswordKey &key, const QString &password,
                                             std::chrono::milliseconds patience);

signals:
    void finished(const KeyringReply &reply);

private:
    QThread *m_thread = nullptr;
    KeyringWorker *m_worker = nullptr;
};

Q_DECLARE_METATYPE(KeyringReply)
