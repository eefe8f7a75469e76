// The site's file list: a walk of the folder tree with the standard directory
// calls (QDirIterator stats every entry, which doubles the time on a big tree),
// skipping hidden folders, node_modules and what .ondrelignore names.
#include "search/sitefiles.h"

#include "io/readfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/** The regular expression of one .gitignore glob (no "/" handling beyond "*" not crossing it). */
QString globToRegex(QStringView glob)
{
    QString re;
    for (qsizetype i = 0; i < glob.size(); ++i) {
        const QChar c = glob[i];
        if (c == u'*') {
            if (i + 1 < glob.size() && glob[i + 1] == u'*') {
                const bool slashBefore = i == 0 || glob[i - 1] == u'/';
                const bool slashAfter = i + 2 < glob.size() && glob[i + 2] == u'/';
                if (slashBefore && slashAfter) {
                    re += QStringLiteral("(?:.*/)?"); // "**/": any number of folders, none included
                    i += 2;
                    continue;
                }
                re += QStringLiteral(".*");
                ++i;
                continue;
            }
            re += QStringLiteral("[^/]*");
        } else if (c == u'?') {
            re += QStringLiteral("[^/]");
        } else if (c == u'[') {
            const qsizetype close = glob.indexOf(u']', i + 2);
            if (close < 0) {
                re += QStringLiteral("\\[");
                continue;
            }
            QString set = glob.mid(i + 1, close - i - 1).toString();
            if (set.startsWith(u'!'))
                set[0] = u'^';
            set.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
            re += u'[' + set + u']';
            i = close;
        } else if (c == u'\\' && i + 1 < glob.size()) {
            re += QRegularExpression::escape(glob.mid(++i, 1).toString());
        } else {
            re += QRegularExpression::escape(QString(c));
        }
    }
    return re;
}

bool isCancelled(const std::atomic<bool> *cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

struct Walker
{
    const IgnoreRules &rules;
    const std::atomic<bool> *cancel;
    qsizetype limit;
    bool recursive;
    SiteListing out;

    /**
     * Lists the folder open as `fd` (closed here), whose relative path is `prefix`
     * ("" or "a/b/") and, as the file system's bytes, `rawPrefix`.
     */
    void walk(int fd, const QString &prefix, const QByteArray &rawPrefix)
    {
        DIR *dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            ++out.unreadableFolders;
            return;
        }
        while (const dirent *entry = ::readdir(dir)) {
            if (out.files.size() >= limit) {
                out.truncated = true;
                break;
            }
            if (isCancelled(cancel))
                break;
            const char *name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN || type == DT_LNK) {
                struct stat st {};
                if (::fstatat(::dirfd(dir), name, &st, type == DT_LNK ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                // A link to a folder is not followed; a link to a file is a file.
                type = S_ISREG(st.st_mode) ? DT_REG : (S_ISDIR(st.st_mode) && entry->d_type != DT_LNK) ? DT_DIR : DT_UNKNOWN;
            }
            if (type != DT_REG && type != DT_DIR)
                continue;
            const QString path = prefix + QFile::decodeName(name);
            const QByteArray rawPath = rawPrefix + name;
            if (type == DT_DIR) {
                if (!recursive || name[0] == '.' || std::strcmp(name, "node_modules") == 0
                    || rules.ignores(path, true))
                    continue;
                const int sub = ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0)
                    walk(sub, path + u'/', rawPath + '/');
                else
                    ++out.unreadableFolders;
            } else if (!rules.ignores(path, false)) {
                // A name that is not UTF-8 is listed as the file list shows it, and read by its bytes.
                if (isLossyFileName(path)) {
                    if (out.rawPaths.contains(path)) {
                        ++out.unreadableFiles; // shown as another's name: it could not be told apart
                        continue;
                    }
                    out.rawPaths.insert(path, rawPath);
                }
                out.files.append(path);
            }
        }
        ::closedir(dir);
    }
};

} // namespace

