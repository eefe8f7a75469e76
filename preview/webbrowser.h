#pragma once

#include <QPointF>
#include <QUrl>
#include <QWidget>

class QWebEngineProfile;
class QWebEngineView;
class ServerKeyInterceptor;

/**
 * The preview browser `WB`, over QtWebEngine (also the page of the help window). The web engine behind it is
 * created the first time it is needed, not at start-up, so that the window
 * opens fast. Its profile keeps no HTTP cache and every navigation asks the
 * server again (Cache-Control: no-cache), so a preview never shows a stale page.
 *
 * All calls return at once; loading runs inside the engine and is reported by
 * the three signals, on the user-interface thread.
 *
 * It behaves as a browser does: a page cannot trap the user in JavaScript
 * dialogs (after kDialogBurst of them within kDialogWindowMs, the rest on that
 * page are suppressed), and downloads are refused; both are told on the status.
 */
class WebBrowser : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kDialogBurst = 3;
    static constexpr int kDialogWindowMs = 5000;

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
    bool engineStarted() const { return m_view != nullptr; }
    /** Whether a load is in progress. */
    bool isLoading() const { return m_loading; }
    /** The engine's view, created on first use. */
    QWebEngineView *view();

Q_SIGNALS:
    void statusTextChange(const QString &text);
    /** Progress of the current load, out of `progressMax` (always 100). */
    void progressChange(int progress, int progressMax);
    /** A document finished loading (also an error page the engine made of a failure). */
    void documentComplete(const QString &url);

private:
    void startEngine();

    ServerKeyInterceptor *m_keys = nullptr;
    QWebEngineProfile *m_profile = nullptr;
    QWebEngineView *m_view = nullptr;
    bool m_loading = false;
    bool m_restoreScroll = false; // the load in progress puts m_scroll back when it succeeds
    QPointF m_scroll;
    QUrl m_restoreUrl;
};
