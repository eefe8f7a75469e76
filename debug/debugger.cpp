#include "debug/debugger.h"

#include "debug/dbgpsession.h"

#include <memory>

namespace {

QStringList contextArgs(const QString &fullName, int frame, int context)
{
    return {QStringLiteral("-n"), fullName, QStringLiteral("-d"), QString::number(frame),
            QStringLiteral("-c"), QString::number(context)};
}

} // namespace

Debugger::Debugger(QObject *parent)
    : QObject(parent)
{
    connect(&m_listener, &DbgpListener::sessionStarted, this, &Debugger::takeSession);
    connect(&m_listener, &DbgpListener::refused, this, &Debugger::notice);
}

Debugger::~Debugger()
{
    detach();
}

bool Debugger::isPaused() const
{
    return m_session && m_session->isPaused();
}

void Debugger::takeSession(DbgpSession *session)
{
    if (m_session) {
        // One session at a time: the later request runs on as if not debugged.
        session->detach();
        Q_EMIT notice(QStringLiteral("Une autre requête demandait le débogage pendant une session : elle s'exécute sans arrêt."));
        return;
    }
    session->setParent(this);
    m_session = session;
    connect(session, &DbgpSession::paused, this, &Debugger::onPaused);
    connect(session, &DbgpSession::ended, this, &Debugger::onEnded);
    configure(session);
    Q_EMIT sessionStarted(session->startFile());
    resume(QStringLiteral("run"));
}

void Debugger::configure(DbgpSession *session)
{
    const auto feature = [session](const char *name, int value) {
        session->send(QStringLiteral("feature_set"),
                      {QStringLiteral("-n"), QString::fromLatin1(name), QStringLiteral("-v"), QString::number(value)});
    };
    feature("max_children", kPageSize);
    feature("max_data", kShortValueBytes);
    feature("max_depth", 1);
    m_breakpointIds.clear();
    syncBreakpoints();
    m_errorBreakpointId.clear();
    if (m_stopOnErrors)
        sendErrorBreakpoint();
}

void Debugger::syncBreakpoints()
{
    for (const QString &id : m_breakpointIds)
        m_session->send(QStringLiteral("breakpoint_remove"), {QStringLiteral("-d"), id});
    m_breakpointIds.clear();
    m_breakpointsDirty = false;
    for (const DebugBreakpoint &b : m_breakpoints)
        sendBreakpoint(b);
}

void Debugger::sendBreakpoint(const DebugBreakpoint &breakpoint)
{
    const bool conditional = !breakpoint.condition.trimmed().isEmpty();
    QStringList args{QStringLiteral("-t"), conditional ? QStringLiteral("conditional") : QStringLiteral("line"),
                     QStringLiteral("-f"), dbgpFileUri(breakpoint.file),
                     QStringLiteral("-n"), QString::number(breakpoint.line)};
    const QByteArray condition = conditional ? breakpoint.condition.toUtf8() : QByteArray();
    QPointer<Debugger> self(this);
    m_session->send(QStringLiteral("breakpoint_set"), args, [self](const DbgpSession::Reply &r) {
        if (self && r.ok)
            self->m_breakpointIds.push_back(r.node.attribute(QStringLiteral("id")));
    }, condition);
}

void Debugger::sendErrorBreakpoint()
{
    // "*" stops at every exception; PHP's notices, warnings and errors are
    // exception breakpoints of their own in Xdebug, named after their kind.
    for (const char *name : {"*", "Notice", "Warning", "Deprecated", "Fatal error", "Error"}) {
        QPointer<Debugger> self(this);
        m_session->send(QStringLiteral("breakpoint_set"),
                        {QStringLiteral("-t"), QStringLiteral("exception"), QStringLiteral("-x"), QString::fromLatin1(name)},
                        [self](const DbgpSession::Reply &r) {
                            if (self && r.ok)
                                self->m_errorBreakpointId += r.node.attribute(QStringLiteral("id")) + QLatin1Char(' ');
                        });
    }
}

void Debugger::setBreakpoints(const std::vector<DebugBreakpoint> &breakpoints)
{
    if (breakpoints == m_breakpoints)
        return;
    m_breakpoints = breakpoints;
    // A running script does not read its connection: it learns them at its next stop.
    if (isPaused())
        syncBreakpoints();
    else
        m_breakpointsDirty = hasSession();
}

