// The definition index: a walk over the tokens of each PHP file that notes where
// functions, classes, interfaces, traits, enums, methods and constants are
// declared, kept per file so that saving one file replaces only its entries.
#include "search/definitionindex.h"

#include "io/textbytes.h"
#include "search/phplexer.h"

#include "io/readfile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSet>
#include <QTimer>
#include <QMetaObject>
#include <QReadLocker>
#include <QThread>
#include <QWriteLocker>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

/** The tokens that carry meaning, with one step of look-ahead. */
class CodeTokens
{
public:
    explicit CodeTokens(std::string_view source) : m_src(source), m_lexer(source) {}

    PhpToken next()
    {
        if (!m_ahead.empty()) {
            const PhpToken t = m_ahead.back();
            m_ahead.pop_back();
            return t;
        }
        for (;;) {
            const PhpToken t = m_lexer.next();
            if (t.kind != PhpTokenKind::Comment && t.kind != PhpTokenKind::DocComment
                && t.kind != PhpTokenKind::InlineHtml && t.kind != PhpTokenKind::OpenTag)
                return t;
        }
    }
    PhpToken peek()
    {
        const PhpToken t = next();
        m_ahead.push_back(t);
        return t;
    }
    void putBack(const PhpToken &t) { m_ahead.push_back(t); }
    std::string_view text(const PhpToken &t) const { return t.text(m_src); }
    bool isPunct(const PhpToken &t, std::string_view p) const { return t.kind == PhpTokenKind::Punct && text(t) == p; }

private:
    std::string_view m_src;
    PhpLexer m_lexer;
    std::vector<PhpToken> m_ahead;
};

bool equalsNoCase(std::string_view text, std::string_view lower)
{
    if (text.size() != lower.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != lower[i])
            return false;
    }
    return true;
}

