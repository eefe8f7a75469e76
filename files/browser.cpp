#include "files/browser.h"

#include "app/errors.h"

#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>

DriveComboBox::DriveComboBox(QWidget *parent)
    : QComboBox(parent)
{
}

FilterComboBox::FilterComboBox(QWidget *parent)
    : QComboBox(parent)
{
}

void FilterComboBox::setFilter(const QString &filter)
{
    m_filter = filter;
    clear();
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        addItem(parts[i], parts[i + 1]);
}

DirectoryListBox::DirectoryListBox(QWidget *parent)
    : QListWidget(parent)
    , m_folder(QDir::currentPath())
{
}

void DirectoryListBox::setCurrentFolder(const QString &folder)
{
    const QString absolute = QDir(folder).absolutePath();
    if (!QFileInfo(absolute).isDir() || !QDir::setCurrent(absolute))
        throw OndrelError(QStringLiteral("Impossible d'accéder au dossier %1").arg(folder));
    m_folder = absolute;
}

FileListBox::FileListBox(QWidget *parent)
    : QListWidget(parent)
{
}

void FileListBox::mousePressEvent(QMouseEvent *event)
{
    QListWidget::mousePressEvent(event);
    Q_EMIT mouseDown(event->button());
}
