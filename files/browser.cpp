#include "files/browser.h"

#include "base/errors.h"
#include "files/listing.h"
#include "files/urlrules.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>

QString cannotEnterMessage(const QString &folder)
{
    return QStringLiteral("Impossible d'accéder au dossier %1").arg(folder);
}

namespace {

constexpr int kIndentRole = Qt::UserRole + 1; // depth of a folder-list entry
constexpr int kIndentStep = 10;                // pixels per level

/** Draws folder-list entries shifted right by their depth, so the path reads as a tree. */
class IndentDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem shifted(option);
        shifted.rect.adjust(index.data(kIndentRole).toInt() * kIndentStep, 0, 0, 0);
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() += index.data(kIndentRole).toInt() * kIndentStep;
        return size;
    }
};

/** Mount folders of the mounted file systems that can be browsed, "/" first. */
QStringList mountFolders()
{
    QStringList roots;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (QFileInfo(root).isDir() && !roots.contains(root))
            roots.append(root); // bind-mounted single files are no drives
    }
    roots.removeAll(QStringLiteral("/"));
    std::sort(roots.begin(), roots.end());
    roots.prepend(QStringLiteral("/"));
    return roots;
}

} // namespace

// --- Drive selector ----------------------------------------------------------

DriveComboBox::DriveComboBox(QWidget *parent)
    : QComboBox(parent)
{
    fillDrives();
    connect(this, &QComboBox::activated, this, &DriveComboBox::chooseDrive);
}

void DriveComboBox::fillDrives()
{
    const QSignalBlocker blocker(this);
    clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const QString &root : mountFolders())
        addItem(icon, root, root);
    m_shown = -1;
}

void DriveComboBox::setDirList(DirectoryListBox *list)
{
    m_dirList = list;
    connect(list, &DirectoryListBox::folderChanged, this, &DriveComboBox::followFolder);
    followFolder(list->currentFolder());
}

QString DriveComboBox::driveOf(const QString &folder) const
{
    QString best = QStringLiteral("/");
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i).toString();
        const bool holds = root == u"/" || folder == root || folder.startsWith(root + u'/');
        if (holds && root.size() > best.size())
            best = root;
    }
    return best;
}

void DriveComboBox::followFolder(const QString &folder)
{
    QString drive = driveOf(folder);
    if (findData(drive) < 0) {
        fillDrives(); // a file system mounted since the list was made
        drive = driveOf(folder);
    }
    m_lastFolder.insert(drive, folder);
    const QSignalBlocker blocker(this);
    m_shown = findData(drive);
    setCurrentIndex(m_shown);
}

void DriveComboBox::chooseDrive(int index)
{
    if (!m_dirList || index < 0)
        return;
    const QString drive = itemData(index).toString();
    try {
        m_dirList->setCurrentFolder(m_lastFolder.value(drive, drive));
    } catch (const OndrelError &error) {
        const QSignalBlocker blocker(this);
        setCurrentIndex(m_shown);
        showErrorBox(window(), error.message());
    }
}

// --- Filter selector ---------------------------------------------------------

FilterComboBox::FilterComboBox(QWidget *parent)
    : QComboBox(parent)
{
}

void FilterComboBox::setFilter(const QString &filter)
{
    m_filter = filter;
    const QSignalBlocker blocker(this);
    clear();
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        addItem(parts[i], parts[i + 1]);
    setCurrentIndex(count() > 0 ? 0 : -1);
    if (m_fileList)
        m_fileList->setMask(mask());
}

QString FilterComboBox::mask() const
{
    return currentIndex() < 0 ? QStringLiteral("*.*") : currentData().toString();
}

void FilterComboBox::setFileList(FileListBox *list)
{
    m_fileList = list;
    list->setMask(mask());
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        const QString previous = m_fileList->mask();
        try {
            m_fileList->setMask(mask());
        } catch (const OndrelError &error) {
            const QSignalBlocker blocker(this);
            setCurrentIndex(findData(previous));
            showErrorBox(window(), error.message());
        }
    });
}

// --- Folder list -------------------------------------------------------------

DirectoryListBox::DirectoryListBox(QWidget *parent)
    : QListWidget(parent)
    , m_folder(QDir::currentPath())
{
    setItemDelegate(new IndentDelegate(this));
    setUniformItemSizes(true);
    QStringList subfolders;
    readFolder(m_folder, EntryKind::Folders, &subfolders);
    showEntries(subfolders);
    connect(this, &QListWidget::itemDoubleClicked, this, &DirectoryListBox::openEntry);
}

void DirectoryListBox::setFileList(FileListBox *list)
{
    m_fileList = list;
    try {
        list->setFolder(m_folder);
    } catch (const OndrelError &) {
        // The folder the process started in is unreadable: the file list stays empty.
    }
}

