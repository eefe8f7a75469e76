#include "files/webbrowser.h"

WebBrowser::WebBrowser(QWidget *parent)
    : QWidget(parent)
{
}
