#include "settings/sidefiles.h"

#include "io/savefile.h"
#include "io/ansitext.h"

#include <QCoreApplication>
#include <QHashFunctions>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

SideFilePaths sideFilePaths(const QString &base)
{
    return {base + QStringLiteral(".ini"), base + QStringLiteral(".php"), base + QStringLiteral(".qry")};
}

QString sideFileBaseFor(const QString &executablePath, const QString &configFolder, bool installedCopy)
{
    const QFileInfo exe(executablePath);
    const QString name = exe.completeBaseName(); // the last extension goes
    if (!installedCopy)
        return QDir(exe.absolutePath()).filePath(name);
    return QDir(configFolder).filePath(QStringLiteral("ondrel/") + name);
}

QString installFolder()
{
#ifdef ONDREL_INSTALL_BINDIR
    return QStringLiteral(ONDREL_INSTALL_BINDIR);
#else
    return QString();
#endif
}

bool isInstalledCopy(const QString &executablePath)
{
    const QString folder = QFileInfo(executablePath).absolutePath();
    // Root may write anywhere, so the install folder itself marks an installed copy.
    const QString installed = QFileInfo(installFolder()).canonicalFilePath();
    if (!installed.isEmpty() && QFileInfo(folder).canonicalFilePath() == installed)
        return true;
    return ::access(QFile::encodeName(folder).constData(), W_OK) != 0;
}

QString sideFileBaseOf(const QString &executablePath)
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return sideFileBaseFor(executablePath, config, isInstalledCopy(executablePath));
}

QString defaultSideFileBase()
{
    const QString exe = QCoreApplication::applicationFilePath();
    const QString base = sideFileBaseOf(exe);
    if (isInstalledCopy(exe))
        QDir().mkpath(QFileInfo(base).absolutePath());
    return base;
}

QString keywordTextFromFile(const QByteArray &bytes)
{
    QString text;
    for (const RawLine &line : splitRawLines(bytes)) {
        text += decodeLine(line.text);
        if (!line.lineBreak.isEmpty())
            text += u'\n';
    }
    return text;
}

QByteArray keywordFileFromLines(const QStringList &lines)
{
    return lines.join(QStringLiteral("\r\n")).toUtf8();
}

namespace {

constexpr char16_t kStoredLf = 0x2028; // LINE SEPARATOR
constexpr char16_t kStoredCr = 0x2029; // PARAGRAPH SEPARATOR

} // namespace

QStringList historyFromFile(const QByteArray &bytes)
{
    QStringList items;
    for (const RawLine &line : splitRawLines(bytes)) {
        QString item = decodeLine(line.text);
        item.replace(QChar(kStoredLf), QChar(u'\n')).replace(QChar(kStoredCr), QChar(u'\r'));
        items.append(item);
    }
    return items;
}

QByteArray historyFileFromItems(const QStringList &items)
{
    QByteArray bytes;
    for (const QString &item : items) {
        if (isSecretStatement(item))
            continue;
        QString line = item;
        line.replace(QChar(u'\n'), QChar(kStoredLf)).replace(QChar(u'\r'), QChar(kStoredCr));
        bytes += line.toUtf8() + "\r\n";
    }
    return bytes;
}

bool isSecretStatement(const QString &statement)
{
    return statement.contains(QLatin1String("IDENTIFIED"), Qt::CaseInsensitive)
           || statement.contains(QLatin1String("PASSWORD"), Qt::CaseInsensitive);
}

QStringList mergedHistory(const QStringList &disk, const QStringList &loaded, const QStringList &now)
{
    // The run's changes, in one walk: the run's list only loses items and gains new ones at its end.
    QSet<QString> removed;
    qsizetype kept = 0;
    for (const QString &item : loaded) {
        if (kept < now.size() && now[kept] == item)
            ++kept;
        else
            removed.insert(item);
    }
    const QStringList added = now.mid(kept);

    // Letter case ignored, two equal items have the same length: only the disk's items of a
    // length some added item has are folded and looked up.
    QSet<QString> addedFolded;
    QSet<qsizetype> addedLengths;
    for (const QString &item : added) {
        addedFolded.insert(item.toCaseFolded());
        addedLengths.insert(item.size());
    }
    QStringList merged;
    merged.reserve(disk.size() + added.size());
    QSet<QString> present; // folded
    for (const QString &item : disk) {
        if (!removed.isEmpty() && removed.contains(item))
            continue;
        merged.append(item);
        if (addedLengths.contains(item.size())) {
            const QString folded = item.toCaseFolded();
            if (addedFolded.contains(folded))
                present.insert(folded);
        }
    }
    for (const QString &item : added) {
        const QString folded = item.toCaseFolded();
        if (!present.contains(folded)) {
            present.insert(folded);
            merged.append(item);
        }
    }
    return merged;
}

namespace {

QString settingId(const StoredSetting &setting)
{
    return setting.section + u'/' + setting.key;
}

} // namespace

void SideFileState::noteSettings(const QList<StoredSetting> &values, bool loaded)
{
    for (const StoredSetting &s : values) {
        settingsAtStart.insert(settingId(s), s.value);
        if (loaded)
            settingsLoaded.insert(settingId(s));
        else
            settingsLoaded.remove(settingId(s));
    }
}

void SideFileState::noteSaved(const QList<StoredSetting> &values)
{
    for (const StoredSetting &s : values) {
        if (changed(s) || settingsLoaded.contains(settingId(s))) {
            settingsAtStart.insert(settingId(s), s.value);
            settingsLoaded.insert(settingId(s));
        }
    }
}

bool SideFileState::changed(const StoredSetting &setting) const
{
    const auto it = settingsAtStart.constFind(settingId(setting));
    return it == settingsAtStart.cend() || *it != setting.value;
}

void SideFileState::mergeSettings(ProfileFile &disk, const QList<StoredSetting> &values,
                                  QStringView wholeSection) const
{
    QStringList wholeKeys;
    for (const StoredSetting &s : values) {
        if (s.section == wholeSection)
            wholeKeys.append(s.key);
    }
    disk.keepOnly(wholeSection, wholeKeys);
    for (const StoredSetting &s : values) {
        if (changed(s) || (settingsLoaded.contains(settingId(s)) && !disk.contains(s.section, s.key)))
            disk.writeString(s.section, s.key, s.value);
    }
}

QByteArray sideFileDigest(const QByteArray &bytes)
{
    // Size and a 64-bit hash: enough to notice another program's change, and quick on large files.
    const quint64 parts[2] = {quint64(bytes.size()), quint64(qHashBits(bytes.constData(), size_t(bytes.size()), 0))};
    return QByteArray(reinterpret_cast<const char *>(parts), sizeof parts);
}

bool keepOwnerOnly(const QString &path, QString *why)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) == 0 && (info.st_mode & 077) == 0)
        return true;
    if (::stat(name.constData(), &info) != 0 || ::chmod(name.constData(), info.st_mode & 07700) != 0) {
        if (why)
            *why = saveFailureReason(errno);
        return false;
    }
    return true;
}
