#pragma once

#include <QObject>
#include <QString>

class QThread;

/**
 * PHP's keyword list for the window: read from the cache, or asked of PHP, on a
 * thread of its own so that the window never waits for PHP. Until `loaded` the
 * list is empty, and it stays empty without PHP.
 */
class PhpSignatureSource : public QObject
{
    Q_OBJECT
public:
    explicit PhpSignatureSource(QObject *parent = nullptr);
    /** Waits for a run under way (PHP is stopped after its time-out at worst). */
    ~PhpSignatureSource() override;

    /** Starts loading with the PHP `php` (nothing happens when it is empty) and the cache file `cacheFile`. */
    void start(const QString &php, const QString &cacheFile);
    /** The list, one signature a line; empty until loaded. */
    const QString &signatures() const { return m_signatures; }
    bool isLoaded() const { return m_loaded; }

Q_SIGNALS:
    void loaded();

private:
    QThread *m_thread = nullptr;
    QString m_result; // written by the thread, read once it has finished
    QString m_signatures;
    bool m_loaded = false;
};
