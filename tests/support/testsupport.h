#pragma once

#include "support/coresupport.h"

#include <QDir>
#include <QList>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

class TfmMain;

/**
 * Answers the modal dialogs that a handler opens while the watcher lives: every
 * QMessageBox is recorded (text, caption, whether it has an icon) and closed
 * with its default button; a QColorDialog is given to `onColorDialog`, which
 * accepts or rejects it (rejected when no callback is set).
 */
class ModalWatcher : public QObject
{
    Q_OBJECT
public:
    struct Box
    {
        QString text;
        QString caption;
        bool hasIcon;
        Qt::TextFormat format;
    };

    ModalWatcher();
    QList<Box> boxes;
    std::function<void(class QColorDialog *)> onColorDialog;
    /** The caption of the button to click in the next message boxes; empty: close them plainly. */
    QString answer;
    /** Called while a message box is up, before it is closed (e.g. to read the cursor). */
    std::function<void()> whileBoxOpen;

private:
    void poll();
    QTimer m_timer;
};

/**
 * Stands in for the desktop's "open with the associated application" while it
 * lives: every file URL handed to QDesktopServices::openUrl is recorded here.
 */
class OpenedFiles : public QObject
{
    Q_OBJECT
public:
    OpenedFiles();
    ~OpenedFiles() override;
    QStringList files;

public Q_SLOTS:
    void open(const QUrl &url);
};

/** A main window whose side files live in `folder` (named ondrel.ini / .php / .qry there). */
std::unique_ptr<TfmMain> makeWindow(const QString &folder, bool show = true);
