// The open files, one tab each above the editor. The editor shows the current
// one's text; "Fichier", the caption, the URL and the five anchors follow it.
#include "app/main.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/browser.h"
#include "files/editedfile.h"
#include "files/unsavedbox.h"
#include "io/readfile.h"
#include "settings/sidefiles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QTabBar>

namespace {

QString tabPathKey(const QString &path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

int TfmMain::fileTabOf(const QString &path) const
{
    const QString wanted = tabPathKey(path);
    for (int i = 0; i < m_files.size(); ++i) {
        if (!wanted.isEmpty() && tabPathKey(m_files.at(i)->path()) == wanted)
            return i;
    }
    return -1;
}

void TfmMain::bindFile(EditedFile *file)
{
    connect(file, &EditedFile::notice, this, &TfmMain::showNotice);
    connect(file, &EditedFile::written, this, &TfmMain::fileWritten);
    connect(file, &EditedFile::loaded, this, &TfmMain::editedFileLoaded);
    connect(file, &EditedFile::renamed, this, &TfmMain::editedFileRenamed);
    connect(file, &EditedFile::loaded, this, &TfmMain::labelFileTabs);
    connect(file, &EditedFile::renamed, this, &TfmMain::labelFileTabs);
    connect(file, &EditedFile::autoSaveDue, this, [this, file] {
        if (file == m_file)
            guard([this] { AutoSaveTimer(); });
    });
}

void TfmMain::addFileTab()
{
    auto *file = new EditedFile(M, EditedFile::NewText{}, this);
    bindFile(file);
    m_files.append(file);
    {
        const QSignalBlocker quiet(tbFichiers);
        tbFichiers->addTab(QString());
    }
    showFileTab(int(m_files.size()) - 1);
}

void TfmMain::labelFileTabs()
{
    pOnglets->setVisible(tbFichiers->count() > 1 || !m_pinnedPage.isEmpty()); // one file needs no tabs
    for (int i = 0; i < m_files.size() && i < tbFichiers->count(); ++i) {
        const EditedFile *file = m_files.at(i);
        const QString name = file->path().isEmpty() ? QStringLiteral("sans nom") : QFileInfo(file->path()).fileName();
        tbFichiers->setTabText(i, file->isModified() ? u'*' + name : name);
        tbFichiers->setTabToolTip(i, file->path());
    }
}

void TfmMain::showFileTab(int index)
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
        SpeedButton *anchors[] = {SpeedButton8, SpeedButton9, SpeedButton10, SpeedButton11, SpeedButton12};
        for (int i = 0; i < 5; ++i)
            anchors[i]->setText(file->anchor(i));
        showNotice(QString());
        if (file->path().isEmpty()) {
            eFile->clear();
            setWindowTitle(windowTitleText());
        } else {
            showChosenFile(file->path());
            flb->selectFile(file->path()); // the list shows the file being edited, when it is there
        }
        showUnsavedMark();
        emit editedFileLoaded();
    }
    if (tbFichiers->currentIndex() != index) {
        const QSignalBlocker quiet(tbFichiers);
        tbFichiers->setCurrentIndex(index);
    }
    labelFileTabs();
}

bool TfmMain::closeFileTab(int index)
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
        const QSignalBlocker quiet(tbFichiers);
        tbFichiers->removeTab(index);
    }
    noteRecentFile(file); // Ctrl+E brings it back with its caret, view and anchors
    file->endRun(false); // its journal goes: the text was saved or let go
    delete file;
    showFileTab(int(m_files.indexOf(m_file)));
    return true;
}

