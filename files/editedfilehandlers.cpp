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
        const QString answer = ask(this, "recoveryBox",
                                   QStringLiteral("Ondrel s'est arrêté sans que le texte %1 soit enregistré. "
                                                  "Ce texte a été conservé.").arg(what),
                                   {QStringLiteral("Récupérer"), QStringLiteral("Ignorer")}, QStringLiteral("Ignorer"));
        if (answer != QStringLiteral("Récupérer")) {
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
        m_file->recover(journal);
        return; // the editor holds one text: the others wait for the next start
    }
}
