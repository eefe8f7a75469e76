#include "testsupport.h"

#include "preview/ports.h"

#include "app/main.h"

#include <QApplication>
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
        boxes.append({box->text(), box->windowTitle(), box->icon() != QMessageBox::NoIcon});
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

QString TempFolder::write(const QString &name, const QByteArray &bytes) const
{
    const QString p = path(name);
    writeFile(p, bytes);
    return p;
}

QByteArray TempFolder::read(const QString &name) const
{
    return readFile(path(name));
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

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

int freeLoopbackPort()
{
    const int port = pickLoopbackPort();
    if (port == 0)
        throw std::runtime_error("no free loopback port below the ephemeral range");
    return port;
}

bool processAlive(qint64 pid)
{
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return false;
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close >= 0 && stat.mid(close + 2, 1) != "Z";
}
