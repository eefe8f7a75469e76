#pragma once

#include "preview/previewengine.h"

#include <QLibrary>
#include <QObject>
#include <QPointer>

/**
 * The preview module (ondrel-apercu.so), which holds the web engine: the window
 * does not link the engine's libraries, so a start does not pay for loading
 * them. The module is looked for beside the code that loads it (the window
 * module of a build folder or of the installed package, or a test program), else
 * where the package installs it; never in the current folder nor through the
 * environment. Once loaded it stays for the life of the process.
 */
class PreviewModule : public QObject
{
    Q_OBJECT
public:
    /** The file name of the module. */
    static const QString kFileName;

    explicit PreviewModule(const QString &path, QObject *parent = nullptr);

    /** The module the browsers of this process use. */
    static PreviewModule &shared();
    /** From now on the browsers use the module at `path` (a test's module that cannot load). */
    static void replaceShared(const QString &path);
    /** Where the program's module is: beside the loading code, else the installed one. */
    static QString defaultPath();

    const QString &path() const { return m_path; }
    /** Loads the module unless that was done or tried already; whether it is there. */
    bool load();
    bool loaded() const { return m_create != nullptr; }
    /** Why the module could not be loaded, in French; empty while it was not tried or when it loaded. */
    const QString &error() const { return m_error; }
    /** A new engine (see CreatePreviewEngine), loading the module first; nullptr when it cannot. */
    PreviewEngine *createEngine(QWidget *parent, PreviewEngineEvents *events);

    /**
     * Holds every load until `window` has painted once, then loads the module
     * after `idleMs` on a coarse timer, unless a need came first. Browsers that
     * need the engine meanwhile wait for released().
     */
    void loadAfterFirstPaint(QWidget *window, int idleMs);
    /** Whether loads wait for the window's first paint. */
    bool held() const { return m_held; }

Q_SIGNALS:
    /** The window has painted: the module may load now. */
    void released();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void release();

    QString m_path;
    QLibrary m_library;
    CreatePreviewEngine m_create = nullptr;
    QString m_error;
    bool m_tried = false;
    bool m_held = false;
    int m_idleMs = 0;
    QPointer<QWidget> m_window;
};
