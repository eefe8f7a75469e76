#pragma once

#include <QString>
#include <Qt>

class TfmMain;
class QListWidget;
class QListWidgetItem;
class QWidget;

/** The item of `list` whose text is `text`, or null. */
QListWidgetItem *itemNamed(QListWidget *list, const QString &text);

/** Presses (and releases) `button` with the real mouse over the item `text` of `list`. */
void pressItem(QListWidget *list, const QString &text, Qt::MouseButton button = Qt::LeftButton);

/** Double-clicks the item `text` of `list` with the real mouse. */
void doubleClickItem(QListWidget *list, const QString &text);

/** Moves the window's folder list to `folder` and chooses the file `name` in the file list. */
void chooseFile(TfmMain &window, const QString &folder, const QString &name);

/** Clicks the tab of `page` in the window's page control with the real mouse. */
void clickTab(TfmMain &window, QWidget *page);
