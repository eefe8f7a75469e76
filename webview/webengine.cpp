// The preview module (ondrel-apercu.so): the web engine behind every WebBrowser.
// The window loads it once it is shown and idle, or at the first need, so that a
// start does not pay for loading the web engine's libraries.
#include "preview/phpserver.h"
#include "preview/previewengine.h"
#include "preview/statustext.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QWebEngineDownloadRequest>
#include <QWebEngineHttpRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <functional>

namespace {

constexpr int kConnectionRefused = -102; // Chromium's net::ERR_CONNECTION_REFUSED

/**
 * Puts the built-in server's key on the requests that may carry it: those to the
 * server's origin that the browser makes for the user or that a page of that
 * origin makes. A page of another site (a link, a script, a rebinding name)
 * gets no key, so it cannot reach the server through the preview.
 */
class ServerKeyInterceptor : public QWebEngineUrlRequestInterceptor
{
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void setKey(int port, const QByteArray &key)
    {
        m_port = port;
        m_key = key;
    }

    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        if (m_port <= 0 || !isServer(info.requestUrl()))
            return;
        const QUrl initiator = info.initiator(); // empty for what the browser asks itself
        if (!initiator.isEmpty() && !isServer(initiator))
            return;
        info.setHttpHeader(QByteArray(kServerKeyHeader), m_key);
    }

private:
    bool isServer(const QUrl &url) const
    {
        return url.scheme() == QLatin1String("http") && url.port() == m_port
            && (url.host() == QLatin1String("127.0.0.1") || url.host() == QLatin1String("localhost"));
    }

    int m_port = 0;
    QByteArray m_key;
};

/**
 * The engine's page with a guard on JavaScript dialogs: within one page, once
 * kDialogBurst dialogs came within kDialogWindowMs, every later one is answered
 * at once (alert closed, confirm and prompt cancelled) without showing.
 */
class PreviewPage : public QWebEnginePage
{
public:
    PreviewPage(QWebEngineProfile *profile, QObject *parent, std::function<void()> onSuppressed)
        : QWebEnginePage(profile, parent)
        , m_onSuppressed(std::move(onSuppressed))
    {
        connect(this, &QWebEnginePage::loadStarted, this, &PreviewPage::newPage);
    }

protected:
    // The page's text is shown as it stands, never read as markup.
    void javaScriptAlert(const QUrl &, const QString &msg) override
    {
        if (mayShowDialog())
            pageBox(QMessageBox::Information, msg, QMessageBox::Ok);
    }
    bool javaScriptConfirm(const QUrl &, const QString &msg) override
    {
        return mayShowDialog()
            && pageBox(QMessageBox::Question, msg, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    }
    bool javaScriptPrompt(const QUrl &origin, const QString &msg, const QString &value, QString *result) override
    {
        return mayShowDialog() && QWebEnginePage::javaScriptPrompt(origin, msg, value, result);
    }

private:
    void newPage()
    {
        m_shown.clear();
        m_suppressed = false;
    }

    int pageBox(QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons buttons)
    {
        QMessageBox box(icon, QStringLiteral("JavaScript - %1").arg(url().toString()), text, buttons,
                        qobject_cast<QWidget *>(parent()));
        box.setTextFormat(Qt::PlainText);
        return box.exec();
    }

    bool mayShowDialog()
    {
        if (m_suppressed)
            return false;
        if (!m_clock.isValid())
            m_clock.start();
        const qint64 now = m_clock.elapsed();
        while (!m_shown.isEmpty() && now - m_shown.first() > PreviewEngine::kDialogWindowMs)
            m_shown.removeFirst();
        if (m_shown.size() >= PreviewEngine::kDialogBurst) {
            m_suppressed = true;
            m_onSuppressed();
            return false;
        }
        m_shown.append(now);
        return true;
    }

    std::function<void()> m_onSuppressed;
    QElapsedTimer m_clock;
    QList<qint64> m_shown; // when the recent dialogs were shown, ms on m_clock
    bool m_suppressed = false;
};

/** The status text of a load that failed: plain French words where the engine has only a code. */
QString failureText(const QWebEngineLoadingInfo &info)
{
    if (info.errorDomain() == QWebEngineLoadingInfo::ConnectionErrorDomain && info.errorCode() == kConnectionRefused) {
        const QUrl url = info.url();
        return QStringLiteral("Connexion refusée : aucun serveur web ne répond à %1 "
                              "(cochez « Serveur PHP intégré » sur la page « Fichier »)")
            .arg(url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment).toString());
    }
    // The engine's own words are English: the status says it in French from the codes.
    LoadErrorDomain domain = LoadErrorDomain::Other;
    switch (info.errorDomain()) {
    case QWebEngineLoadingInfo::InternalErrorDomain: domain = LoadErrorDomain::Internal; break;
    case QWebEngineLoadingInfo::ConnectionErrorDomain: domain = LoadErrorDomain::Connection; break;
    case QWebEngineLoadingInfo::CertificateErrorDomain: domain = LoadErrorDomain::Certificate; break;
    case QWebEngineLoadingInfo::HttpErrorDomain: domain = LoadErrorDomain::Http; break;
    case QWebEngineLoadingInfo::FtpErrorDomain: domain = LoadErrorDomain::Ftp; break;
    case QWebEngineLoadingInfo::DnsErrorDomain: domain = LoadErrorDomain::Dns; break;
    default: break;
    }
    return loadFailureText(domain, info.errorCode(), info.url().toString(QUrl::RemoveQuery));
}

