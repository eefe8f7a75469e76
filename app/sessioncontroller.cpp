// The open files, one tab each above the editor, the recent list, and the tabs
// of the last run. The editor shows the current file's text.
#include "app/sessioncontroller.h"

#include "base/errors.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "files/unsavedbox.h"
#include "io/fileidentity.h"
#include "io/readfile.h"
#include "settings/sidefiles.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTimer>

namespace {

constexpr int kDialogPollMs = 200;

QString tabPathKey(const QString &path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

SessionController::SessionController(RichEdit *editor, QTabBar *tabs, QLineEdit *fileField, QWidget *boxParent,
                                     QObject *parent)
    : QObject(parent)
    , m_editor(editor)
    , m_tabs(tabs)
    , m_fileField(fileField)
    , m_boxParent(boxParent)
{
    setObjectName(QStringLiteral("sessionController"));
    // The text the editor holds now is the first file's (no file yet).
    m_file = new EditedFile(editor, this);
    m_files.append(m_file);
    {
        const QSignalBlocker quiet(m_tabs);
        m_tabs->addTab(QString());
    }
    bindFile(m_file);
    connect(editor, &QsciScintilla::textChanged, this, [this] {
        if (m_file)
            m_file->noteEdit();
    });
    connect(m_tabs, &QTabBar::currentChanged, this, [this](int index) { guarded([&] { showFileTab(index); }); });
    connect(m_tabs, &QTabBar::tabCloseRequested, this, [this](int index) { guarded([&] { closeFileTab(index); }); });
    labelFileTabs();
}

SessionController::~SessionController()
{
    endRun();
}

void SessionController::endRun()
{
    // While the editor is there: the files' documents are released while a control can still free them.
    for (EditedFile *file : std::as_const(m_files)) {
        file->endRun(m_keepJournal);
        delete file;
    }
    m_files.clear();
    m_file = nullptr;
}

void SessionController::guarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const OndrelError &error) {
        showErrorBox(m_boxParent, error.message());
    }
}

int SessionController::fileTabOf(const QString &path) const
{
    const QString wanted = tabPathKey(path);
    for (int i = 0; i < m_files.size(); ++i) {
        if (!wanted.isEmpty() && tabPathKey(m_files.at(i)->path()) == wanted)
            return i;
    }
    return -1;
}

void SessionController::bindFile(EditedFile *file)
{
    connect(file, &EditedFile::notice, this, &SessionController::notice);
    connect(file, &EditedFile::written, this, &SessionController::fileWritten);
    connect(file, &EditedFile::loaded, this, &SessionController::editedFileLoaded);
    connect(file, &EditedFile::renamed, this, &SessionController::editedFileRenamed);
    connect(file, &EditedFile::loaded, this, &SessionController::labelFileTabs);
    connect(file, &EditedFile::renamed, this, &SessionController::labelFileTabs);
    connect(file, &EditedFile::autoSaveDue, this, [this, file] {
        if (file == m_file)
            emit autoSaveDue();
    });
}

void SessionController::addFileTab()
{
    auto *file = new EditedFile(m_editor, EditedFile::NewText{}, this);
    bindFile(file);
    m_files.append(file);
    {
        const QSignalBlocker quiet(m_tabs);
        m_tabs->addTab(QString());
    }
    showFileTab(int(m_files.size()) - 1);
}

void SessionController::labelFileTabs()
{
    emit tabStripWanted(m_tabs->count() > 1 || !m_pinnedPage.isEmpty()); // one file needs no tabs
    for (int i = 0; i < m_files.size() && i < m_tabs->count(); ++i) {
        const EditedFile *file = m_files.at(i);
        const QString name = file->path().isEmpty() ? QStringLiteral("sans nom") : QFileInfo(file->path()).fileName();
        m_tabs->setTabText(i, file->isModified() ? u'*' + name : name);
        m_tabs->setTabToolTip(i, file->path());
    }
}

void SessionController::setPinnedPage(const QString &path)
{
    m_pinnedPage = path;
    labelFileTabs();
}