Site siteFor(const QString &racine, const QString &editedFile, const QString &home)
{
    const QString cleanHome = QDir::cleanPath(home);
    const QString root = racine.trimmed().isEmpty() ? QString() : QDir::cleanPath(QDir(racine.trimmed()).absolutePath());
    if (!editedFile.isEmpty()) {
        const QString file = QDir::cleanPath(QFileInfo(editedFile).absoluteFilePath());
        const QString folder = QFileInfo(file).absolutePath();
        const QString rootSlash = root.endsWith(u'/') ? root : root + u'/';
        if (!root.isEmpty() && QFileInfo(root).isDir() && file.startsWith(rootSlash))
            return {root, true};
        if (!QFileInfo(folder).isDir())
            return {};
        return {folder, folder != cleanHome && folder != u"/"};
    }
    if (!root.isEmpty() && QFileInfo(root).isDir())
        return {root, true};
    return {};
}

IgnoreRules::IgnoreRules(const QString &text)
{
    for (QString line : text.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        // Trailing spaces go, unless escaped with "\".
        while (line.endsWith(u' ') && !line.endsWith(QStringLiteral("\\ ")))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        Rule rule;
        if (line.startsWith(u'!')) {
            rule.negated = true;
            line.remove(0, 1);
        } else if (line.startsWith(QStringLiteral("\\!")) || line.startsWith(QStringLiteral("\\#"))) {
            line.remove(0, 1);
        }
        if (line.endsWith(u'/')) {
            rule.foldersOnly = true;
            line.chop(1);
        }
        if (line.isEmpty())
            continue;
        // A pattern with a "/" before its end is anchored at the site; one without
        // matches a name at any depth.
        const bool anchored = line.contains(u'/');
        if (line.startsWith(u'/'))
            line.remove(0, 1);
        const QString body = globToRegex(line);
        rule.pattern.setPattern(anchored ? u'^' + body + u'$' : QStringLiteral("^(?:.*/)?") + body + u'$');
        rule.pattern.optimize();
        if (rule.pattern.isValid())
            m_rules.append(std::move(rule));
    }
}

bool IgnoreRules::ignores(QStringView relativePath, bool isFolder) const
{
    bool ignored = false;
    for (const Rule &rule : m_rules) {
        if (rule.foldersOnly && !isFolder)
            continue;
        if (ignored == rule.negated && rule.pattern.match(relativePath).hasMatch())
            ignored = !rule.negated;
    }
    return ignored;
}

SiteListing listSiteFiles(const Site &site, const std::atomic<bool> *cancel, qsizetype limit)
{
    if (!site.isValid())
        return {};
    IgnoreRules rules;
    const ReadResult ignoreFile = readWholeFile(site.root + QStringLiteral("/.ondrelignore"), qint64(1) << 20);
    if (ignoreFile.ok())
        rules = IgnoreRules(QString::fromUtf8(ignoreFile.bytes));
    Walker walker{rules, cancel, limit, site.recursive, {}};
    const int fd = ::open(QFile::encodeName(site.root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
        walker.walk(fd, QString(), QByteArray());
    else
        ++walker.out.unreadableFolders;
    std::sort(walker.out.files.begin(), walker.out.files.end());
    return std::move(walker.out);
}

QByteArray SiteListing::encodedPath(const QString &root, const QString &file) const
{
    const QByteArray base = root == u"/" ? QByteArray() : QFile::encodeName(root);
    const auto raw = rawPaths.constFind(file);
    return base + '/' + (raw != rawPaths.constEnd() ? *raw : QFile::encodeName(file));
}

QString unreadableCountText(qsizetype files, qsizetype folders)
{
    QStringList parts;
    if (files)
        parts << QStringLiteral("%1 fichier%2 illisible%2").arg(files).arg(files > 1 ? QStringLiteral("s") : QString());
    if (folders)
        parts << QStringLiteral("%1 dossier%2 illisible%2").arg(folders).arg(folders > 1 ? QStringLiteral("s") : QString());
    return parts.join(QStringLiteral(", "));
}