void Debugger::setStopOnErrors(bool on)
{
    if (on == m_stopOnErrors)
        return;
    m_stopOnErrors = on;
    if (!isPaused())
        return;
    if (on) {
        sendErrorBreakpoint();
    } else {
        for (const QString &id : m_errorBreakpointId.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            m_session->send(QStringLiteral("breakpoint_remove"), {QStringLiteral("-d"), id});
        m_errorBreakpointId.clear();
    }
}

void Debugger::setWatches(const QStringList &expressions)
{
    m_watches = expressions;
    if (isPaused())
        refreshWatches();
}

bool Debugger::resume(const QString &command)
{
    if (!m_session || !m_session->resume(command))
        return false;
    Q_EMIT running();
    return true;
}

bool Debugger::continueRun() { return resume(QStringLiteral("run")); }
bool Debugger::stepOver() { return resume(QStringLiteral("step_over")); }
bool Debugger::stepInto() { return resume(QStringLiteral("step_into")); }
bool Debugger::stepOut() { return resume(QStringLiteral("step_out")); }

void Debugger::stopScript()
{
    if (m_session)
        m_session->stop();
}

void Debugger::detach()
{
    if (m_session)
        m_session->detach();
}

void Debugger::onPaused(const DbgpStop &stop)
{
    // The stack and the innermost locals go out together; the engine answers
    // them in order, so the pause is shown once, complete.
    if (m_breakpointsDirty)
        syncBreakpoints();
    auto pause = std::make_shared<DebugPause>();
    pause->file = stop.file;
    pause->line = stop.line;
    pause->exception = stop.exception;
    pause->message = stop.message;
    QPointer<Debugger> self(this);
    QPointer<DbgpSession> session(m_session);
    m_session->send(QStringLiteral("stack_get"), {}, [pause](const DbgpSession::Reply &r) {
        if (r.ok)
            pause->stack = dbgpStack(r.node);
    });
    m_session->send(QStringLiteral("context_get"), {QStringLiteral("-d"), QStringLiteral("0"), QStringLiteral("-c"), QStringLiteral("0")},
                    [self, session, pause](const DbgpSession::Reply &r) {
                        if (!self || !r.ok || session != self->m_session)
                            return;
                        pause->locals = dbgpProperties(r.node);
                        if (!pause->stack.empty()) {
                            pause->file = pause->stack.front().file;
                            pause->line = pause->stack.front().line;
                        }
                        self->m_pause = *pause;
                        Q_EMIT self->paused(self->m_pause);
                        self->refreshWatches();
                    });
}

void Debugger::refreshWatches()
{
    if (m_watches.isEmpty() || !isPaused())
        return;
    auto results = std::make_shared<std::vector<DebugWatch>>(m_watches.size());
    auto left = std::make_shared<int>(int(m_watches.size()));
    QPointer<Debugger> self(this);
    for (int i = 0; i < m_watches.size(); ++i) {
        evaluate(m_watches.at(i), [self, results, left, i](const DebugWatch &w) {
            (*results)[i] = w;
            if (--*left == 0 && self)
                Q_EMIT self->watchesUpdated(*results);
        });
    }
}

void Debugger::fetchContext(int frame, int context, const PropertiesCallback &callback)
{
    if (!isPaused()) {
        callback(false, {});
        return;
    }
    m_session->send(QStringLiteral("context_get"),
                    {QStringLiteral("-d"), QString::number(frame), QStringLiteral("-c"), QString::number(context)},
                    [callback](const DbgpSession::Reply &r) { callback(r.ok, r.ok ? dbgpProperties(r.node) : std::vector<DbgpProperty>()); });
}

void Debugger::fetchChildren(const QString &fullName, int frame, int context, int page, const PropertyCallback &callback)
{
    if (!isPaused()) {
        callback(false, {});
        return;
    }
    QStringList args = contextArgs(fullName, frame, context);
    args << QStringLiteral("-p") << QString::number(page);
    m_session->send(QStringLiteral("property_get"), args, [callback](const DbgpSession::Reply &r) {
        const std::vector<DbgpProperty> found = r.ok ? dbgpProperties(r.node) : std::vector<DbgpProperty>();
        callback(r.ok && !found.empty(), found.empty() ? DbgpProperty() : found.front());
    });
}

void Debugger::fetchWholeValue(const QString &fullName, int frame, int context, const ValueCallback &callback)
{
    if (!isPaused()) {
        callback(false, {});
        return;
    }
    // -m 0: no limit on the value's size (the packet reader still bounds it).
    QStringList args = contextArgs(fullName, frame, context);
    args << QStringLiteral("-m") << QStringLiteral("0");
    m_session->send(QStringLiteral("property_value"), args, [callback](const DbgpSession::Reply &r) {
        callback(r.ok, r.ok ? r.node.decodedText() : r.error);
    });
}

void Debugger::fetchVariable(const QString &name, const PropertyCallback &callback)
{
    if (!isPaused()) {
        callback(false, {});
        return;
    }
    m_session->send(QStringLiteral("property_get"), contextArgs(name, 0, 0), [callback](const DbgpSession::Reply &r) {
        const std::vector<DbgpProperty> found = r.ok ? dbgpProperties(r.node) : std::vector<DbgpProperty>();
        callback(r.ok && !found.empty(), found.empty() ? DbgpProperty() : found.front());
    });
}

void Debugger::evaluate(const QString &expression, const std::function<void(const DebugWatch &)> &callback)
{
    DebugWatch watch;
    watch.expression = expression;
    if (!isPaused()) {
        watch.error = QStringLiteral("Pas de session de débogage arrêtée.");
        callback(watch);
        return;
    }
    m_session->send(QStringLiteral("eval"), {}, [callback, watch](const DbgpSession::Reply &r) mutable {
        watch.ok = r.ok;
        watch.error = r.error;
        const std::vector<DbgpProperty> found = r.ok ? dbgpProperties(r.node) : std::vector<DbgpProperty>();
        if (!found.empty())
            watch.value = found.front();
        callback(watch);
    }, expression.toUtf8());
}

void Debugger::onEnded(const QString &reason)
{
    if (m_session)
        m_session->deleteLater();
    m_session = nullptr;
    m_pause = DebugPause();
    Q_EMIT sessionEnded(reason);
}
