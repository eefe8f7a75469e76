#pragma once

#include "search/sitefiles.h"

#include <QHash>
#include <QSet>
#include <QList>
#include <QObject>
#include <QReadWriteLock>
#include <QString>
#include <QStringList>

#include <memory>
#include <string_view>

/**
 * The PHP definitions of a site, for "go to definition" (F12) and for completion.
 *
 * How to use it (completion included):
 *   DefinitionIndex index;
 *   index.setFile(path, bytes);                 // or DefinitionIndexer builds it for a whole site
 *   for (const Definition &d : index.find(u"wp_die")) … d.file, d.line …
 *   for (const Definition &d : index.startingWith(u"wp_", 50)) … completion …
 *
 * Names are matched without regard to ASCII letter case (PHP's rule for functions
 * and classes; constants are matched the same way, so a user typing `e_all` still
 * finds E_ALL). Every call may be made from any thread: the index takes a lock.
 */
enum class DefinitionKind { Function, Class, Interface, Trait, Enum, Method, Constant };

struct Definition
{
    DefinitionKind kind = DefinitionKind::Function;
    QString name;      // as written: `wp_die`, `WP_Query`, `ABSPATH`
    QString container; // the class, interface, trait or enum of a method or class constant; else empty
    QString nameSpace; // the namespace in force (`App\Models`), empty for the global one
    QString file;      // as given to setFile
    int line = 0;      // 1-based line of the name

    bool operator==(const Definition &) const = default;
};

/** The definitions of one PHP file's bytes, in the order they appear; `file` is left empty. */
QList<Definition> scanDefinitions(std::string_view source);

/** The French word for a kind, as the list of candidates shows it ("fonction", "méthode"…). */
QString definitionKindText(DefinitionKind kind);

class DefinitionIndex
{
public:
    /** Replaces what the index holds for `file` by the definitions of `source`. */
    void setFile(const QString &file, std::string_view source);
    /** Replaces what the index holds for `file` by `definitions` (already scanned). */
    void setDefinitions(const QString &file, QList<Definition> definitions);
    void removeFile(const QString &file);
    void clear();
    /** `file` is left out for its size: it holds no definitions here, and is named by tooLargeFiles(). */
    void setTooLarge(const QString &file);
    /** The files left out for their size, sorted. */
    QStringList tooLargeFiles() const;

    /** Every definition named `name` (case ignored), sorted by file then line. */
    QList<Definition> find(QStringView name) const;
    /** Up to `limit` definitions whose name starts with `prefix` (case ignored), sorted by name. */
    QList<Definition> startingWith(QStringView prefix, qsizetype limit) const;
    /** The files the index holds definitions for (a file with none counts too). */
    QStringList files() const;
    qsizetype definitionCount() const;

private:
    void removeLocked(const QString &file);

    mutable QReadWriteLock m_lock;
    QHash<QString, QList<Definition>> m_byFile;
    QHash<QString, QList<Definition>> m_byName; // key: the name in lower case
    QSet<QString> m_tooLarge;
};

/** The file names whose definitions the index reads: PHP's usual extensions (.php, .inc, .phtml…). */
bool isPhpFileName(QStringView name);

/**
 * Keeps the definition index of one site: built in the background at the first
 * use, brought up to date file by file after each save, and when a watched
 * folder of the site changes (a file added, removed or replaced by another
 * program: a checkout, another editor), in the background too. Lives on the UI
 * thread; `ready` comes there once a build is complete.
 */
class DefinitionIndexer : public QObject
{
    Q_OBJECT
public:
    explicit DefinitionIndexer(QObject *parent = nullptr);
    /** Cancels a build under way and waits for its thread. */
    ~DefinitionIndexer() override;

    /** Starts building the index of `site` unless it is built or being built already. */
    void ensureBuilt(const Site &site);
    /** Whether the index of `site` is complete. */
    bool isReadyFor(const Site &site) const { return m_ready && m_site == site; }
    bool isBuilding() const { return m_building != nullptr; }
    /**
     * Reads `file` (an absolute path) again, after a save: its definitions replace
     * the old ones. A file outside the site, or not PHP, changes nothing; a file
     * that cannot be read any more is dropped.
     */
    void updateFile(const QString &file);
    /** The index; definitions' `file` are absolute paths. */
    const DefinitionIndex &index() const { return *m_index; }
    /** Waits until a build under way ends and is taken in (tests, benchmarks); false on time-out. */
    bool waitReady(int milliseconds);

    /** The folders watched for changes (absolute paths). */
    QStringList watchedFolders() const;

signals:
    void ready();
    /** Files changed in a watched folder were read again. */
    void folderRead();

private:
    struct Build;
    struct FolderRead;
    void takeBuild(const std::shared_ptr<Build> &build);
    bool belongsToSite(const QString &file) const;
    void readChangedFolders();
    void stopFolderRead();

    Site m_site;
    bool m_ready = false;
    std::shared_ptr<DefinitionIndex> m_index;
    std::shared_ptr<Build> m_building;
    QStringList m_savedWhileBuilding;
    class QFileSystemWatcher *m_watcher = nullptr;
    class QTimer *m_settle = nullptr; // changes come in bursts: read once they pause
    QStringList m_changedFolders;
    std::shared_ptr<FolderRead> m_folderRead;
};
