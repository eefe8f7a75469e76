// What the open files ask the user: before unsaved text goes, before a save
// writes over another file or another program's change, and the offer of text
// a crash left behind. The boxes are the session's; the window shows no other.
#include "app/sessioncontroller.h"

#include "base/errors.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "files/linediff.h"
#include "files/unsavedbox.h"
#include "io/fileidentity.h"
#include "io/readfile.h"
#include "io/recovery.h"
#include "io/savefile.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

/** A question with French buttons; the caption of the button clicked, `cancel` when the box was closed. */
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

/** When the journal was last written, as the recovery question says it. */
QString keptOn(const Journal &journal)
{
    // Two windows may have kept the same file's text: the date tells them apart (newest first).
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(journal.writtenNs / 1000000);
    return QStringLiteral("le %1 à %2").arg(when.toString(QStringLiteral("dd/MM/yyyy")), when.toString(QStringLiteral("HH:mm:ss")));
}

/**
 * Offers a journal whose file another program changed since its text was taken: the
 * caption of the choice, "Comparer" showing the differences and asking again.
 */
QString askOverChangedFile(QWidget *window, const QString &what, const Journal &journal)
{
    const QString text = QStringLiteral(
        "Ondrel s'est arrêté sans que le texte %1 soit enregistré. Ce texte a été conservé %3, mais le fichier a "
        "été modifié depuis par un autre programme.\n\n« Récupérer » met le texte conservé dans l'éditeur sans "
        "l'enregistrer : le fichier n'est pas touché tant que vous n'avez pas choisi. « Garder les deux » "
        "l'enregistre à côté, dans %2.").arg(what, QFileInfo(recoveredCopyPath(journal.path)).fileName(), keptOn(journal));
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

/** A save's questions, asked with message boxes. */
class BoxQuestions final : public SaveQuestions
{
public:
    explicit BoxQuestions(QWidget *window)
        : m_window(window)
    {
    }
    bool replaceOtherFile(const QString &path) override
    {
        return ask(m_window, "replaceBox", QStringLiteral("Remplacer le fichier %1 ?").arg(path),
                   {QStringLiteral("Remplacer"), QStringLiteral("Annuler")}, QStringLiteral("Annuler"))
               == QStringLiteral("Remplacer");
    }
    bool writeWithoutSafeCopy(const QString &message) override
    {
        return ask(m_window, "noSafeCopyBox",
                   QStringLiteral("%1\n\nLe fichier doit être écrit sur place (il a d'autres liens, ou son "
                                  "dossier est protégé) et son contenu actuel ne peut être copié nulle part "
                                  "avant : un arrêt pendant l'écriture le laisserait incomplet. "
                                  "L'écrire quand même ?").arg(message),
                   {QStringLiteral("Écrire quand même"), QStringLiteral("Annuler")}, QStringLiteral("Annuler"))
               == QStringLiteral("Écrire quand même");
    }
    OnDisk changedOnDisk(const QString &path) override
    {
        const QString answer = ask(m_window, "changedBox",
                                   QStringLiteral("Le fichier %1 a été modifié par un autre programme depuis son chargement.")
                                       .arg(path),
                                   {QStringLiteral("Écraser"), QStringLiteral("Recharger"), QStringLiteral("Annuler")},
                                   QStringLiteral("Annuler"));
        if (answer == QStringLiteral("Écraser"))
            return OnDisk::Overwrite;
        return answer == QStringLiteral("Recharger") ? OnDisk::Reload : OnDisk::Cancel;
    }
    NotLoaded notTheLoadedFile(const QString &path, bool nowALink) override
    {
        const QString saveAs = QStringLiteral("Enregistrer sous…");
        const QString text = nowALink
            ? QStringLiteral("Le fichier %1 n'est plus celui qui a été ouvert : un autre programme l'a remplacé par un "
                             "lien symbolique. Ondrel n'écrit pas à travers ce lien.").arg(path)
            : QStringLiteral("Le fichier %1 n'est plus celui qui a été ouvert : un autre programme a mis un autre "
                             "fichier à sa place.").arg(path);
        QStringList buttons{saveAs, QStringLiteral("Annuler")};
        if (!nowALink)
            buttons.prepend(QStringLiteral("Écraser"));
        const QString answer = ask(m_window, "notLoadedBox", text, buttons, QStringLiteral("Annuler"));
        if (answer == QStringLiteral("Écraser"))
            return NotLoaded::Overwrite;
        return answer == saveAs ? NotLoaded::SaveAs : NotLoaded::Cancel;
    }
    QString saveAsPath(const QString &path) override
    {
        return QFileDialog::getSaveFileName(m_window, QStringLiteral("Enregistrer sous…"), path);
    }
    bool recreateDeleted(const QString &path) override
    {
        return ask(m_window, "deletedBox",
                   QStringLiteral("Le fichier %1 a été supprimé par un autre programme depuis son chargement. "
                                  "L'enregistrer de nouveau avec le texte de l'éditeur ?").arg(path),
                   {QStringLiteral("Enregistrer"), QStringLiteral("Annuler")}, QStringLiteral("Annuler"))
               == QStringLiteral("Enregistrer");
    }

private:
    QWidget *m_window;
};

} // namespace

