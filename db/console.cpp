// The MySQL console: connection, statements, history and automatic refresh.
#include "app/main.h"

void TfmMain::sbConnectedClick() {}
void TfmMain::Panel6Resize() {}
void TfmMain::cbKeyDown(int key) { Q_UNUSED(key); }
void TfmMain::cbTempoClick() {}
void TfmMain::Timer1Timer() {}
