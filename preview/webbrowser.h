#pragma once

#include "preview/previewengine.h"

#include <QPointF>
#include <QUrl>
#include <QWidget>

#include <memory>

class QLabel;
class PreviewModule;

/**
 * The preview browser `WB` (also the page of the help window). The web engine
 * behind it lives in the preview module (PreviewModule), loaded once the window
 * is shown and idle or at the first need; the engine itself is created the
 * first time it is needed, not at start-up, so that the window opens fast. Its
 * profile keeps no HTTP cache and every navigation asks the server again
 * (Cache-Control: no-cache), so a preview never shows a stale page.
 *
 * All calls return at once; loading runs inside the engine and is reported by
 * the signals, on the user-interface thread. When the module cannot be loaded,
 * the browser shows why in its place and on the status; every call then does
 * nothing, and the rest of the window works on.
 *
 * It behaves as a browser does: a page cannot trap the user in JavaScript
 * dialogs (after kDialogBurst of them within kDialogWindowMs, the rest on that
 * page are suppressed), and downloads are refused; both are told on the status.
 */
class WebBrowser : public QWidget, private PreviewEngineEvents
{
    Q_OBJECT
public:
    static constexpr int kDialogBurst = PreviewEngine::kDialogBurst;
    static constexpr int kDialogWindowMs = PreviewEngine::kDialogWindowMs;

    explicit WebBrowser(QWidget *parent = nullptr);
    ~WebBrowser() override;

    /** Starts loading `url` from the server (a plain GET); throws OndrelError for a text that is no URL. */
    void navigate(const QString &url);
    /**
     * Loads `url` from the server as navigate() does; when it is the page shown
     * now, the page's scroll position is read before the load and put back once
     * the new page has loaded, so a refresh does not lose the user's place.
     */
    void navigateKeepingScroll(const QString &url);
    /** Ends any loading in progress. */
    void stop();
    /** Shows the previous page of the browser's history; nothing when there is none. */
    void goBack();
    /** Loads the current page again. */
    void refresh();
    /** Loads the current page again from the server, whatever a cache holds (F5). */
    void reloadBypassingCache();

    /**
     * From now on, every request to http://127.0.0.1:`port` or http://localhost:`port`
     * carries `key` in the header kServerKeyHeader (Ondrel's own server answers
     * nothing else), when the browser itself asks for it (an address, F9, F5) or a
     * page of that origin does; a page of any other site never sends it. A port of
     * 0 sends the key nowhere.
     */
    void setServerKey(int port, const QByteArray &key);

    /** Whether the engine has been created yet. */
    bool engineStarted() const { return m_engine != nullptr; }
    /** Whether a load is in progress (or waits for the module). */
    bool isLoading() const { return m_loading; }
    /**
     * The engine's view (a QWebEngineView), created on first use; nullptr when
     * the module cannot be loaded, or while the window waits for its first paint.
     */
    QWidget *view();
    /** The page shown (or being loaded). */
    QUrl url() const;
    /** Why the preview is not available, in French; empty when it is. */
    QString failure() const;
    /** The module this browser takes its engine from (PreviewModule::shared() unless set). */
    void setModule(PreviewModule *module) { m_module = module; }

Q_SIGNALS:
    void statusTextChange(const QString &text);
    /** Progress of the current load, out of `progressMax` (always 100). */
    void progressChange(int progress, int progressMax);
    /** A document finished loading (also an error page the engine made of a failure). */
    void documentComplete(const QString &url);
    /** The title of the page shown changed. */
    void titleChange(const QString &title);

private:
    PreviewModule &module() const;
    bool startEngine();
    void showFailure();
    void moduleReleased();

    void engineStatus(const QString &text) override;
    void engineProgress(int percent) override;
    void engineLoadStarted(const QUrl &url) override;
    void engineLoadStopped() override;
    void engineLoadSucceeded(const QUrl &url) override;
    void engineLoadFailed(const QUrl &url, const QString &text) override;
    void engineTitleChanged(const QString &title) override;

    PreviewModule *m_module = nullptr;
    std::unique_ptr<PreviewEngine> m_engine;
    QLabel *m_failure = nullptr;
    int m_keyPort = 0;
    QByteArray m_key;
    QUrl m_waiting; // asked for while the module waits for the window's first paint
    bool m_loading = false;
    bool m_restoreScroll = false; // the load in progress puts m_scroll back when it succeeds
    QPointF m_scroll;
    QUrl m_restoreUrl;
};
