// The edited file: what is loaded into the editor, the one save of its text, the
// watch on changes other programs make to it, and the journal that keeps unsaved
// text through a crash.
#include "app/main.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "io/fileidentity.h"
#include "io/readfile.h"
#include "io/recovery.h"
#include "files/urlrules.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

const QString kBinaryNotSaved = QStringLiteral("Fichier binaire : non enregistré");
const QString kBinaryReadOnly = QStringLiteral("Fichier binaire : ouvert en lecture seule, il ne sera jamais enregistré");

/** A question with French buttons; the caption of the button clicked, empty when the box was closed. */
QString ask(QWidget *parent, const char *name, const QString &text, const QStringList &buttons,
            const QString &cancel)
{
    QMessageBox box(QMessageBox::Warning, applicationTitle(), text, QMessageBox::NoButton, parent);
    box.setObjectName(QLatin1String(name));
    QPushButton *cancelButton = nullptr;
    for (const QString &caption : buttons) {
        QPushButton *b = box.addButton(caption, caption == cancel ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        if (caption == cancel)
            cancelButton = b;
    }
    box.setDefaultButton(cancelButton);
    box.setEscapeButton(cancelButton);
    box.exec();
    auto *clicked = qobject_cast<QPushButton *>(box.clickedButton());
    return clicked ? clicked->text() : cancel;
}

} // namespace

void TfmMain::showNotice(const QString &text)
{
    lNotice->setText(text);
    lNotice->setVisible(!text.isEmpty());
}

void TfmMain::loadEditedFile(const QString &path)
{
    const QString before = M->filePath();
    M->loadFile(path); // throws, the text and its file as they were
    if (!m_journalFor.isEmpty() || !before.isEmpty())
        m_journal->remove(m_journalFor); // the text it kept was saved or let go
    m_journalFor = path;
    showNotice(M->isBinary() ? kBinaryReadOnly : QString());
    watchEditedFile();
}

void TfmMain::watchEditedFile()
{
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    const QString path = M->filePath();
    if (!path.isEmpty() && QFileInfo::exists(path))
        m_watcher->addPath(path);
}

bool TfmMain::saveEditedFile()
{
    if (!writeEditedFile())
        return false;
    if (!eFile->text().isEmpty())
        editedFileSaved(); // the page beside the editor follows every save
    return true;
}

bool TfmMain::writeEditedFile()
{
    const QString target = eFile->text();
    if (target.isEmpty())
        return true; // no file chosen yet: nothing to write, the preview only navigates
    if (M->isBinary()) {
        showNotice(kBinaryNotSaved);
        return true;
    }
    const QString own = M->filePath();
    if (own.isEmpty() || target != own) {
        // After a failed load, the text belongs to no file: an untouched text is not written
        // over an existing one, and a typed one only after asking.
        if (isExistingFile(target)) {
            if (own.isEmpty() && !M->isModified())
                return true;
            const QString answer = ask(this, "replaceBox", QStringLiteral("Remplacer le fichier %1 ?").arg(target),
                                       {QStringLiteral("Remplacer"), QStringLiteral("Annuler")},
                                       QStringLiteral("Annuler"));
            if (answer != QStringLiteral("Remplacer"))
                return false;
        }
        M->saveFile(target);
        afterEditedFileSaved();
        return true;
    }

    const FileIdentity disk = diskIdentity(target);
    if (disk.known && !disk.sameContent(M->fileIdentity())) {
        const QString answer = ask(this, "changedBox",
                                   QStringLiteral("Le fichier %1 a été modifié par un autre programme depuis son chargement.")
                                       .arg(target),
                                   {QStringLiteral("Écraser"), QStringLiteral("Recharger"), QStringLiteral("Annuler")},
                                   QStringLiteral("Annuler"));
        if (answer == QStringLiteral("Recharger")) {
            const int line = M->caretPosition().y;
            loadEditedFile(target);
            M->setSelStart(M->lineStartOffset(std::min(line, M->lineCount() - 1)));
            return true;
        }
        if (answer != QStringLiteral("Écraser"))
            return false;
    } else if (disk.known && !M->isModified()) {
        return true; // the file already holds exactly this text
    }
    M->saveFile(target);
    afterEditedFileSaved();
    return true;
}

void TfmMain::afterEditedFileSaved()
{
    m_journalDelay->stop();
    m_journal->remove(m_journalFor);
    m_journalFor = M->filePath();
    showNotice(QString());
    watchEditedFile();
}

void TfmMain::editedFileChangedOnDisk()
{
    const QString path = M->filePath();
    watchEditedFile(); // a save by rename ends the watch of the old inode
    if (path.isEmpty())
        return;
    const FileIdentity disk = diskIdentity(path);
    if (!disk.known || disk.sameContent(M->fileIdentity()))
        return; // gone (its next save recreates it), or our own save
    if (M->isModified()) {
        showNotice(QStringLiteral("Le fichier %1 a été modifié par un autre programme. "
                                  "Le texte de l'éditeur n'est pas encore enregistré.").arg(path));
        return;
    }
    // Nothing of the user's would be lost: take the new content and keep the caret's line.
    const int line = M->caretPosition().y;
    try {
        M->loadFile(path);
    } catch (const OndrelError &error) {
        showNotice(error.message());
        return;
    }
    M->setSelStart(M->lineStartOffset(std::min(line, M->lineCount() - 1)));
    watchEditedFile();
}

void TfmMain::journalSoon()
{
    if (!M->isModified()) {
        m_journal->remove(m_journalFor);
        return;
    }
    m_journalFor = M->filePath();
    m_journal->schedule(m_journalFor, M->wholeText());
}

bool TfmMain::journalNow()
{
    m_journalDelay->stop();
    m_keepJournal = true;
    if (!M->isModified())
        return true;
    m_journalFor = M->filePath();
    return m_journal->writeNow(m_journalFor, M->wholeText());
}

void TfmMain::offerRecovery()
{
    for (const Journal &journal : leftJournals()) {
        const QString what = journal.path.isEmpty() ? QStringLiteral("d'un texte sans fichier")
                                                    : QStringLiteral("de %1").arg(journal.path);
        const QString answer = ask(this, "recoveryBox",
                                   QStringLiteral("Ondrel s'est arrêté sans que le texte %1 soit enregistré. "
                                                  "Ce texte a été conservé.").arg(what),
                                   {QStringLiteral("Récupérer"), QStringLiteral("Ignorer")}, QStringLiteral("Ignorer"));
        if (answer != QStringLiteral("Récupérer")) {
            QFile::remove(journal.file);
            continue;
        }
        M->forgetFile();
        if (!journal.path.isEmpty() && isExistingFile(journal.path)) {
            try {
                loadEditedFile(journal.path);
            } catch (const OndrelError &) {
                M->forgetFile();
            }
        }
        // The recovered text replaces the file's, as an edit not yet saved.
        M->SendScintilla(QsciScintillaBase::SCI_TARGETWHOLEDOCUMENT);
        M->SendScintilla(QsciScintillaBase::SCI_REPLACETARGET, static_cast<unsigned long>(journal.text.size()),
                         journal.text.constData());
        M->setSelStart(0);
        m_journalFor = journal.path;
        if (!journal.path.isEmpty()) {
            eFile->setText(journal.path);
            eURL->setText(targetUrl(eSite->text(), eFile->text()));
            setWindowTitle(journal.path);
        }
        m_journal->schedule(m_journalFor, M->wholeText()); // ours now
        return; // the editor holds one text: the others wait for the next start
    }
}
