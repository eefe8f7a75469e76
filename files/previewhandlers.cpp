// The preview page: save the editor's text and show the served page.
#include "app/main.h"

void TfmMain::PCChange() {}
void TfmMain::SpeedButton1Click() {}
void TfmMain::SpeedButton2Click() {}
void TfmMain::SpeedButton7Click() {}
void TfmMain::WBStatusTextChange(const QString &text) { Q_UNUSED(text); }
void TfmMain::WBProgressChange(int progress, int progressMax) { Q_UNUSED(progress); Q_UNUSED(progressMax); }
void TfmMain::WBDocumentComplete(const QString &url) { Q_UNUSED(url); }
