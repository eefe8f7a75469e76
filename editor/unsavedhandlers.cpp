// Unsaved edits are never dropped silently: loading another file or closing the
// window first offers to save the editor's text.
#include "app/main.h"

#include "app/widgets.h"
#include "editor/richedit.h"

#include <QMessageBox>
#include <QPushButton>

bool TfmMain::mayDropEditorText()
{
    if (!M->isModified())
        return true;
    const QString path = eFile->text();
    QMessageBox box(QMessageBox::Question, applicationTitle(),
                    path.isEmpty()
                        ? QStringLiteral("Le texte de l'éditeur a été modifié et n'a pas été enregistré. "
                                         "L'abandonner ?")
                        : QStringLiteral("Le texte de l'éditeur a été modifié depuis le dernier enregistrement. "
                                         "L'enregistrer dans %1 ?").arg(path),
                    QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("unsavedBox"));
    QPushButton *save = path.isEmpty() ? nullptr : box.addButton(QStringLiteral("Enregistrer"), QMessageBox::YesRole);
    box.addButton(QStringLiteral("Abandonner"), QMessageBox::NoRole);
    QPushButton *cancel = box.addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.exec();
    if (box.clickedButton() == cancel)
        return false;
    if (save && box.clickedButton() == save) {
        try {
            saveEditedFile();
        } catch (const OndrelError &error) {
            showErrorBox(this, error.message());
            return false;
        }
    }
    return true;
}
