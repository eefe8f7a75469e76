// Unsaved edits are never dropped silently: loading another file or closing the
// window first offers to save the editor's text.
#include "app/main.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "files/unsavedbox.h"

#include "io/savefile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

bool TfmMain::mayDropEditorText()
{
    if (!M->isModified())
        return true;
    const QString path = eFile->text();
    const QString question =
        path.isEmpty() ? QStringLiteral("Le texte de l'éditeur a été modifié et n'a pas été enregistré. "
                                        "L'abandonner ?")
                       : QStringLiteral("Le texte de l'éditeur a été modifié depuis le dernier enregistrement. "
                                        "L'enregistrer dans %1 ?").arg(path);
    switch (askAboutUnsaved(this, question, !path.isEmpty())) {
    case UnsavedAnswer::Cancel:
        return false;
    case UnsavedAnswer::Save:
        return savedOrTold(this, [this] { return saveEditedFile(); });
    case UnsavedAnswer::Abandon:
        break;
    }
    return true;
}

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

QString TfmMain::keepUnsavedText()
{
    // The copy goes beside the side files, where the user's settings are; the
    // temporary folder when that one cannot be written.
    const QString edited = eFile->text().isEmpty() ? QStringLiteral("sans-nom.txt") : QFileInfo(eFile->text()).fileName();
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
