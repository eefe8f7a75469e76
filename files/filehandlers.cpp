// The file page: choosing a file and deriving its target URL.
#include "app/main.h"

void TfmMain::flbMouseDown() {}
void TfmMain::eSiteChange() {}
void TfmMain::eSiteExit() {}