void SessionController::showFileTab(int index)
{
    if (index < 0 || index >= m_files.size())
        return;
    EditedFile *file = m_files.at(index);
    if (file != m_file) {
        noteRecentFile(m_file); // Ctrl+E brings it back as it is left
        emit editedFileLeaving();
        m_file->hide();
        m_file = file;
        file->show();
        emit fileShown(file);
        emit editedFileLoaded();
    }
    if (m_tabs->currentIndex() != index) {
        const QSignalBlocker quiet(m_tabs);
        m_tabs->setCurrentIndex(index);
    }
    labelFileTabs();
}

bool SessionController::closeFileTab(int index)
{
    if (index < 0 || index >= m_files.size())
        return false;
    EditedFile *file = m_files.at(index);
    if (file->isModified()) {
        showFileTab(index); // the question is about the text in view
        if (!mayDropEditorText())
            return false;
    }
    if (m_files.size() == 1)
        addFileTab(); // the editor always shows a text: a new, empty one takes the place
    if (file == m_file)
        showFileTab(index + 1 < m_files.size() ? index + 1 : index - 1);
    m_files.removeAt(index);
    {
        const QSignalBlocker quiet(m_tabs);
        m_tabs->removeTab(index);
    }
    noteRecentFile(file); // Ctrl+E brings it back with its caret, view and anchors
    file->endRun(false); // its journal goes: the text was saved or let go
    delete file;
    showFileTab(int(m_files.indexOf(m_file)));
    return true;
}

void SessionController::closeCurrentTab()
{
    closeFileTab(int(m_files.indexOf(m_file)));
}

void SessionController::showNeighbourTab(int step)
{
    const int count = int(m_files.size());
    showFileTab(((int(m_files.indexOf(m_file)) + step) % count + count) % count);
}

void SessionController::chooseFile(const QString &path)
{
    const int open = fileTabOf(path);
    if (open >= 0) {
        // Open already: its tab, its text as it is, unless an untouched text is no longer
        // what the file holds (chosen again, it is read again, as it always was).
        showFileTab(open);
        if (!m_file->isModified() && !diskIdentity(path).sameContent(m_file->identity()))
            loadEditedFile(path);
        return;
    }
    if (!m_file->path().isEmpty() || m_file->isModified()) {
        // A tab of its own; the text shown before stays in its tab. A file that cannot
        // be read takes its new tab away again.
        EditedFile *before = m_file;
        addFileTab();
        try {
            loadEditedFile(path);
        } catch (...) {
            closeFileTab(int(m_files.indexOf(m_file)));
            showFileTab(int(m_files.indexOf(before)));
            throw;
        }
    } else {
        loadEditedFile(path); // the empty tab takes the file
    }
    restoreRecentPlace(); // a file closed before comes back as it was left
    noteRecentFile(m_file);
    emit fileChosen(path);
    labelFileTabs();
}

void SessionController::loadEditedFile(const QString &path)
{
    m_file->open(path);
}

bool SessionController::journalNow()
{
    m_keepJournal = true;
    return m_file->journalNow();
}

void SessionController::openFromCommandLine(const QStringList &files)
{
    if (files.isEmpty())
        return;
    m_pathToOpen = files.first();
    if (QApplication::activeModalWidget()) {
        // A question is open: the file waits for its answer (only the last one handed over is kept).
        QTimer::singleShot(kDialogPollMs, this, [this] {
            if (!m_pathToOpen.isEmpty())
                openFromCommandLine({m_pathToOpen});
        });
        return;
    }
    emit openRequested(std::exchange(m_pathToOpen, QString()));
}

// --- The recent files (Ctrl+E) and the tabs of the last run ----------------------------

QString SessionController::recentFilesPath() const
{
    QString path = sideFilePaths(m_sideFileBase).settings;
    path.chop(QFileInfo(path).suffix().size());
    return path + QStringLiteral("rec");
}

QStringList SessionController::recentPaths() const
{
    QStringList paths;
    for (const RecentFile &recent : m_recentFiles)
        paths << recent.path;
    return paths;
}

RecentFile SessionController::recentEntryOf(const EditedFile *file) const
{
    RecentFile entry;
    entry.path = tabPathKey(file->path());
    const bool shown = file == m_file && file->isShown();
    entry.caret = shown ? m_editor->selStart() : file->hiddenCaret();
    entry.firstLine = shown ? m_editor->firstVisibleLine() : file->hiddenFirstLine();
    for (int i = 0; i < 5; ++i)
        entry.anchors[i] = file->anchor(i);
    const QFileInfo info(entry.path);
    if (info.isFile()) {
        entry.size = info.size();
        entry.modifiedMs = info.lastModified().toMSecsSinceEpoch();
    }
    return entry;
}

