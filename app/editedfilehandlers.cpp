// The edited file: what is loaded into the editor, the one save of its text, the
// watch on changes other programs make to it, and the journal that keeps unsaved
// text through a crash.
#include "app/main.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "io/fileidentity.h"
#include "io/readfile.h"
#include "io/recovery.h"
#include "files/linediff.h"

#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace {

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

/** A save's questions, asked with the window's message boxes. */
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

private:
    QWidget *m_window;
};

} // namespace

void TfmMain::showNotice(const QString &text)
{
    lNotice->setText(text);
    lNotice->setVisible(!text.isEmpty());
}

void TfmMain::loadEditedFile(const QString &path)
{
    m_file->open(path);
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
    BoxQuestions questions(this);
    return m_file->save(eFile->text(), questions, knownDisk);
}

bool TfmMain::journalNow()
{
    m_keepJournal = true;
    return m_file->journalNow();
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
            showChosenFile(journal.path);
        }
        m_file->recover(journal, changed); // a save asks before writing over the newer file
        if (answer == QStringLiteral("Garder les deux")) {
            // The recovered text becomes a file of its own beside the newer one, which stays as it is.
            const QString copy = recoveredCopyPath(journal.path);
            m_file->write(copy); // throws: the text stays unsaved and journaled
            showChosenFile(copy);
            m_file->afterSave();
        }
        return; // one text a start: the others wait for the next
    }
}
