// Start-up and shut-down of the main window: the settings file and the side files.
#include "app/main.h"

void TfmMain::FormCreate()
{
    showPage(TabSheet2);
    EstConnecte = false;
}

void TfmMain::FormShow()
{
    setWindowTitle(windowTitleText());
}

void TfmMain::FormDestroy() {}
