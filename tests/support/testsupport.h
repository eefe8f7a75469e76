#pragma once

#include <QDir>
#include <QList>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <ostream>

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

/** A temporary folder for one test, with helpers to write and read files in it. */
struct TempFolder
{
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    QString write(const QString &name, const QByteArray &bytes) const;
    QByteArray read(const QString &name) const;
};

/** A main window whose side files live in `folder` (named ondrel.ini / .php / .qry there). */
std::unique_ptr<TfmMain> makeWindow(const QString &folder, bool show = true);

/** Reads a whole file; empty when it cannot be read. */
QByteArray readFile(const QString &path);
/** Writes a whole file, creating folders as needed. */
void writeFile(const QString &path, const QByteArray &bytes);

/** Whether process `pid` runs (a zombie waiting to be reaped counts as gone). */
bool processAlive(qint64 pid);

/** A TCP port on 127.0.0.1 that nothing listens on right now, below the ephemeral range; throws when none. */
int freeLoopbackPort();

// Readable values in test failure messages.
inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QByteArray &bytes, std::ostream *os) { *os << '"' << bytes.toStdString() << '"'; }
inline void PrintTo(const QStringList &list, std::ostream *os) { *os << '[' << list.join(QStringLiteral(", ")).toStdString() << ']'; }
