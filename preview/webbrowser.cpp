#include "preview/webbrowser.h"

#include "base/errors.h"
#include "preview/phpserver.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEngineHttpRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <functional>

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

namespace {

constexpr int kProgressMax = 100;
constexpr int kConnectionRefused = -102; // Chromium's net::ERR_CONNECTION_REFUSED

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
        connect(this, &QWebEnginePage::loadStarted, this, [this] {
            m_shown.clear();
            m_suppressed = false;
        });
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
        while (!m_shown.isEmpty() && now - m_shown.first() > WebBrowser::kDialogWindowMs)
            m_shown.removeFirst();
        if (m_shown.size() >= WebBrowser::kDialogBurst) {
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
    return QStringLiteral("Échec du chargement : %1").arg(info.errorString());
}

} // namespace

WebBrowser::WebBrowser(QWidget *parent)
    : QWidget(parent)
    , m_keys(new ServerKeyInterceptor(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

WebBrowser::~WebBrowser()
{
    // The page must go before its profile.
    delete m_view;
    delete m_profile;
}

QWebEngineView *WebBrowser::view()
{
    if (!m_view)
        startEngine();
    return m_view;
}

void WebBrowser::startEngine()
{
    // A profile without a storage name is off the record: nothing is kept on
    // disk, and it is told to keep no HTTP cache in memory either.
    m_profile = new QWebEngineProfile;
    m_profile->setHttpCacheType(QWebEngineProfile::NoCache);
    m_profile->setUrlRequestInterceptor(m_keys);
    m_view = new QWebEngineView(this);
    auto *page = new PreviewPage(m_profile, m_view, [this] {
        Q_EMIT statusTextChange(QStringLiteral("Boîtes de dialogue JavaScript bloquées sur cette page"));
    });
    connect(m_profile, &QWebEngineProfile::downloadRequested, this, [this](QWebEngineDownloadRequest *download) {
        download->cancel();
        Q_EMIT statusTextChange(QStringLiteral("Téléchargement refusé : %1").arg(download->downloadFileName()));
    });
    m_view->setPage(page);
    // A load never takes the keyboard from the editor beside the page.
    page->settings()->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    layout()->addWidget(m_view);

    connect(page, &QWebEnginePage::loadProgress, this,
            [this](int progress) { Q_EMIT progressChange(progress, kProgressMax); });
    connect(page, &QWebEnginePage::linkHovered, this,
            [this](const QString &url) { Q_EMIT statusTextChange(url); });
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        const QString url = info.url().toString();
        switch (info.status()) {
        case QWebEngineLoadingInfo::LoadStartedStatus:
            m_loading = true;
            if (info.url() != m_restoreUrl)
                m_restoreScroll = false; // the user went elsewhere (a link): no place to put back
            Q_EMIT statusTextChange(QStringLiteral("Ouverture de la page %1…").arg(url));
            break;
        case QWebEngineLoadingInfo::LoadStoppedStatus:
            m_loading = false;
            Q_EMIT statusTextChange(QStringLiteral("Arrêté"));
            break;
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            m_loading = false;
            if (m_restoreScroll && info.url() == m_restoreUrl && (m_scroll.x() > 0 || m_scroll.y() > 0))
                m_view->page()->runJavaScript(
                    QStringLiteral("window.scrollTo(%1, %2)").arg(m_scroll.x()).arg(m_scroll.y()));
            m_restoreScroll = false;
            Q_EMIT statusTextChange(QStringLiteral("Terminé"));
            Q_EMIT documentComplete(url);
            break;
        case QWebEngineLoadingInfo::LoadFailedStatus:
            m_loading = false;
            if (info.url() == m_restoreUrl)
                m_restoreScroll = false;
            Q_EMIT statusTextChange(failureText(info));
            Q_EMIT documentComplete(url);
            break;
        }
    });
}

void WebBrowser::setServerKey(int port, const QByteArray &key)
{
    m_keys->setKey(port, key);
}

// "URL" + "?" + "Param" is sent as it stands: not trimmed, no scheme guessed.
void WebBrowser::navigate(const QString &url)
{
    const QUrl target(url, QUrl::TolerantMode);
    if (!target.isValid() || target.isRelative()) // "?test=1" alone names no page
        throw OndrelError(QStringLiteral("Adresse invalide : %1").arg(url));
    QWebEngineHttpRequest request(target);
    request.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    request.setHeader(QByteArrayLiteral("Pragma"), QByteArrayLiteral("no-cache"));
    m_restoreScroll = false;
    view()->load(request);
}

void WebBrowser::navigateKeepingScroll(const QString &url)
{
    const QUrl target(url, QUrl::TolerantMode);
    const bool samePage = m_view && m_view->url() == target;
    // A refresh that comes while the last one still loads keeps the place read before that one.
    if (samePage && !(m_restoreScroll && m_restoreUrl == target))
        m_scroll = m_view->page()->scrollPosition();
    navigate(url);
    m_restoreScroll = samePage;
    m_restoreUrl = target;
}

void WebBrowser::stop()
{
    if (m_view)
        m_view->stop();
}

void WebBrowser::goBack()
{
    if (m_view)
        m_view->back();
}

void WebBrowser::refresh()
{
    if (m_view)
        m_view->reload();
}

void WebBrowser::reloadBypassingCache()
{
    if (m_view)
        m_view->triggerPageAction(QWebEnginePage::ReloadAndBypassCache);
}
