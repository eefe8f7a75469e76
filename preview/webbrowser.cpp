#include "preview/webbrowser.h"

#include "base/errors.h"
#include "preview/previewmodule.h"

#include <QLabel>
#include <QVBoxLayout>

#include <utility>

namespace {

constexpr int kProgressMax = 100;

} // namespace

WebBrowser::WebBrowser(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

WebBrowser::~WebBrowser()
{
    // The engine takes its view (a child of this widget) and its profile down, in that order.
    m_engine.reset();
}

PreviewModule &WebBrowser::module() const
{
    return m_module ? *m_module : PreviewModule::shared();
}

QWidget *WebBrowser::view()
{
    startEngine();
    return m_engine ? m_engine->widget() : nullptr;
}

QUrl WebBrowser::url() const
{
    return m_engine ? m_engine->url() : m_waiting;
}

QString WebBrowser::failure() const
{
    return m_engine ? QString() : module().error();
}

bool WebBrowser::startEngine()
{
    if (m_engine)
        return true;
    PreviewModule &from = module();
    if (from.held()) {
        // Not before the window's first paint: the engine starts as soon as it is over.
        connect(&from, &PreviewModule::released, this, &WebBrowser::moduleReleased, Qt::UniqueConnection);
        return false;
    }
    m_engine.reset(from.createEngine(this, this));
    if (!m_engine) {
        showFailure();
        return false;
    }
    m_engine->setServerKey(m_keyPort, m_key);
    if (m_failure)
        m_failure->hide();
    layout()->addWidget(m_engine->widget());
    return true;
}

void WebBrowser::showFailure()
{
    const QString text = module().error();
    if (!m_failure) {
        m_failure = new QLabel(this);
        m_failure->setObjectName(QStringLiteral("lApercuIndisponible"));
        m_failure->setTextFormat(Qt::PlainText); // a path is shown as it stands
        m_failure->setWordWrap(true);
        m_failure->setAlignment(Qt::AlignCenter);
        m_failure->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout()->addWidget(m_failure);
    }
    m_failure->setText(text);
    m_failure->show();
    Q_EMIT statusTextChange(text);
}

void WebBrowser::moduleReleased()
{
    disconnect(&module(), &PreviewModule::released, this, &WebBrowser::moduleReleased);
    const QUrl waiting = std::exchange(m_waiting, QUrl());
    if (startEngine() && waiting.isValid())
        m_engine->load(waiting);
}

void WebBrowser::setServerKey(int port, const QByteArray &key)
{
    m_keyPort = port;
    m_key = key;
    if (m_engine)
        m_engine->setServerKey(port, key);
}

// "URL" + "?" + "Param" is sent as it stands: not trimmed, no scheme guessed.
void WebBrowser::navigate(const QString &url)
{
    const QUrl target(url, QUrl::TolerantMode);
    if (!target.isValid() || target.isRelative()) // "?test=1" alone names no page
        throw OndrelError(QStringLiteral("Adresse invalide : %1").arg(url));
    m_restoreScroll = false;
    if (startEngine())
        m_engine->load(target);
    else if (module().held())
        m_waiting = target;
}

void WebBrowser::navigateKeepingScroll(const QString &url)
{
    const QUrl target(url, QUrl::TolerantMode);
    const bool samePage = m_engine && m_engine->url() == target;
    // A refresh that comes while the last one still loads keeps the place read before that one.
    if (samePage && !(m_restoreScroll && m_restoreUrl == target))
        m_scroll = m_engine->scrollPosition();
    navigate(url);
    m_restoreScroll = samePage;
    m_restoreUrl = target;
}

void WebBrowser::stop()
{
    m_waiting.clear();
    if (m_engine)
        m_engine->stop();
}

void WebBrowser::goBack()
{
    if (m_engine)
        m_engine->back();
}

void WebBrowser::refresh()
{
    if (m_engine)
        m_engine->reload();
}

void WebBrowser::reloadBypassingCache()
{
    if (m_engine)
        m_engine->reloadBypassingCache();
}

void WebBrowser::engineStatus(const QString &text)
{
    Q_EMIT statusTextChange(text);
}

void WebBrowser::engineProgress(int percent)
{
    Q_EMIT progressChange(percent, kProgressMax);
}

void WebBrowser::engineLoadStarted(const QUrl &url)
{
    m_loading = true;
    if (url != m_restoreUrl)
        m_restoreScroll = false; // the user went elsewhere (a link): no place to put back
    Q_EMIT statusTextChange(QStringLiteral("Ouverture de la page %1…").arg(url.toString()));
}

void WebBrowser::engineLoadStopped()
{
    m_loading = false;
    Q_EMIT statusTextChange(QStringLiteral("Arrêté"));
}

void WebBrowser::engineLoadSucceeded(const QUrl &url)
{
    m_loading = false;
    if (m_restoreScroll && url == m_restoreUrl && (m_scroll.x() > 0 || m_scroll.y() > 0))
        m_engine->scrollTo(m_scroll);
    m_restoreScroll = false;
    Q_EMIT statusTextChange(QStringLiteral("Terminé"));
    Q_EMIT documentComplete(url.toString());
}

void WebBrowser::engineLoadFailed(const QUrl &url, const QString &text)
{
    m_loading = false;
    if (url == m_restoreUrl)
        m_restoreScroll = false;
    Q_EMIT statusTextChange(text);
    Q_EMIT documentComplete(url.toString());
}

void WebBrowser::engineTitleChanged(const QString &title)
{
    Q_EMIT titleChange(title);
}