UnsavedAnswer askAboutUnsaved(QWidget *parent, const QString &question, bool canSave)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(), question, QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("unsavedBox"));
    box.setTextFormat(Qt::PlainText);
    QPushButton *save = canSave ? box.addButton(QStringLiteral("Enregistrer"), QMessageBox::YesRole) : nullptr;
    box.addButton(QStringLiteral("Abandonner"), QMessageBox::NoRole);
    QPushButton *cancel = box.addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.exec();
    if (box.clickedButton() == cancel)
        return UnsavedAnswer::Cancel;
    return save && box.clickedButton() == save ? UnsavedAnswer::Save : UnsavedAnswer::Abandon;
}

bool savedOrTold(QWidget *parent, const std::function<bool()> &save)
{
    try {
        return save();
    } catch (const OndrelError &error) {
        showErrorBox(parent, error.message());
        return false;
    }
}

bool SessionController::mayDropEditorText()
{
    if (!m_editor->isModified())
        return true;
    const QString path = m_fileField->text();
    const QString question =
        path.isEmpty() ? QStringLiteral("Le texte de l'éditeur a été modifié et n'a pas été enregistré. "
                                        "L'abandonner ?")
                       : QStringLiteral("Le texte de l'éditeur a été modifié depuis le dernier enregistrement. "
                                        "L'enregistrer dans %1 ?").arg(path);
    switch (askAboutUnsaved(m_boxParent, question, !path.isEmpty())) {
    case UnsavedAnswer::Cancel:
        return false;
    case UnsavedAnswer::Save:
        return savedOrTold(m_boxParent, [this] { return saveEditedFile(); });
    case UnsavedAnswer::Abandon:
        break;
    }
    return true;
}

bool SessionController::mayCloseFiles()
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
    switch (askAboutUnsaved(m_boxParent, question, allNamed)) {
    case UnsavedAnswer::Cancel:
        return false;
    case UnsavedAnswer::Abandon:
        return true;
    case UnsavedAnswer::Save:
        break;
    }
    for (EditedFile *file : std::as_const(unsaved)) {
        showFileTab(int(m_files.indexOf(file)));
        if (!savedOrTold(m_boxParent, [this] { return saveEditedFile(); }))
            return false;
    }
    return true;
}

bool SessionController::saveEditedFile(const FileIdentity *knownDisk)
{
    BoxQuestions questions(m_boxParent);
    if (!m_file->save(m_fileField->text(), questions, knownDisk))
        return false;
    if (!m_fileField->text().isEmpty())
        emit saved(); // the page beside the editor follows every save
    return true;
}

