#pragma once

#include <QComboBox>
#include <QHash>
#include <QListWidget>

class DirectoryListBox;
class FileListBox;

/**
 * The four linked browsing controls of the file page. Links go one way, as the
 * page's design has them: the drive selector moves its folder list, the folder
 * list moves its file list, the filter selector gives its mask to its file list.
 *
 * A folder that cannot be entered by a user action inside these controls is
 * reported in the generic error box and leaves every list where it was; the same
 * failure from code (setCurrentFolder) throws OndrelError instead.
 */

/**
 * Drive selector. Linux has no drive letters: it lists the mounted file systems
 * by their mount folder, "/" first, and remembers for each the folder last shown
 * in it, so that choosing it again returns there as a drive's current folder does.
 */
class DriveComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit DriveComboBox(QWidget *parent = nullptr);
    void setDirList(DirectoryListBox *list);
    /** The mount folder holding `folder`: the longest listed one that contains it. */
    QString driveOf(const QString &folder) const;

private:
    void fillDrives();
    void followFolder(const QString &folder);
    void chooseDrive(int index);

    DirectoryListBox *m_dirList = nullptr;
    QHash<QString, QString> m_lastFolder; // mount folder → folder last shown in it
    int m_shown = -1;                      // index of the drive of the folder shown
};

/** Filter selector: "text|mask|text|mask…" entries; choosing one gives its mask to the file list. */
class FilterComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit FilterComboBox(QWidget *parent = nullptr);
    void setFilter(const QString &filter);
    QString filter() const { return m_filter; }
    void setFileList(FileListBox *list);
    QString mask() const;

private:
    QString m_filter;
    FileListBox *m_fileList = nullptr;
};

/**
 * Folder list: the current folder's path from the root down, then its
 * subfolders. Opening an entry (double click, or Enter) makes it the current
 * folder.
 */
class DirectoryListBox : public QListWidget
{
    Q_OBJECT
public:
    explicit DirectoryListBox(QWidget *parent = nullptr);

    QString currentFolder() const { return m_folder; }
    /**
     * Makes `folder` (relative paths are taken from the process's current folder)
     * the current folder and the process's current folder, and moves the linked
     * file list there. Throws OndrelError when it cannot be entered or read,
     * leaving everything where it was.
     */
    void setCurrentFolder(const QString &folder);
    void setFileList(FileListBox *list);

    /** Full path of the folder an entry stands for. */
    static QString folderOf(const QListWidgetItem *item);

Q_SIGNALS:
    void folderChanged(const QString &folder);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void openEntry(QListWidgetItem *item);
    void showEntries(const QStringList &subfolders);

    QString m_folder;
    FileListBox *m_fileList = nullptr;
};

/**
 * File list: the names of the files of its folder that match its mask; files
 * only, no hidden files, sorted without regard to case; at most one selected.
 * The folder is watched: files created, removed or renamed there show up
 * without navigating, the selected one staying selected.
 */
class FileListBox : public QListWidget
{
    Q_OBJECT
public:
    explicit FileListBox(QWidget *parent = nullptr);

    QString folder() const { return m_folder; }
    QString mask() const { return m_mask; }
    /** Shows `folder` (absolute); throws OndrelError, leaving the list as it was, when it cannot be read. */
    void setFolder(const QString &folder);
    void setMask(const QString &mask);
    /** Full path of the selected item; empty when none is selected. */
    QString selectedFilePath() const;
    /** Selects the item of the file `path` when it lies in the list's folder; otherwise selects none. */
    void selectFile(const QString &path);

Q_SIGNALS:
    /**
     * A mouse button was pressed (each press of a double click), after the list has
     * updated its selection; Enter and Space on the list raise it too, with Qt::NoButton.
     */
    void mouseDown(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void refill(const QString &folder, const QString &mask);
    void watch(const QString &folder);
    void folderTouched();

    class QFileSystemWatcher *m_watcher = nullptr;
    class QTimer *m_settle = nullptr; // gathers a burst of changes into one re-read

    QString m_folder;
    QString m_mask = QStringLiteral("*.*");
};

/** "Impossible d'accéder au dossier %s": a folder that cannot be entered or read. */
QString cannotEnterMessage(const QString &folder);
