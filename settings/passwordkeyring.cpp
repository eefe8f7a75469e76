// The console's password in the session's keyring: the one file that speaks to
// libsecret. Its calls are the blocking ones, made on a thread of their own, so
// that an unlock prompt waiting for the user never holds the window.
#include "settings/passwordkeyring.h"

#include "db/serveraddress.h"

#include <QScopeGuard>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

// GLib names a struct member "signals", which Qt's keyword macro would rewrite.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

namespace {

const SecretSchema kSchema = {
    "org.ondrel.MysqlPassword",
    SECRET_SCHEMA_NONE,
    {
        {"host", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"port", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
        {"socket", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
    },
    0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

/** The attributes of `key`, for the calls that take them as a table (freed by the caller). */
GHashTable *attributesOf(const PasswordKey &key)
{
    GHashTable *attributes = g_hash_table_new_full(g_str_hash, g_str_equal, nullptr, g_free);
    g_hash_table_insert(attributes, const_cast<char *>("host"), g_strdup(key.host.toUtf8().constData()));
    g_hash_table_insert(attributes, const_cast<char *>("port"), g_strdup_printf("%d", key.port));
    g_hash_table_insert(attributes, const_cast<char *>("socket"), g_strdup(key.socket.toUtf8().constData()));
    g_hash_table_insert(attributes, const_cast<char *>("user"), g_strdup(key.user.toUtf8().constData()));
    return attributes;
}

/** Whether `error` says that nobody provides the Secret Service (as opposed to one that said no). */
bool meansNoService(const GError *error)
{
    if (error->domain == G_DBUS_ERROR)
        return error->code == G_DBUS_ERROR_SERVICE_UNKNOWN || error->code == G_DBUS_ERROR_NAME_HAS_NO_OWNER
            || error->code == G_DBUS_ERROR_SPAWN_CHILD_EXITED || error->code == G_DBUS_ERROR_SPAWN_EXEC_FAILED
            || error->code == G_DBUS_ERROR_NO_SERVER || error->code == G_DBUS_ERROR_FILE_NOT_FOUND
            || error->code == G_DBUS_ERROR_SPAWN_FAILED || error->code == G_DBUS_ERROR_DISCONNECTED;
    // No session bus at all: an address that leads nowhere, or none to autolaunch.
    return error->domain == G_IO_ERROR && error->code != G_IO_ERROR_CANCELLED;
}

/** Takes the failure `error` (freed here) into `reply`. */
void noteFailure(KeyringReply &reply, GError *error)
{
    reply.failure = meansNoService(error) ? KeyringReply::Failure::Unavailable : KeyringReply::Failure::Refused;
    reply.detail = QString::fromUtf8(error->message);
    g_error_free(error);
}

} // namespace

PasswordKey passwordKeyFor(const QString &hostField, const QString &userField)
{
    const ServerAddress address = serverAddress(hostField.trimmed());
    PasswordKey key;
    if (!address.error.isEmpty()) { // the connect refuses such a text; its entry is the text's own
        key.host = hostField;
    } else {
        key.host = address.socket.isEmpty() ? address.host : QString();
        key.port = int(address.port);
        key.socket = address.socket;
    }
    key.user = userField;
    return key;
}

/** Lives on the keyring's thread; makes the blocking calls one at a time. */
class KeyringWorker : public QObject
{
    Q_OBJECT
public:
    KeyringWorker() = default;
    ~KeyringWorker() override
    {
        if (m_service) {
            g_main_context_push_thread_default(m_context);
            g_object_unref(m_service);
            g_main_context_pop_thread_default(m_context);
        }
        // The service's D-Bus subscriptions are released from its context: run what that left there.
        while (g_main_context_iteration(m_context, false)) {
        }
        g_main_context_unref(m_context);
        g_object_unref(m_cancellable);
    }

    /** Thread-safe: stops a call under way (a prompt too) and every later one. */
    void cancel() { g_cancellable_cancel(m_cancellable); }

    void run(KeyringReply::Operation operation, const PasswordKey &key, const QString &password)
    {
        emit finished(perform(operation, key, password));
    }

    /** Makes one request and gives the keyring's answer (blocking: on the keyring's thread only). */
    KeyringReply perform(KeyringReply::Operation operation, const PasswordKey &key, const QString &password)
    {
        // libsecret ties the service's D-Bus subscriptions to the thread's default context:
        // one of this object's own, not the thread's event loop, so that they can be released.
        g_main_context_push_thread_default(m_context);
        const auto popContext = qScopeGuard([this] { g_main_context_pop_thread_default(m_context); });
        KeyringReply reply;
        reply.operation = operation;
        reply.key = key;
        reply.password = password; // a store's: what it was asked to keep
        GError *error = nullptr;
        SecretService *service = this->service(&error);
        if (!service) {
            noteFailure(reply, error);
            return reply;
        }
        GHashTable *attributes = attributesOf(key);
        switch (operation) {
        case KeyringReply::Operation::Lookup:
            if (SecretValue *value = secret_service_lookup_sync(service, &kSchema, attributes, m_cancellable, &error)) {
                reply.password = QString::fromUtf8(secret_value_get_text(value));
                secret_value_unref(value);
            }
            break;
        case KeyringReply::Operation::Store: {
            const QByteArray text = password.toUtf8();
            SecretValue *value = secret_value_new(text.constData(), text.size(), "text/plain");
            const QByteArray label = QStringLiteral("Ondrel : mot de passe MySQL de %1 sur %2")
                                         .arg(key.user, key.socket.isEmpty() ? key.host : key.socket)
                                         .toUtf8();
            secret_service_store_sync(service, &kSchema, attributes, SECRET_COLLECTION_DEFAULT, label.constData(), value,
                                      m_cancellable, &error);
            secret_value_unref(value);
            break;
        }
        case KeyringReply::Operation::Clear:
            secret_service_clear_sync(service, &kSchema, attributes, m_cancellable, &error); // false: there was none
            break;
        }
        g_hash_table_unref(attributes);
        if (error)
            noteFailure(reply, error);
        return reply;
    }

signals:
    void finished(const KeyringReply &reply);

private:
    /** The Secret Service, opened at the first request that reaches it; null with `error` set when none. */
    SecretService *service(GError **error)
    {
        if (!m_service)
            m_service = secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_NONE, m_cancellable, error);
        return m_service;
    }

    SecretService *m_service = nullptr;
    GCancellable *m_cancellable = g_cancellable_new();
    GMainContext *m_context = g_main_context_new();
};

PasswordKeyring::PasswordKeyring(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<KeyringReply>();
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("keyring"));
    m_worker = new KeyringWorker;
    m_worker->moveToThread(m_thread);
    connect(m_worker, &KeyringWorker::finished, this, &PasswordKeyring::finished, Qt::QueuedConnection);
    m_thread->start();
}

PasswordKeyring::~PasswordKeyring()
{
    m_worker->cancel();
    m_thread->quit();
    m_thread->wait();
    delete m_worker; // its thread has ended: the requests it had not run go with it
}

void PasswordKeyring::lookup(const PasswordKey &key)
{
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, key] { worker->run(KeyringReply::Operation::Lookup, key, QString()); },
        Qt::QueuedConnection);
}

void PasswordKeyring::store(const PasswordKey &key, const QString &password)
{
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, key, password] { worker->run(KeyringReply::Operation::Store, key, password); },
        Qt::QueuedConnection);
}

std::optional<KeyringReply> PasswordKeyring::storeWaiting(const PasswordKey &key, const QString &password,
                                                          std::chrono::milliseconds patience)
{
    // Shared with the request: it outlives a wait that gave up, until the keyring answers or goes.
    struct Answer
    {
        std::mutex mutex;
        std::condition_variable ready;
        std::optional<KeyringReply> reply;
    };
    const auto answer = std::make_shared<Answer>();
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, answer, key, password] {
            KeyringReply reply = worker->perform(KeyringReply::Operation::Store, key, password);
            const std::lock_guard lock(answer->mutex);
            answer->reply = std::move(reply);
            answer->ready.notify_one();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(answer->mutex);
    answer->ready.wait_for(lock, patience, [&] { return answer->reply.has_value(); });
    return answer->reply;
}

void PasswordKeyring::clear(const PasswordKey &key)
{
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, key] { worker->run(KeyringReply::Operation::Clear, key, QString()); },
        Qt::QueuedConnection);
}

#include "passwordkeyring.moc"