void SessionController::offerRecovery()
{
    for (const Journal &journal : leftJournals()) {
        const QString what = journal.path.isEmpty() ? QStringLiteral("d'un texte sans fichier")
                                                    : QStringLiteral("de %1").arg(journal.path);
        // Another program's newer file is never written over without the user's say.
        const bool changed = !journal.path.isEmpty() && fileChangedSince(journal, diskIdentity(journal.path));
        const QString answer = changed
            ? askOverChangedFile(m_boxParent, what, journal)
            : ask(m_boxParent, "recoveryBox",
                  QStringLiteral("Ondrel s'est arrêté sans que le texte %1 soit enregistré. "
                                 "Ce texte a été conservé %2.").arg(what, keptOn(journal)),
                  {QStringLiteral("Récupérer"), QStringLiteral("Ignorer")}, QStringLiteral("Ignorer"));
        if (answer != QStringLiteral("Récupérer") && answer != QStringLiteral("Garder les deux")) {
            QFile::remove(journal.file);
            continue;
        }
        // The text comes back in the file's tab when it is open, else in a tab of its own.
        const int open = fileTabOf(journal.path);
        if (open >= 0)
            showFileTab(open);
        else if (!m_file->path().isEmpty() || m_file->isModified())
            addFileTab();
        m_file->forget();
        if (!journal.path.isEmpty()) {
            // As a click in the file list would: the same file name, URL and caption.
            try {
                if (isExistingFile(journal.path))
                    loadEditedFile(journal.path);
            } catch (const OndrelError &) {
                m_file->forget();
            }
            emit fileChosen(journal.path);
        }
        m_file->recover(journal, changed); // a save asks before writing over the newer file
        if (answer == QStringLiteral("Garder les deux")) {
            // The recovered text becomes a file of its own beside the newer one, which stays as it is.
            const QString copy = recoveredCopyPath(journal.path);
            m_file->write(copy); // throws: the text stays unsaved and journaled
            emit fileChosen(copy);
            m_file->afterSave();
        }
        return; // one text a start: the others wait for the next
    }
}

QString SessionController::keepUnsavedText()
{
    // The copy goes beside the side files, where the user's settings are; the
    // temporary folder when that one cannot be written.
    const QString field = m_fileField->text();
    const QString edited = field.isEmpty() ? QStringLiteral("sans-nom.txt") : QFileInfo(field).fileName();
    const QString name = QStringLiteral("%1-non-enregistre-%2-%3")
                             .arg(QFileInfo(m_sideFileBase).fileName(),
                                  QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")), edited);
    const QByteArray bytes = m_file->fileBytes();
    const QString sideFolder = QFileInfo(m_sideFileBase).absolutePath();
    QString why;
    for (const QString &folder : {sideFolder, QDir::tempPath()}) {
        QString path = QDir(folder).filePath(name);
        for (int n = 2; QFileInfo::exists(path); ++n) // never over an earlier copy
            path = QDir(folder).filePath(QStringLiteral("%1-%2").arg(n).arg(name));
        if (replaceFileAtomically(path, bytes, 0600, &why))
            return path;
    }
    throw OndrelError(cannotCreateMessage(QDir(sideFolder).filePath(name), why));
}

bool SessionController::keepTextsForStop()
{
    m_keepJournal = true; // the other tabs' unsaved texts come back at the next start too
    if (!m_editor->isModified())
        return true;
    // The crash journal brings the text back at the next start; the copy keeps it
    // where the user can open it at once.
    if (!journalNow())
        printMessage(QStringLiteral("le journal du texte non enregistré n'a pas pu être écrit"));
    try {
        const QString copy = keepUnsavedText();
        const QString field = m_fileField->text();
        printMessage(field.isEmpty() ? QStringLiteral("texte non enregistré copié dans %1").arg(copy)
                                     : QStringLiteral("texte non enregistré de « %1 » copié dans %2").arg(field, copy));
    } catch (const OndrelError &error) {
        printMessage(withFullStop(error.message()));
        return false;
    }
    return true;
}
