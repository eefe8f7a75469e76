#pragma once

#include <QWidget>

/**
 * The preview browser `WB`. The web engine behind it is created the first time
 * it is needed, not at start-up, so that the window opens fast.
 */
class WebBrowser : public QWidget
{
    Q_OBJECT
public:
    explicit WebBrowser(QWidget *parent = nullptr);

Q_SIGNALS:
    void statusTextChange(const QString &text);
    void progressChange(int progress, int progressMax);
    void documentComplete(const QString &url);
};
