#include "files/webbrowser.h"

#include "app/errors.h"

#include <QVBoxLayout>
#include <QWebEngineHttpRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace {
constexpr int kProgressMax = 100;
}

WebBrowser::WebBrowser(QWidget *parent)
    : QWidget(parent)
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
    m_view = new QWebEngineView(this);
    auto *page = new QWebEnginePage(m_profile, m_view);
    m_view->setPage(page);
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
            Q_EMIT statusTextChange(QStringLiteral("Ouverture de la page %1…").arg(url));
            break;
        case QWebEngineLoadingInfo::LoadStoppedStatus:
            m_loading = false;
            Q_EMIT statusTextChange(QStringLiteral("Arrêté"));
            break;
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            m_loading = false;
            Q_EMIT statusTextChange(QStringLiteral("Terminé"));
            Q_EMIT documentComplete(url);
            break;
        case QWebEngineLoadingInfo::LoadFailedStatus:
            m_loading = false;
            Q_EMIT statusTextChange(info.errorString());
            Q_EMIT documentComplete(url);
            break;
        }
    });
}

void WebBrowser::navigate(const QString &url)
{
    const QUrl target = QUrl::fromUserInput(url);
    if (!target.isValid())
        throw OndrelError(QStringLiteral("Adresse invalide : %1").arg(url));
    QWebEngineHttpRequest request(target);
    request.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    request.setHeader(QByteArrayLiteral("Pragma"), QByteArrayLiteral("no-cache"));
    view()->load(request);
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
