#pragma once

#include "debug/dbgplistener.h"
#include "debug/dbgpprotocol.h"
#include "debug/dbgpsession.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <vector>


/** A breakpoint as the user set it: a 1-based line of a local file, with an optional PHP condition. */
struct DebugBreakpoint
{
    QString file;
    int line = 0;
    QString condition;
    bool operator==(const DebugBreakpoint &) const = default;
};

/** What the window shows when the script stops. */
struct DebugPause
{
    QString file; // local path of the innermost frame
    int line = 0;
    QString exception; // "Warning", "Exception"… when an error or exception stopped it
    QString message;
    std::vector<DbgpFrame> stack;
    std::vector<DbgpProperty> locals; // of the innermost frame
};

/** A watch expression's outcome at one stop. */
struct DebugWatch
{
    QString expression;
    bool ok = false;
    QString error;
    DbgpProperty value;
};

/**
 * One debugging session at a time over Xdebug, for the window: it listens,
 * takes the first checked session (a second one is detached so its request
 * runs on), gives it the breakpoints and the "stop on errors" choice, runs it
 * to the first stop, and at each stop fetches the stack and the innermost
 * frame's locals in one exchange, then the watch expressions.
 *
 * Every fetch answers through its callback on the owner's thread, once: with
 * ok = false when there is no paused session or it ended meanwhile.
 */
class Debugger : public QObject
{
    Q_OBJECT
public:
    /** How many children of an array or object one page holds. */
    static constexpr int kPageSize = 100;
    /** How many bytes of a string a variable list shows before "…". */
    static constexpr int kShortValueBytes = 512;

    explicit Debugger(QObject *parent = nullptr);
    ~Debugger() override;

    DbgpListener &listener() { return m_listener; }
    /** Listens for Xdebug (see DbgpListener::listen). */
    bool listen(int preferredPort = DbgpListener::kDefaultPort) { return m_listener.listen(preferredPort); }

    void setBreakpoints(const std::vector<DebugBreakpoint> &breakpoints);
    const std::vector<DebugBreakpoint> &breakpoints() const { return m_breakpoints; }
    void setStopOnErrors(bool on);
    bool stopOnErrors() const { return m_stopOnErrors; }
    void setWatches(const QStringList &expressions);
    QStringList watches() const { return m_watches; }

    bool hasSession() const { return m_session != nullptr; }
    bool isPaused() const;
    const DebugPause &lastPause() const { return m_pause; }

    /** "Continuer", "Pas à pas principal", "Pas à pas détaillé", "Sortir": false when not paused. */
    bool continueRun();
    bool stepOver();
    bool stepInto();
    bool stepOut();
    /** "Arrêter": ends the script. */
    void stopScript();
    /** Lets the script finish without the debugger (Ondrel closing). */
    void detach();

    using PropertiesCallback = std::function<void(bool ok, const std::vector<DbgpProperty> &)>;
    using PropertyCallback = std::function<void(bool ok, const DbgpProperty &)>;
    using ValueCallback = std::function<void(bool ok, const QString &)>;

    /** The variables of a context (0 locals, 1 superglobals) of a frame. */
    void fetchContext(int frame, int context, const PropertiesCallback &callback);
    /** One page of an array's or object's children. */
    void fetchChildren(const QString &fullName, int frame, int context, int page, const PropertyCallback &callback);
    /** A variable's whole value, however long. */
    void fetchWholeValue(const QString &fullName, int frame, int context, const ValueCallback &callback);
    /** A variable's value by name in the innermost frame ("$total"), for the editor's hover. */
    void fetchVariable(const QString &name, const PropertyCallback &callback);
    /** A PHP expression evaluated in the innermost frame. */
    void evaluate(const QString &expression, const std::function<void(const DebugWatch &)> &callback);

Q_SIGNALS:
    void sessionStarted(const QString &startFile);
    void paused(const DebugPause &pause);
    void running();
    void watchesUpdated(const std::vector<DebugWatch> &watches);
    /** The session is over; `reason` is empty when the script ran to its end or was stopped. */
    void sessionEnded(const QString &reason);
    /** Something the server log should tell (a refused connection, a detached second session). */
    void notice(const QString &text);

private:
    void takeSession(DbgpSession *session);
    void configure(DbgpSession *session);
    void syncBreakpoints();
    void sendBreakpoint(const DebugBreakpoint &breakpoint);
    void sendErrorBreakpoint();
    void onPaused(const DbgpStop &stop);
    void refreshWatches();
    void onEnded(const QString &reason);
    bool resume(const QString &command);

    DbgpListener m_listener;
    QPointer<DbgpSession> m_session;
    std::vector<DebugBreakpoint> m_breakpoints;
    std::vector<QString> m_breakpointIds; // the engine's ids of the breakpoints it holds
    bool m_breakpointsDirty = false;
    QString m_errorBreakpointId;
    bool m_stopOnErrors = false;
    QStringList m_watches;
    DebugPause m_pause;
};