void SessionController::noteRecentFile(const EditedFile *file)
{
    if (file && !file->path().isEmpty())
        ::noteRecentFile(m_recentFiles, recentEntryOf(file));
}

void SessionController::restoreRecentPlace()
{
    const QString path = tabPathKey(m_file->path());
    for (const RecentFile &recent : std::as_const(m_recentFiles)) {
        if (recent.path != path)
            continue;
        for (int i = 0; i < 5; ++i)
            m_file->setAnchor(i, recent.anchors.value(i, QStringLiteral("0")));
        emit anchorsChanged(m_file);
        m_editor->setSelStart(std::min(recent.caret, m_editor->textLength()));
        m_editor->setSelLength(0);
        m_editor->setFirstVisibleLine(std::min(recent.firstLine, std::max(0, m_editor->lineCount() - 1)));
        return;
    }
}

bool SessionController::restoreTabs()
{
    m_recentFiles = readRecentFiles(recentFilesPath());
    m_recentRead = true;
    QStringList gone, changed;
    QString current, pinned;
    bool restored = false;
    const QList<RecentFile> last = m_recentFiles; // opening a file notes it: the list moves
    for (const RecentFile &recent : last) {
        const QFileInfo info(recent.path);
        if (recent.pinned) {
            if (info.isFile())
                pinned = recent.path;
            else
                gone << QStringLiteral("%1 (la page épinglée)").arg(recent.path);
        }
        if (!recent.open)
            continue;
        if (!info.exists()) {
            gone << recent.path;
            continue;
        }
        if ((recent.size >= 0 && info.size() != recent.size)
            || (recent.modifiedMs >= 0 && info.lastModified().toMSecsSinceEpoch() != recent.modifiedMs))
            changed << recent.path;
        try {
            // The load of a file chosen in the list, with its bounds and its refusals.
            const QString refused = readFailureMessage(recent.path, checkReadable(recent.path, kMaxFileBytes));
            if (!refused.isEmpty())
                throw OndrelError(refused);
            chooseFile(recent.path);
            restored = true;
            if (recent.current)
                current = recent.path;
        } catch (const OndrelError &error) {
            gone << QStringLiteral("%1 (%2)").arg(recent.path, error.message());
        }
    }
    if (fileTabOf(current) >= 0)
        showFileTab(fileTabOf(current));
    if (!pinned.isEmpty()) {
        setPinnedPage(pinned);
        emit pinnedPageRestored(pinned);
    }
    QStringList told;
    if (!gone.isEmpty())
        told << QStringLiteral("Fichiers de la dernière session qui n'ont pas pu être rouverts : %1.").arg(gone.join(QStringLiteral(", ")));
    if (!changed.isEmpty())
        told << QStringLiteral("Fichiers modifiés par un autre programme depuis la dernière session : %1.")
                    .arg(changed.join(QStringLiteral(", ")));
    if (!told.isEmpty())
        emit notice(told.join(u'\n'));
    return restored;
}

void SessionController::writeRecentFiles()
{
    if (!m_recentRead)
        return; // start-up never read the list: what is on disk stays
    QList<RecentFile> list = m_recentFiles;
    for (RecentFile &recent : list)
        recent.open = recent.current = false; // only the tabs open now come back
    for (auto file = m_files.crbegin(); file != m_files.crend(); ++file) {
        if ((*file)->path().isEmpty())
            continue;
        RecentFile entry = recentEntryOf(*file);
        entry.open = true;
        entry.current = *file == m_file;
        ::noteRecentFile(list, entry); // the first tab ends first
    }
    bool pinnedListed = false;
    for (RecentFile &recent : list) {
        recent.pinned = !m_pinnedPage.isEmpty() && recent.path == m_pinnedPage;
        pinnedListed = pinnedListed || recent.pinned;
    }
    if (!m_pinnedPage.isEmpty() && !pinnedListed) {
        RecentFile page;
        page.path = m_pinnedPage;
        page.pinned = true;
        list.append(page);
    }
    if (!::writeRecentFiles(recentFilesPath(), list))
        throw OndrelError(cannotWriteMessage(recentFilesPath()));
}
