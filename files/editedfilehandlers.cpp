// The edited file: what is loaded into the editor, the one save of its text, the
// watch on changes other programs make to it, and the journal that keeps unsaved
// text through a crash.
#include "app/main.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "io/fileidentity.h"
#include "io/readfile.h"
#include "io/recovery.h"
#include "files/linediff.h"

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
    box.setTextFormat(Qt::PlainText);
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

/**
 * Saves the editor's text to `target`. When the file must be written in place and its
 * old content can be kept safe nowhere, asks first; false when the user said no.
 */
bool saveAskingForUnsafeWrite(QWidget *window, RichEdit *editor, const QString &target)
{
    try {
        editor->saveFile(target);
        return true;
    } catch (const NoSafeCopyError &error) {
        const QString answer = ask(window, "noSafeCopyBox",
                                   QStringLiteral("%1\n\nLe fichier doit être écrit sur place (il a d'autres liens, ou son "
                                                  "dossier est protégé) et son contenu actuel ne peut être copié nulle part "
                                                  "avant : un arrêt pendant l'écriture le laisserait incomplet. "
                                                  "L'écrire quand même ?").arg(error.message()),
                                   {QStringLiteral("Écrire quand même"), QStringLiteral("Annuler")}, QStringLiteral("Annuler"));
        if (answer != QStringLiteral("Écrire quand même"))
            return false;
    }
    editor->saveFile(target, true);
    return true;
}

/** The differences between the file of `journal` as it is now and the journal's text. */
void showComparison(QWidget *window, const Journal &journal)
{
    const QByteArray disk = readWholeFile(journal.path, kMaxFileBytes).bytes;
    const QString differences = lineDifferences(disk, journal.text);
    QMessageBox box(QMessageBox::Information, applicationTitle(),
                    differences.isEmpty()
                        ? QStringLiteral("Le fichier %1 et le texte conservé ont les mêmes lignes.").arg(journal.path)
                        : QStringLiteral("Différences entre le fichier %1 (lignes « - ») et le texte conservé "
                                         "(lignes « + ») :").arg(journal.path),
                    QMessageBox::Ok, window);
    box.setObjectName(QStringLiteral("compareBox"));
    box.setTextFormat(Qt::PlainText);
    box.setDetailedText(differences);
    box.exec();
}

/**
 * Offers a journal whose file another program changed since its text was taken: the
 * caption of the choice, "Comparer" showing the differences and asking again.
 */
QString askOverChangedFile(QWidget *window, const QString &what, const Journal &journal)
{
    const QString text = QStringLiteral(
        "Ondrel s'est arrêté sans que le texte %1 soit enregistré. Ce texte a été conservé, mais le fichier a "
        "été modifié depuis par un autre programme.\n\n« Récupérer » met le texte conservé dans l'éditeur sans "
        "l'enregistrer : le fichier n'est pas touché tant que vous n'avez pas choisi. « Garder les deux » "
        "l'enregistre à côté, dans %2.").arg(what, QFileInfo(recoveredCopyPath(journal.path)).fileName());
    for (;;) {
        const QString answer = ask(window, "recoveryBox", text,
                                   {QStringLiteral("Récupérer"), QStringLiteral("Garder les deux"),
                                    QStringLiteral("Comparer"), QStringLiteral("Ignorer")},
                                   QStringLiteral("Ignorer"));
        if (answer != QStringLiteral("Comparer"))
            return answer;
        showComparison(window, journal);
    }
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
    return saveEditedFile(nullptr);
}

bool TfmMain::saveEditedFile(const FileIdentity *knownDisk)
{
    if (!writeEditedFile(knownDisk))
        return false;
    if (!eFile->text().isEmpty())
        editedFileSaved(); // the page beside the editor follows every save
    return true;
}

bool TfmMain::writeEditedFile(const FileIdentity *knownDisk)
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
        if (!saveAskingForUnsafeWrite(this, M, target))
            return false;
        afterEditedFileSaved();
        return true;
    }

    const FileIdentity disk = knownDisk ? *knownDisk : diskIdentity(target);
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
    if (!saveAskingForUnsafeWrite(this, M, target))
        return false;
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
    emit fileWritten(M->filePath());
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
    m_journal->schedule(m_journalFor, M->wholeText(), M->fileIdentity());
}

bool TfmMain::journalNow()
{
    m_journalDelay->stop();
    m_keepJournal = true;
    if (!M->isModified())
        return true;
    m_journalFor = M->filePath();
    return m_journal->writeNow(m_journalFor, M->wholeText(), M->fileIdentity());
}

void TfmMain::offerRecovery()
{
    for (const Journal &journal : leftJournals()) {
        const QString what = journal.path.isEmpty() ? QStringLiteral("d'un texte sans fichier")
                                                    : QStringLiteral("de %1").arg(journal.path);
        // Another program's newer file is never written over without the user's say.
        const bool changed = !journal.path.isEmpty() && fileChangedSince(journal, diskIdentity(journal.path));
        const QString answer = changed
            ? askOverChangedFile(this, what, journal)
            : ask(this, "recoveryBox",
                  QStringLiteral("Ondrel s'est arrêté sans que le texte %1 soit enregistré. "
                                 "Ce texte a été conservé.").arg(what),
                  {QStringLiteral("Récupérer"), QStringLiteral("Ignorer")}, QStringLiteral("Ignorer"));
        if (answer != QStringLiteral("Récupérer") && answer != QStringLiteral("Garder les deux")) {
            QFile::remove(journal.file);
            continue;
        }
        M->forgetFile();
        if (!journal.path.isEmpty()) {
            // As a click in the file list would: the same file name, URL and caption.
            try {
                if (isExistingFile(journal.path))
                    loadEditedFile(journal.path);
            } catch (const OndrelError &) {
                M->forgetFile();
            }
            showChosenFile(journal.path);
        }
        // The recovered text replaces the file's, as an edit not yet saved (the caption gets its "*").
        M->SendScintilla(QsciScintillaBase::SCI_TARGETWHOLEDOCUMENT);
        M->SendScintilla(QsciScintillaBase::SCI_REPLACETARGET, static_cast<unsigned long>(journal.text.size()),
                         journal.text.constData());
        M->setSelStart(0);
        if (changed)
            M->setFileIdentity(journal.base); // a save asks before writing over the newer file
        m_journalFor = journal.path;
        m_journal->schedule(m_journalFor, M->wholeText(), M->fileIdentity()); // ours now
        if (answer == QStringLiteral("Garder les deux")) {
            // The recovered text becomes a file of its own beside the newer one, which stays as it is.
            const QString copy = recoveredCopyPath(journal.path);
            M->saveFile(copy); // throws: the text stays unsaved and journaled
            showChosenFile(copy);
            afterEditedFileSaved();
        }
        return; // the editor holds one text: the others wait for the next start
    }
}
