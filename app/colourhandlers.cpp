// The colouring of the source editor: ColorieZone and the five buttons of the editor page.
#include "app/main.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"

#include <QCheckBox>
#include <QColorDialog>

namespace {

/** Runs the shared colour dialog from `initial`; true with `chosen` set when the user confirms
 *  (`chosen` may be `initial` itself: it is written only after the dialog closes). */
bool pickColour(QColorDialog *dialog, Colour initial, Colour &chosen)
{
    dialog->setCurrentColor(toQColor(initial));
    if (dialog->exec() != QDialog::Accepted)
        return false;
    chosen = fromQColor(dialog->selectedColor());
    return true;
}

} // namespace

void TfmMain::ColorieZone(qsizetype start, qsizetype end)
{
    tsEdit->setFocus();
    const qsizetype selectionStart = M->selStart();
    const qsizetype selectionLength = M->selLength();
    // The pass writes colours by runs, so the selection never moves while it runs; and
    // the view never scrolls: a click near its edge with the button still held would
    // otherwise end on another character and select.
    M->colours()->colourZone(start, end, CoulPolice, CoulChaines, CoulFonctions);
    M->restoreSelection(selectionStart, selectionLength);
    M->setFocus();
}

void TfmMain::sbColorieClick()
{
    ColorieZone(0, M->textLength());
}

void TfmMain::SpeedButton3Click()
{
    Colour chosen;
    if (pickColour(ColorDialog1, M->backgroundColour(), chosen))
        M->setBackgroundColour(chosen);
}

void TfmMain::SpeedButton4Click()
{
    Colour chosen;
    if (!pickColour(ColorDialog1, M->textColour(), chosen))
        return;
    M->setTextColour(chosen);
    CoulPolice = chosen;
}

void TfmMain::SpeedButton5Click()
{
    if (pickColour(ColorDialog1, CoulChaines, CoulChaines))
        ColorieZone(0, M->textLength());
}

void TfmMain::SpeedButton6Click()
{
    if (pickColour(ColorDialog1, CoulFonctions, CoulFonctions))
        ColorieZone(0, M->textLength());
}

void TfmMain::cbPhpColouringToggled()
{
    const bool php = cbPhpColouring->isChecked();
    // The lexer's styles and the pass's colours cannot share the text.
    const QList<QWidget *> replaced = {cbColore, sbColorie, SpeedButton5, SpeedButton6};
    for (QWidget *control : replaced)
        control->setEnabled(!php);
    M->colours()->setRecolouredWhileTyping(cbColore->isChecked() && !php);
    M->lexing()->setPhpColouring(php);
}