QString nameText(std::string_view bytes)
{
    if (bytes.starts_with('\\'))
        bytes.remove_prefix(1);
    return isAscii(bytes.data(), qsizetype(bytes.size())) ? QString::fromLatin1(bytes.data(), qsizetype(bytes.size()))
                                                          : fromUtf8OrWindows1252(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

/** The name inside a plain quoted string ('NAME' or "NAME"), or empty when it holds anything else. */
QString quotedName(std::string_view quoted)
{
    if (quoted.size() < 3 || (quoted.front() != '\'' && quoted.front() != '"') || quoted.back() != quoted.front())
        return {};
    const std::string_view inner = quoted.substr(1, quoted.size() - 2);
    for (const char c : inner) {
        if (!isPhpNameByte(static_cast<unsigned char>(c)) && c != '\\')
            return {};
    }
    return nameText(inner);
}

struct ClassScope
{
    int depth; // the brace depth inside the body
    QString name;
    bool isEnum;
};

class Scanner
{
public:
    explicit Scanner(std::string_view source) : m_tokens(source) {}

    QList<Definition> run()
    {
        PhpToken prev{};
        for (PhpToken t = m_tokens.next(); t.kind != PhpTokenKind::End; prev = t, t = m_tokens.next()) {
            if (t.kind == PhpTokenKind::Punct)
                punct(m_tokens.text(t));
            else if (t.kind == PhpTokenKind::Name && !isMemberAccess(prev))
                name(t, prev);
        }
        return m_found;
    }

private:
    bool isMemberAccess(const PhpToken &prev) const
    {
        if (prev.kind != PhpTokenKind::Punct)
            return false;
        const std::string_view p = m_tokens.text(prev);
        return p == "->" || p == "?->" || p == "::";
    }

    void punct(std::string_view p)
    {
        if (p == "{") {
            ++m_depth;
            if (m_pendingClass) {
                m_classes.push_back({m_depth, m_pendingName, m_pendingEnum});
                m_pendingClass = false;
            }
        } else if (p == "}") {
            if (!m_classes.empty() && m_classes.back().depth == m_depth)
                m_classes.pop_back();
            m_depth = std::max(0, m_depth - 1);
        } else if (p == ";") {
            m_pendingClass = false;
        }
    }

    bool inClassBody() const { return !m_classes.empty() && m_classes.back().depth == m_depth; }

    void add(DefinitionKind kind, const PhpToken &t, bool member)
    {
        add(kind, nameText(m_tokens.text(t)), t.line, member);
    }
    void add(DefinitionKind kind, const QString &name, std::uint32_t line, bool member)
    {
        if (name.isEmpty())
            return;
        Definition d;
        d.kind = kind;
        d.name = name;
        d.container = member ? m_classes.back().name : QString();
        d.nameSpace = m_namespace;
        d.line = int(line);
        m_found.append(std::move(d));
    }

    void name(const PhpToken &t, const PhpToken &prev)
    {
        const std::string_view word = m_tokens.text(t);
        const bool afterUse = prev.kind == PhpTokenKind::Name && equalsNoCase(m_tokens.text(prev), "use");
        if (equalsNoCase(word, "function")) {
            if (!afterUse)
                function();
        } else if (equalsNoCase(word, "class")) {
            if (!(prev.kind == PhpTokenKind::Name && equalsNoCase(m_tokens.text(prev), "new")))
                classLike(DefinitionKind::Class);
        } else if (equalsNoCase(word, "interface")) {
            classLike(DefinitionKind::Interface);
        } else if (equalsNoCase(word, "trait")) {
            classLike(DefinitionKind::Trait);
        } else if (equalsNoCase(word, "enum")) {
            enumDeclaration();
        } else if (equalsNoCase(word, "const")) {
            if (!afterUse)
                constants();
        } else if (equalsNoCase(word, "case")) {
            if (inClassBody() && m_classes.back().isEnum) {
                const PhpToken n = m_tokens.peek();
                if (n.kind == PhpTokenKind::Name)
                    add(DefinitionKind::Constant, n, true);
            }
        } else if (equalsNoCase(word, "define") || equalsNoCase(word, "\\define")) {
            define();
        } else if (equalsNoCase(word, "namespace")) {
            namespaceDeclaration();
        }
    }

    void function()
    {
        PhpToken n = m_tokens.next();
        if (m_tokens.isPunct(n, "&"))
            n = m_tokens.next();
        if (n.kind != PhpTokenKind::Name) {
            m_tokens.putBack(n); // a closure: its "(" and "{" still count
            return;
        }
        const bool member = inClassBody();
        add(member ? DefinitionKind::Method : DefinitionKind::Function, n, member);
    }

    void classLike(DefinitionKind kind)
    {
        const PhpToken n = m_tokens.peek();
        if (n.kind != PhpTokenKind::Name)
            return;
        add(kind, n, false);
        m_pendingClass = true;
        m_pendingName = nameText(m_tokens.text(n));
        m_pendingEnum = false;
    }

    void enumDeclaration()
    {
        const PhpToken n = m_tokens.next();
        if (n.kind != PhpTokenKind::Name) {
            m_tokens.putBack(n);
            return;
        }
        const PhpToken after = m_tokens.peek();
        const bool declaration = m_tokens.isPunct(after, "{") || m_tokens.isPunct(after, ":")
                                 || (after.kind == PhpTokenKind::Name && equalsNoCase(m_tokens.text(after), "implements"));
        if (!declaration) {
            m_tokens.putBack(n);
            return;
        }
        add(DefinitionKind::Enum, n, false);
        m_pendingClass = true;
        m_pendingName = nameText(m_tokens.text(n));
        m_pendingEnum = true;
    }

    /** `const A = 1, B = [2, 3];`, typed or not: the name is the last one before each "=". */
    void constants()
    {
        const bool member = inClassBody();
        PhpToken lastName{};
        int nesting = 0;
        bool inValue = false; // after "=": skip to the next "," at the outer level
        for (PhpToken t = m_tokens.next(); t.kind != PhpTokenKind::End; t = m_tokens.next()) {
            const std::string_view p = t.kind == PhpTokenKind::Punct ? m_tokens.text(t) : std::string_view();
            if (t.kind == PhpTokenKind::CloseTag || p == "{" || p == "}" || (p == ";" && nesting == 0)) {
                m_tokens.putBack(t);
                return;
            }
            if (p == "(" || p == "[") {
                ++nesting;
            } else if (p == ")" || p == "]") {
                nesting = std::max(0, nesting - 1);
            } else if (nesting > 0) {
                continue;
            } else if (p == "=" && !inValue && lastName.kind == PhpTokenKind::Name) {
                add(DefinitionKind::Constant, lastName, member);
                lastName = {};
                inValue = true;
            } else if (p == ",") {
                inValue = false;
            } else if (t.kind == PhpTokenKind::Name && !inValue) {
                lastName = t;
            }
        }
    }

    void define()
    {
        const PhpToken open = m_tokens.next();
        if (!m_tokens.isPunct(open, "(")) {
            m_tokens.putBack(open);
            return;
        }
        const PhpToken s = m_tokens.peek();
        if (s.kind == PhpTokenKind::String)
            add(DefinitionKind::Constant, quotedName(m_tokens.text(s)), s.line, false);
    }

    void namespaceDeclaration()
    {
        const PhpToken n = m_tokens.peek();
        if (n.kind == PhpTokenKind::Name)
            m_namespace = nameText(m_tokens.text(n));
        else if (m_tokens.isPunct(n, "{"))
            m_namespace.clear();
    }

    CodeTokens m_tokens;
    QList<Definition> m_found;
    std::vector<ClassScope> m_classes;
    int m_depth = 0;
    bool m_pendingClass = false;
    bool m_pendingEnum = false;
    QString m_pendingName;
    QString m_namespace;
};

bool byFileThenLine(const Definition &a, const Definition &b)
{
    return a.file != b.file ? a.file < b.file : a.line < b.line;
}

} // namespace

QList<Definition> scanDefinitions(std::string_view source)
{
    return Scanner(source).run();
}

QString definitionKindText(DefinitionKind kind)
{
    switch (kind) {
    case DefinitionKind::Function: return QStringLiteral("fonction");
    case DefinitionKind::Class: return QStringLiteral("classe");
    case DefinitionKind::Interface: return QStringLiteral("interface");
    case DefinitionKind::Trait: return QStringLiteral("trait");
    case DefinitionKind::Enum: return QStringLiteral("énumération");
    case DefinitionKind::Method: return QStringLiteral("méthode");
    case DefinitionKind::Constant: return QStringLiteral("constante");
    }
    return {};
}

void DefinitionIndex::setFile(const QString &file, std::string_view source)
{
    setDefinitions(file, scanDefinitions(source));
}

void DefinitionIndex::setDefinitions(const QString &file, QList<Definition> definitions)
{
    for (Definition &d : definitions)
        d.file = file;
    QWriteLocker lock(&m_lock);
    removeLocked(file);
    for (const Definition &d : std::as_const(definitions))
        m_byName[d.name.toLower()].append(d);
    m_byFile.insert(file, std::move(definitions));
}

void DefinitionIndex::removeFile(const QString &file)
{
    QWriteLocker lock(&m_lock);
    removeLocked(file);
}

void DefinitionIndex::setTooLarge(const QString &file)
{
    QWriteLocker lock(&m_lock);
    removeLocked(file);
    m_tooLarge.insert(file);
}

QStringList DefinitionIndex::tooLargeFiles() const
{
    QReadLocker lock(&m_lock);
    QStringList files = m_tooLarge.values();
    files.sort();
    return files;
}

void DefinitionIndex::removeLocked(const QString &file)
{
    m_tooLarge.remove(file);
    const auto it = m_byFile.constFind(file);
    if (it == m_byFile.cend())
        return;
    for (const Definition &d : *it) {
        const QString key = d.name.toLower();
        auto named = m_byName.find(key);
        if (named == m_byName.end())
            continue;
        named->removeIf([&](const Definition &other) { return other.file == file; });
        if (named->isEmpty())
            m_byName.erase(named);
    }
    m_byFile.erase(it);
}

void DefinitionIndex::clear()
{
    QWriteLocker lock(&m_lock);
    m_byFile.clear();
    m_byName.clear();
    m_tooLarge.clear();
}

QList<Definition> DefinitionIndex::find(QStringView name) const
{
    QList<Definition> found;
    {
        QReadLocker lock(&m_lock);
        found = m_byName.value(name.toString().toLower());
    }
    std::sort(found.begin(), found.end(), byFileThenLine);
    return found;
}

QList<Definition> DefinitionIndex::startingWith(QStringView prefix, qsizetype limit) const
{
    const QString lower = prefix.toString().toLower();
    QList<Definition> found;
    {
        QReadLocker lock(&m_lock);
        for (auto it = m_byName.cbegin(); it != m_byName.cend(); ++it) {
            if (it.key().startsWith(lower))
                found.append(*it);
        }
    }
    std::sort(found.begin(), found.end(), [](const Definition &a, const Definition &b) {
        const int byName = a.name.compare(b.name, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : byFileThenLine(a, b);
    });
    if (found.size() > limit)
        found.resize(std::max<qsizetype>(0, limit));
    return found;
}

QStringList DefinitionIndex::files() const
{
    QReadLocker lock(&m_lock);
    return m_byFile.keys();
}

qsizetype DefinitionIndex::definitionCount() const
{
    QReadLocker lock(&m_lock);
    qsizetype n = 0;
    for (const QList<Definition> &list : m_byFile)
        n += list.size();
    return n;
}

bool isPhpFileName(QStringView name)
{
    static const char *const kExtensions[] = {".php", ".inc", ".phtml", ".php3", ".php4", ".php5", ".php7", ".php8"};
    for (const char *extension : kExtensions) {
        if (name.endsWith(QLatin1StringView(extension), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

namespace {

/** Files larger than this are not indexed: generated or minified code, not the site's definitions. */
constexpr qint64 kMaxIndexedBytes = qint64(4) << 20;

/** Reads `path` into `index`: its definitions, or the note that it is too large for it. */
void indexFile(DefinitionIndex &index, const QString &path)
{
    const ReadResult read = readWholeFile(path, kMaxIndexedBytes);
    if (read.error == ReadError::TooLarge)
        index.setTooLarge(path);
    else if (!read.ok() || isBinaryContent(read.bytes))
        index.setDefinitions(path, {});
    else
        index.setDefinitions(path, scanDefinitions(std::string_view(read.bytes.constData(), size_t(read.bytes.size()))));
}

} // namespace

struct DefinitionIndexer::Build
{
    Site site;
    std::shared_ptr<DefinitionIndex> index = std::make_shared<DefinitionIndex>();
    std::atomic<bool> cancel{false};
    std::atomic<qsizetype> next{0};
    QStringList files;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable ended;
    bool over = false;

    void work()
    {
        const QString root = site.root == u"/" ? QString() : site.root;
        for (qsizetype i = next++; i < files.size() && !cancel; i = next++) {
            const QString path = root + u'/' + files[i];
            indexFile(*index, path);
        }
    }
    QStringList folders; // relative, "" for the site's own, of every file listed

    void run()
    {
        QSet<QStringView> seen;
        const QStringList listed = listSiteFiles(site, &cancel).files;
        folders.append(QString());
        for (const QString &file : listed) {
            const qsizetype slash = file.lastIndexOf(u'/');
            if (slash > 0 && !seen.contains(QStringView(file).left(slash))) {
                seen.insert(QStringView(file).left(slash));
                folders.append(file.left(slash));
            }
            if (isPhpFileName(file))
                files.append(file);
        }
        const int helpers = std::clamp(QThread::idealThreadCount(), 1, 4) - 1;
        std::vector<std::thread> threads;
        for (int i = 0; i < helpers; ++i)
            threads.emplace_back([this] { work(); });
        work();
        for (std::thread &t : threads)
            t.join();
    }
};

/** Files of changed folders read again off the UI thread, into the index they belong to. */
struct DefinitionIndexer::FolderRead
{
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::thread thread;

    void run(const std::shared_ptr<DefinitionIndex> &index, const QStringList &folders)
    {
        for (const QString &folder : folders) {
            QSet<QString> present;
            const QDir dir(folder);
            for (const QFileInfo &entry : dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot)) {
                if (cancel)
                    return;
                if (!isPhpFileName(entry.fileName()))
                    continue;
                present.insert(entry.filePath());
                indexFile(*index, entry.filePath());
            }
            for (const QString &file : index->files()) {
                if (QFileInfo(file).path() == folder && !present.contains(file))
                    index->removeFile(file);
            }
        }
    }
};

// Beyond this many folders a site is not watched: the system's limit on watches
// is shared by every program of the user.
constexpr qsizetype kMostWatchedFolders = 4000;
constexpr int kFolderSettleMs = 300;

DefinitionIndexer::DefinitionIndexer(QObject *parent)
    : QObject(parent)
    , m_index(std::make_shared<DefinitionIndex>())
    , m_watcher(new QFileSystemWatcher(this))
    , m_settle(new QTimer(this))
{
    m_settle->setSingleShot(true);
    m_settle->setInterval(kFolderSettleMs);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this](const QString &folder) {
        if (!m_changedFolders.contains(folder))
            m_changedFolders.append(folder);
        m_settle->start();
    });
    connect(m_settle, &QTimer::timeout, this, &DefinitionIndexer::readChangedFolders);
}

DefinitionIndexer::~DefinitionIndexer()
{
    stopFolderRead();
    if (m_building) {
        m_building->cancel = true;
        m_building->thread.join();
    }
}

QStringList DefinitionIndexer::watchedFolders() const
{
    return m_watcher->directories();
}

void DefinitionIndexer::stopFolderRead()
{
    if (m_folderRead) {
        m_folderRead->cancel = true;
        m_folderRead->thread.join();
        m_folderRead = nullptr;
    }
}

void DefinitionIndexer::readChangedFolders()
{
    if (!m_ready) {
        m_changedFolders.clear(); // a build under way lists the site anew
        return;
    }
    if (m_folderRead) {
        if (!m_folderRead->done) { // one read at a time: this one comes after
            m_settle->start();
            return;
        }
        m_folderRead->thread.join();
        m_folderRead = nullptr;
    }
    QStringList folders = std::exchange(m_changedFolders, {});
    // A folder made meanwhile is watched too, with what it holds (a checkout makes
    // folders and their files at once).
    const QString root = m_site.root;
    QStringList added;
    for (const QString &folder : std::as_const(folders)) {
        if (!m_site.recursive)
            break;
        QDirIterator it(folder, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString sub = it.next();
            const QString relative = QDir(root).relativeFilePath(sub);
            if (relative.contains(QLatin1String("/.")) || relative.startsWith(u'.')
                || relative.split(u'/').contains(QLatin1String("node_modules")))
                continue;
            if (!m_watcher->directories().contains(sub) && !folders.contains(sub) && !added.contains(sub))
                added.append(sub);
        }
    }
    const qsizetype room = kMostWatchedFolders - m_watcher->directories().size();
    if (!added.isEmpty() && room > 0)
        m_watcher->addPaths(added.mid(0, room));
    folders += added;
    auto read = std::make_shared<FolderRead>();
    m_folderRead = read;
    read->thread = std::thread([this, read, index = m_index, folders] {
        read->run(index, folders);
        read->done = true;
        QMetaObject::invokeMethod(this, [this] { emit folderRead(); }, Qt::QueuedConnection);
    });
}

void DefinitionIndexer::ensureBuilt(const Site &site)
{
    if (!site.isValid() || (m_site == site && (m_ready || m_building)))
        return;
    if (m_building) {
        m_building->cancel = true;
        m_building->thread.join();
    }
    m_site = site;
    m_ready = false;
    m_savedWhileBuilding.clear();
    auto build = std::make_shared<Build>();
    build->site = site;
    m_building = build;
    build->thread = std::thread([this, build] {
        build->run();
        QMetaObject::invokeMethod(this, [this, build] { takeBuild(build); }, Qt::QueuedConnection);
        std::lock_guard lock(build->mutex);
        build->over = true;
        build->ended.notify_all();
    });
}

void DefinitionIndexer::takeBuild(const std::shared_ptr<Build> &build)
{
    if (build != m_building)
        return;
    build->thread.join();
    m_building = nullptr;
    if (build->cancel)
        return;
    m_index = build->index;
    m_ready = true;
    stopFolderRead();
    m_changedFolders.clear();
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    if (build->folders.size() <= kMostWatchedFolders) {
        QStringList folders;
        const QString root = m_site.root == u"/" ? QString() : m_site.root;
        for (const QString &folder : std::as_const(build->folders))
            folders.append(folder.isEmpty() ? m_site.root : root + u'/' + folder);
        m_watcher->addPaths(folders);
    }
    // A save during the build may have been read before it: read those files again.
    for (const QString &file : std::exchange(m_savedWhileBuilding, {}))
        updateFile(file);
    emit ready();
}

bool DefinitionIndexer::waitReady(int milliseconds)
{
    if (const std::shared_ptr<Build> build = m_building) {
        std::unique_lock lock(build->mutex);
        if (!build->ended.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return build->over; }))
            return false;
        lock.unlock();
        takeBuild(build);
    }
    return m_ready;
}

bool DefinitionIndexer::belongsToSite(const QString &file) const
{
    if (!m_site.isValid() || !isPhpFileName(file))
        return false;
    const QString folder = m_site.root == u"/" ? QStringLiteral("/") : m_site.root + u'/';
    if (!file.startsWith(folder))
        return false;
    return m_site.recursive || !file.mid(folder.size()).contains(u'/');
}

void DefinitionIndexer::updateFile(const QString &file)
{
    if (!belongsToSite(file))
        return;
    if (m_building)
        m_savedWhileBuilding.append(file);
    if (!m_ready)
        return;
    if (QFileInfo(file).isFile())
        indexFile(*m_index, file);
    else
        m_index->removeFile(file);
}
