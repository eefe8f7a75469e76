// Caret read-out, function hint and context help of the source editor.
#include "app/main.h"

void TfmMain::Ligne() {}
void TfmMain::sbAideClick() {}
void TfmMain::MKeyDown(int &key) { Q_UNUSED(key); }
void TfmMain::MKeyUp() {}
void TfmMain::MMouseDown() {}
