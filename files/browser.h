#pragma once

#include <QComboBox>
#include <QListWidget>

/** Drive selector: Linux has no drive letters, so it lists the mounted file systems, "/" first. */
class DriveComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit DriveComboBox(QWidget *parent = nullptr);
};

/** Filter selector: "text|mask|text|mask…" entries; choosing one gives its mask to the file list. */
class FilterComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit FilterComboBox(QWidget *parent = nullptr);
    void setFilter(const QString &filter);
    QString filter() const { return m_filter; }

private:
    QString m_filter;
};

/** Folder list: the current folder's path from the root down, then its subfolders. */
class DirectoryListBox : public QListWidget
{
    Q_OBJECT
public:
    explicit DirectoryListBox(QWidget *parent = nullptr);

    QString currentFolder() const { return m_folder; }
    /**
     * Makes `folder` the current folder (and the process's current folder) and
     * refreshes the linked file list; throws OndrelError when it cannot be entered,
     * leaving everything where it was.
     */
    void setCurrentFolder(const QString &folder);

private:
    QString m_folder;
};

/** File list: files only, no hidden files, sorted without regard to case. */
class FileListBox : public QListWidget
{
    Q_OBJECT
public:
    explicit FileListBox(QWidget *parent = nullptr);

Q_SIGNALS:
    /** A mouse button was pressed, after the list has updated its selection. */
    void mouseDown(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