bool TfmMain::mayCloseFiles()
{
    QList<EditedFile *> unsaved;
    for (EditedFile *file : std::as_const(m_files)) {
        if (file->isModified())
            unsaved.append(file);
    }
    if (unsaved.isEmpty())
        return true;
    if (unsaved.size() == 1) {
        showFileTab(int(m_files.indexOf(unsaved.first())));
        return mayDropEditorText();
    }
    QStringList names;
    bool allNamed = true;
    for (const EditedFile *file : std::as_const(unsaved)) {
        names << (file->path().isEmpty() ? QStringLiteral("(texte sans fichier)") : file->path());
        allNamed = allNamed && !file->path().isEmpty();
    }
    const QString question = QStringLiteral("Ces textes ont été modifiés et n'ont pas été enregistrés :\n%1\n%2")
                                 .arg(names.join(u'\n'), allNamed ? QStringLiteral("Les enregistrer ?")
                                                                   : QStringLiteral("Les abandonner ?"));
    switch (askAboutUnsaved(this, question, allNamed)) {
    case UnsavedAnswer::Cancel:
        return false;
    case UnsavedAnswer::Abandon:
        return true;
    case UnsavedAnswer::Save:
        break;
    }
    for (EditedFile *file : std::as_const(unsaved)) {
        showFileTab(int(m_files.indexOf(file)));
        if (!savedOrTold(this, [this] { return saveEditedFile(); }))
            return false;
    }
    return true;
}

// --- The recent files (Ctrl+E) and the tabs of the last run ----------------------------

QString TfmMain::recentFilesPath() const
{
    QString path = sideFilePaths(m_sideFileBase).settings;
    path.chop(QFileInfo(path).suffix().size());
    return path + QStringLiteral("rec");
}

RecentFile TfmMain::recentEntryOf(const EditedFile *file) const
{
    RecentFile entry;
    entry.path = tabPathKey(file->path());
    const bool shown = file == m_file && file->isShown();
    entry.caret = shown ? M->selStart() : file->hiddenCaret();
    entry.firstLine = shown ? M->firstVisibleLine() : file->hiddenFirstLine();
    for (int i = 0; i < 5; ++i)
        entry.anchors[i] = file->anchor(i);
    const QFileInfo info(entry.path);
    if (info.isFile()) {
        entry.size = info.size();
        entry.modifiedMs = info.lastModified().toMSecsSinceEpoch();
    }
    return entry;
}

void TfmMain::noteRecentFile(const EditedFile *file)
{
    if (file && !file->path().isEmpty())
        ::noteRecentFile(m_recentFiles, recentEntryOf(file));
}

void TfmMain::restoreRecentPlace()
{
    const QString path = tabPathKey(m_file->path());
    for (const RecentFile &recent : std::as_const(m_recentFiles)) {
        if (recent.path != path)
            continue;
        SpeedButton *buttons[] = {SpeedButton8, SpeedButton9, SpeedButton10, SpeedButton11, SpeedButton12};
        for (int i = 0; i < 5; ++i) {
            m_file->setAnchor(i, recent.anchors.value(i, QStringLiteral("0")));
            buttons[i]->setText(m_file->anchor(i));
        }
        M->setSelStart(std::min(recent.caret, M->textLength()));
        M->setSelLength(0);
        M->setFirstVisibleLine(std::min(recent.firstLine, std::max(0, M->lineCount() - 1)));
        return;
    }
}

bool TfmMain::restoreTabs()
{
    m_recentFiles = readRecentFiles(recentFilesPath());
    m_recentRead = true;
    QStringList gone, changed;
    QString current;
    bool restored = false;
    const QList<RecentFile> last = m_recentFiles; // opening a file notes it: the list moves
    for (const RecentFile &recent : last) {
        const QFileInfo info(recent.path);
        if (recent.pinned) {
            if (info.isFile())
                m_pinnedPage = recent.path;
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
    if (!m_pinnedPage.isEmpty())
        showPinnedPage();
    QStringList told;
    if (!gone.isEmpty())
        told << QStringLiteral("Fichiers de la dernière session qui n'ont pas pu être rouverts : %1.").arg(gone.join(QStringLiteral(", ")));
    if (!changed.isEmpty())
        told << QStringLiteral("Fichiers modifiés par un autre programme depuis la dernière session : %1.")
                    .arg(changed.join(QStringLiteral(", ")));
    if (!told.isEmpty())
        showNotice(told.join(u'\n'));
    return restored;
}

void TfmMain::writeRecentFiles()
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
