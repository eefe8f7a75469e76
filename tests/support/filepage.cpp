#include "filepage.h"

#include "app/main.h"
#include "files/browser.h"

#include <QListWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <stdexcept>

QListWidgetItem *itemNamed(QListWidget *list, const QString &text)
{
    const QList<QListWidgetItem *> found = list->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.first();
}

static QPoint centreOf(QListWidget *list, const QString &text)
{
    QListWidgetItem *item = itemNamed(list, text);
    if (!item)
        throw std::runtime_error("no such item: " + text.toStdString());
    list->scrollToItem(item);
    QApplication::processEvents();
    return list->visualItemRect(item).center();
}

void pressItem(QListWidget *list, const QString &text, Qt::MouseButton button)
{
    const QPoint at = centreOf(list, text);
    QTest::mousePress(list->viewport(), button, {}, at);
    QTest::mouseRelease(list->viewport(), button, {}, at);
}

void doubleClickItem(QListWidget *list, const QString &text)
{
    // The sequence a real double click produces: press, release, double click, release.
    const QPoint at = centreOf(list, text);
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
}

void chooseFile(TfmMain &window, const QString &folder, const QString &name)
{
    window.showPage(window.TabSheet2);
    window.dlb->setCurrentFolder(folder);
    pressItem(window.flb, name);
}

void clickTab(TfmMain &window, QWidget *page)
{
    QTabBar *bar = window.PC->tabBar();
    const QPoint at = bar->tabRect(window.PC->indexOf(page)).center();
    QTest::mouseClick(bar, Qt::LeftButton, {}, at);
}
