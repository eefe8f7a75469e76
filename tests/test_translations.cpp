// Qt's own dialogs, buttons and context menus speak French.
#include "support/qtmain.h"
#include "support/testsupport.h"

#include "app/translations.h"
#include "editor/richedit.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

namespace {

QStringList actionTexts(QMenu *menu)
{
    QStringList texts;
    for (QAction *action : menu->actions())
        texts << action->text().remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0);
    return texts;
}

TEST(Translations, QtDialogsAndMenusAreFrench)
{
    ASSERT_TRUE(installFrenchTranslations(qApp));

    QColorDialog dialog;
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    QStringList labels;
    for (QLabel *label : dialog.findChildren<QLabel *>())
        labels << label->text().remove(QLatin1Char('&'));
    EXPECT_TRUE(labels.contains(QStringLiteral("Couleurs de base"))) << labels.join(QLatin1Char('|')).toStdString();
    QStringList buttons;
    for (QPushButton *button : dialog.findChildren<QPushButton *>())
        buttons << button->text().remove(QLatin1Char('&'));
    EXPECT_TRUE(buttons.contains(QStringLiteral("Annuler"))) << buttons.join(QLatin1Char('|')).toStdString();

    QLineEdit edit;
    std::unique_ptr<QMenu> editMenu(edit.createStandardContextMenu());
    const QStringList editActions = actionTexts(editMenu.get());
    EXPECT_TRUE(editActions.contains(QStringLiteral("Couper"))) << editActions.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(editActions.contains(QStringLiteral("Coller")));

    RichEdit editor;
    std::unique_ptr<QMenu> editorMenu(editor.createFrenchContextMenu());
    const QStringList editorActions = actionTexts(editorMenu.get());
    EXPECT_EQ(editorActions, QStringList({QStringLiteral("Annuler"), QStringLiteral("Rétablir"), QString(),
                                          QStringLiteral("Couper"), QStringLiteral("Copier"), QStringLiteral("Coller"),
                                          QStringLiteral("Supprimer"), QString(), QStringLiteral("Tout sélectionner"),
                                          QString(), QStringLiteral("Numéros de ligne")}));
}

} // namespace

ONDREL_QT_TEST_MAIN
