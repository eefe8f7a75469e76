// The preview page: save the editor's text and show the served page.
#include "app/main.h"

#include "app/widgets.h"
#include "editor/richedit.h"
#include "files/urlrules.h"
#include "files/webbrowser.h"

#include <QProgressBar>
#include <QTabWidget>

void TfmMain::PCChange()
{
    QWidget *page = PC->currentWidget();
    if (page == tsWB) {
        saveEditedFile(); // throws, and nothing is navigated, when it cannot be written
        WB->navigate(previewUrl(eURL->text(), eParam->text()));
    } else if (page == tsEdit) {
        WB->stop();
    }
}

void TfmMain::saveEditedFile()
{
    M->saveFile(eFile->text());
}

void TfmMain::SpeedButton1Click()
{
    WB->stop();
}

void TfmMain::SpeedButton2Click()
{
    WB->goBack();
}

void TfmMain::SpeedButton7Click()
{
    WB->refresh();
}

void TfmMain::WBStatusTextChange(const QString &text)
{
    eText->setText(text);
}

void TfmMain::WBProgressChange(int progress, int progressMax)
{
    PB->setMaximum(progressMax);
    PB->setValue(progress);
}

void TfmMain::WBDocumentComplete(const QString &url)
{
    param->setText(url);
}
