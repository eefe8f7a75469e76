#include "files/browser.h"

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
{
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
