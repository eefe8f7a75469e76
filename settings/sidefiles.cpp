#include "settings/sidefiles.h"

#include "settings/ansitext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

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

QStringList mergedHistory(const QStringList &stored, const QStringList &added)
{
    QStringList merged = stored;
    QSet<QString> present;
    for (const QString &item : stored)
        present.insert(item.toCaseFolded());
    for (const QString &item : added) {
        if (!present.contains(item.toCaseFolded())) {
            present.insert(item.toCaseFolded());
            merged.append(item);
        }
    }
    return merged;
}
