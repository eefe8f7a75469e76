#include "base/errors.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>

OndrelError::OndrelError(const QString &message)
    : std::runtime_error(message.toStdString())
    , m_message(message)
{
}

QString cannotOpenMessage(const QString &path)
{
    return QStringLiteral("Impossible d'ouvrir le fichier %1").arg(path);
}

QString cannotCreateMessage(const QString &path, const QString &reason)
{
    const QString message = QStringLiteral("Impossible de créer le fichier %1").arg(path);
    return reason.isEmpty() ? message : message + QLatin1Char('\n') + reason;
}

QString cannotWriteMessage(const QString &path, const QString &reason)
{
    const QString message = QStringLiteral("Impossible d'écrire dans %1").arg(path);
    return reason.isEmpty() ? message : message + QLatin1Char('\n') + reason;
}

QString applicationTitleFor(const QString &executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.isEmpty())
        return name;
    return name.left(1).toUpper() + name.mid(1).toLower();
}

QString applicationTitle()
{
    return applicationTitleFor(QCoreApplication::applicationFilePath());
}

QString withFullStop(const QString &text)
{
    if (!text.isEmpty() && text.back().unicode() > u'.')
        return text + QLatin1Char('.');
    return text;
}

static void showBox(QWidget *parent, QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box(icon, applicationTitle(), text, QMessageBox::Ok, parent);
    box.setObjectName(icon == QMessageBox::NoIcon ? QStringLiteral("plainBox")
                                                  : QStringLiteral("errorBox"));
    box.exec();
}

void showErrorBox(QWidget *parent, const QString &message)
{
    showBox(parent, QMessageBox::Critical, withFullStop(message));
}

void showPlainBox(QWidget *parent, const QString &message)
{
    showBox(parent, QMessageBox::NoIcon, message);
}

void printMessage(const QString &message)
{
    QString name = QCoreApplication::applicationName();
    if (name.isEmpty())
        name = QStringLiteral("ondrel");
    std::fprintf(stderr, "%s : %s\n", qPrintable(name), qPrintable(message));
    std::fflush(stderr);
}
