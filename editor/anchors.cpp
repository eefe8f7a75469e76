// The five line anchors of the editor page.
#include "app/main.h"

void TfmMain::SpeedButton8MouseUp(SpeedButton *sender, Qt::MouseButton button)
{
    Q_UNUSED(sender);
    Q_UNUSED(button);
}
