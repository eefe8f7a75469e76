#include "testsupport.h"

#include "base/ports.h"

#include "app/main.h"

#include <QApplication>
#include <gtest/gtest.h>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTcpServer>
#include <QTest>

#include <csignal>

ModalWatcher::ModalWatcher()
{
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
    m_timer.start();
}

void ModalWatcher::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        boxes.append({box->text(), box->windowTitle(), box->icon() != QMessageBox::NoIcon, box->textFormat()});
        // Messages quote file names and server texts: markup in them is shown, never rendered.
        EXPECT_EQ(box->textFormat(), Qt::PlainText) << box->text().toStdString();
        if (whileBoxOpen)
            whileBoxOpen();
        for (QAbstractButton *button : box->buttons()) {
            if (!answer.isEmpty() && button->text() == answer) {
                button->click();
                return;
            }
        }
        box->done(QMessageBox::Ok);
    } else if (auto *dialog = qobject_cast<QColorDialog *>(modal)) {
        if (onColorDialog)
            onColorDialog(dialog);
        else
            dialog->reject();
    }
}

OpenedFiles::OpenedFiles()
{
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
}

OpenedFiles::~OpenedFiles()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void OpenedFiles::open(const QUrl &url)
{
    files << url.toLocalFile();
}

std::unique_ptr<TfmMain> makeWindow(const QString &folder, bool show)
{
    auto window = std::make_unique<TfmMain>(QDir(folder).filePath(QStringLiteral("ondrel")));
    if (show) {
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            qWarning("the test window did not become active");
    }
    return window;
}