QString DirectoryListBox::folderOf(const QListWidgetItem *item)
{
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void DirectoryListBox::setCurrentFolder(const QString &folder)
{
    const QString target = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    QStringList subfolders;
    if (!QFileInfo(target).isDir() || !readFolder(target, EntryKind::Folders, &subfolders))
        throw OndrelError(cannotEnterMessage(target));
    const QString previous = QDir::currentPath();
    if (!QDir::setCurrent(target))
        throw OndrelError(cannotEnterMessage(target));
    if (target == m_folder)
        return; // the folder in use: nothing is read again
    if (m_fileList) {
        try {
            m_fileList->setFolder(target);
        } catch (const OndrelError &) {
            QDir::setCurrent(previous);
            throw;
        }
    }
    m_folder = target;
    showEntries(subfolders);
    Q_EMIT folderChanged(m_folder);
}

void DirectoryListBox::showEntries(const QStringList &subfolders)
{
    const QStringList chain = folderAncestors(m_folder);
    QStringList sorted = subfolders;
    sortWithoutCase(sorted);

    setUpdatesEnabled(false);
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    auto add = [this](const QIcon &icon, const QString &caption, const QString &path, int depth) {
        auto *item = new QListWidgetItem(icon, caption, this);
        item->setData(Qt::UserRole, path);
        item->setData(kIndentRole, depth);
    };
    for (qsizetype i = 0; i < chain.size(); ++i)
        add(open, folderCaption(chain[i]), chain[i], int(i));
    for (const QString &name : sorted)
        add(closed, name, joinPath(m_folder, name), int(chain.size()));
    setCurrentRow(int(chain.size()) - 1);
    setUpdatesEnabled(true);
}

void DirectoryListBox::openEntry(QListWidgetItem *item)
{
    if (!item)
        return;
    try {
        setCurrentFolder(folderOf(item));
    } catch (const OndrelError &error) {
        showErrorBox(window(), error.message());
    }
}

void DirectoryListBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openEntry(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

// --- File list ---------------------------------------------------------------

FileListBox::FileListBox(QWidget *parent)
    : QListWidget(parent)
    , m_watcher(new QFileSystemWatcher(this))
    , m_settle(new QTimer(this))
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true); // keeps folders of many thousand files fast to show
    m_settle->setSingleShot(true);
    m_settle->setInterval(100);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_settle, qOverload<>(&QTimer::start));
    connect(m_settle, &QTimer::timeout, this, &FileListBox::folderTouched);
}

void FileListBox::setFolder(const QString &folder)
{
    if (folder != m_folder)
        refill(folder, m_mask);
}

void FileListBox::setMask(const QString &mask)
{
    if (mask == m_mask)
        return;
    if (m_folder.isEmpty())
        m_mask = mask;
    else
        refill(m_folder, mask);
}

void FileListBox::refill(const QString &folder, const QString &mask)
{
    QStringList names;
    if (!listFiles(folder, mask, &names))
        throw OndrelError(cannotEnterMessage(folder));
    setUpdatesEnabled(false);
    clear();
    addItems(names);
    setUpdatesEnabled(true);
    if (folder != m_folder)
        watch(folder);
    m_folder = folder;
    m_mask = mask;
}

void FileListBox::watch(const QString &folder)
{
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    m_watcher->addPath(folder); // a folder that cannot be watched is only not refreshed
}

// The shown folder changed on disk: list it again, keeping the selection and the scroll place.
void FileListBox::folderTouched()
{
    if (m_folder.isEmpty())
        return;
    QStringList names;
    if (!listFiles(m_folder, m_mask, &names))
        return; // gone or unreadable: the list stays as it was
    QStringList shown;
    for (int i = 0; i < count(); ++i)
        shown.append(item(i)->text());
    if (shown == names)
        return;
    const QString selected = selectedItems().isEmpty() ? QString() : selectedItems().first()->text();
    const QString current = currentItem() ? currentItem()->text() : QString();
    const int scroll = verticalScrollBar()->value();
    const QSignalBlocker blocker(this);
    setUpdatesEnabled(false);
    clear();
    addItems(names);
    for (int i = 0; i < count(); ++i) {
        if (item(i)->text() == current)
            setCurrentItem(item(i), QItemSelectionModel::NoUpdate);
        if (item(i)->text() == selected)
            item(i)->setSelected(true);
    }
    verticalScrollBar()->setValue(scroll);
    setUpdatesEnabled(true);
    if (!m_watcher->directories().contains(m_folder))
        m_watcher->addPath(m_folder); // a folder replaced under the same name
}

void FileListBox::selectFile(const QString &path)
{
    clearSelection();
    for (int i = 0; i < count(); ++i) {
        if (joinPath(m_folder, item(i)->text()) == path) {
            setCurrentItem(item(i));
            return;
        }
    }
}

QString FileListBox::selectedFilePath() const
{
    const QList<QListWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? QString() : joinPath(m_folder, selected.first()->text());
}

void FileListBox::mousePressEvent(QMouseEvent *event)
{
    // Only the left button selects: a press with another button acts on the
    // item that is already selected, as it does in the classic file list.
    if (event->button() == Qt::LeftButton)
        QListWidget::mousePressEvent(event);
    Q_EMIT mouseDown(event->button());
}

void FileListBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    QListWidget::mouseDoubleClickEvent(event);
    Q_EMIT mouseDown(event->button()); // the second press opens the file again, as a press does
}

void FileListBox::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (currentItem() && !currentItem()->isSelected())
            currentItem()->setSelected(true);
        Q_EMIT mouseDown(Qt::NoButton);
        return;
    }
    QListWidget::keyPressEvent(event);
}
