#pragma once
// The boundary between the window and the preview module (ondrel-apercu.so,
// webview/): the module holds the web engine, the window knows only these two
// interfaces and the one factory function it looks up in the module. Nothing
// here may name a type of the web engine.

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <QUrl>

class QWidget;

/** What the engine reports to the browser that holds it, on the user-interface thread. */
class PreviewEngineEvents
{
public:
    virtual ~PreviewEngineEvents() = default;
    /** A text for the status line: a hovered link, blocked dialogs, a refused download. */
    virtual void engineStatus(const QString &text) = 0;
    /** Progress of the current load, 0 to 100. */
    virtual void engineProgress(int percent) = 0;
    virtual void engineLoadStarted(const QUrl &url) = 0;
    virtual void engineLoadStopped() = 0;
    virtual void engineLoadSucceeded(const QUrl &url) = 0;
    /** A load that failed; `text` says why in French. */
    virtual void engineLoadFailed(const QUrl &url, const QString &text) = 0;
    virtual void engineTitleChanged(const QString &title) = 0;
};

/**
 * One web view with its off-the-record profile: no HTTP cache, downloads
 * refused, a burst of JavaScript dialogs suppressed, the built-in server's key
 * on the requests that may carry it.
 */
class PreviewEngine
{
public:
    /** Dialogs a page may show within kDialogWindowMs before the rest are suppressed. */
    static constexpr int kDialogBurst = 3;
    static constexpr int kDialogWindowMs = 5000;

    virtual ~PreviewEngine() = default;
    /** The view, a child of the parent given to the factory. */
    virtual QWidget *widget() = 0;
    /** Loads `url` with a plain GET that no cache answers. */
    virtual void load(const QUrl &url) = 0;
    virtual QUrl url() const = 0;
    virtual QPointF scrollPosition() const = 0;
    virtual void scrollTo(QPointF position) = 0;
    virtual void stop() = 0;
    virtual void back() = 0;
    virtual void reload() = 0;
    virtual void reloadBypassingCache() = 0;
    /** See WebBrowser::setServerKey. */
    virtual void setServerKey(int port, const QByteArray &key) = 0;
};

/**
 * The module's one entry point: a new engine whose view is a child of `parent`,
 * reporting to `events` (which outlives it). The caller deletes the engine
 * before `parent` deletes its children.
 */
using CreatePreviewEngine = PreviewEngine *(*)(QWidget *parent, PreviewEngineEvents *events, int interfaceVersion);
inline constexpr char kCreatePreviewEngineSymbol[] = "ondrelCreatePreviewEngine";
/** Raised whenever the two interfaces above change: a module of another build answers nullptr. */
inline constexpr int kPreviewEngineInterface = 1;