class WebEngine final : public QObject, public PreviewEngine
{
public:
    WebEngine(QWidget *parent, PreviewEngineEvents *events)
        : m_events(events)
        , m_keys(new ServerKeyInterceptor(this))
    {
        // A profile without a storage name is off the record: nothing is kept on
        // disk, and it is told to keep no HTTP cache in memory either.
        m_profile = new QWebEngineProfile;
        m_profile->setHttpCacheType(QWebEngineProfile::NoCache);
        m_profile->setUrlRequestInterceptor(m_keys);
        m_view = new QWebEngineView(parent);
        auto *page = new PreviewPage(m_profile, m_view, [this] {
            m_events->engineStatus(QStringLiteral("Boîtes de dialogue JavaScript bloquées sur cette page"));
        });
        connect(m_profile, &QWebEngineProfile::downloadRequested, this, &WebEngine::refuseDownload);
        m_view->setPage(page);
        // A load never takes the keyboard from the editor beside the page.
        page->settings()->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
        connect(page, &QWebEnginePage::loadProgress, this, &WebEngine::progress);
        connect(page, &QWebEnginePage::linkHovered, this, &WebEngine::linkHovered);
        connect(page, &QWebEnginePage::loadingChanged, this, &WebEngine::loadingChanged);
        connect(page, &QWebEnginePage::titleChanged, this, &WebEngine::titleChanged);
    }

    ~WebEngine() override
    {
        // The page must go before its profile; neither reports anything on the way.
        disconnect(m_view->page(), nullptr, this, nullptr);
        delete m_view;
        delete m_profile;
    }

    QWidget *widget() override { return m_view; }

    void load(const QUrl &url) override
    {
        QWebEngineHttpRequest request(url);
        request.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
        request.setHeader(QByteArrayLiteral("Pragma"), QByteArrayLiteral("no-cache"));
        m_view->load(request);
    }

    QUrl url() const override { return m_view->url(); }
    QPointF scrollPosition() const override { return m_view->page()->scrollPosition(); }
    void scrollTo(QPointF position) override
    {
        m_view->page()->runJavaScript(QStringLiteral("window.scrollTo(%1, %2)").arg(position.x()).arg(position.y()));
    }
    void stop() override { m_view->stop(); }
    void back() override { m_view->back(); }
    void reload() override { m_view->reload(); }
    void reloadBypassingCache() override { m_view->triggerPageAction(QWebEnginePage::ReloadAndBypassCache); }
    void setServerKey(int port, const QByteArray &key) override { m_keys->setKey(port, key); }

private:
    void refuseDownload(QWebEngineDownloadRequest *download)
    {
        download->cancel();
        m_events->engineStatus(QStringLiteral("Téléchargement refusé : %1").arg(download->downloadFileName()));
    }
    void progress(int percent) { m_events->engineProgress(percent); }
    void linkHovered(const QString &url) { m_events->engineStatus(url); }
    void titleChanged(const QString &title) { m_events->engineTitleChanged(title); }

    void loadingChanged(const QWebEngineLoadingInfo &info)
    {
        switch (info.status()) {
        case QWebEngineLoadingInfo::LoadStartedStatus:
            m_events->engineLoadStarted(info.url());
            break;
        case QWebEngineLoadingInfo::LoadStoppedStatus:
            m_events->engineLoadStopped();
            break;
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            m_events->engineLoadSucceeded(info.url());
            break;
        case QWebEngineLoadingInfo::LoadFailedStatus:
            m_events->engineLoadFailed(info.url(), failureText(info));
            break;
        }
    }

    PreviewEngineEvents *m_events;
    ServerKeyInterceptor *m_keys;
    QWebEngineProfile *m_profile = nullptr;
    QWebEngineView *m_view = nullptr;
};

} // namespace

extern "C" Q_DECL_EXPORT PreviewEngine *ondrelCreatePreviewEngine(QWidget *parent, PreviewEngineEvents *events,
                                                                  int interfaceVersion)
{
    if (interfaceVersion != kPreviewEngineInterface)
        return nullptr;
    return new WebEngine(parent, events);
}
