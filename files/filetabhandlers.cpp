// The open files, one tab each above the editor. The editor shows the current
// one's text; "Fichier", the caption, the URL and the five anchors follow it.
#include "app/main.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/browser.h"
#include "files/editedfile.h"
#include "files/unsavedbox.h"

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
    tbFichiers->setVisible(tbFichiers->count() > 1); // one file needs no tabs
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
        emit editedFileLeaving();
        m_autoSave->stop(); // saving while typing is for the text being typed
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
