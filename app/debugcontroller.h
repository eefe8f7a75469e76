#pragma once

#include "debug/debugger.h"
#include "debug/xdebugsetup.h"

#include <QObject>
#include <QPointer>

#include <optional>

class BuiltinServer;
class DebugPanel;
class TfmMain;

/**
 * Step debugging in the window: breakpoints in the editor's margin, the key
 * that previews with Xdebug's trigger (Ctrl+F9), the editor brought to the
 * front at each stop with the line marked, and the debugging bar and panels.
 *
 * The window only creates it; it reaches the window's controls itself. With
 * Ondrel's own server, debugging runs on a second `php -S` of the same folder
 * started with Xdebug loaded: the ordinary preview never loads it.
 */
class DebugController : public QObject
{
    Q_OBJECT
public:
    explicit DebugController(TfmMain *window);
    ~DebugController() override;

    Debugger *debugger() { return &m_debugger; }
    /** Ctrl+F9: saves, then shows the page with the trigger. */
    void debugPage();
    /** Toggles the breakpoint of the 0-based `line` of the edited file. */
    void toggleBreakpoint(int line);
    /**
     * Reads the breakpoints kept beside the side files, once the window knows
     * where those are (after its start-up has read its settings).
     */
    void readBreakpointFile();
    /** The 0-based lines holding a breakpoint in the edited file, as they are now. */
    QList<int> breakpointLines() const;

private:
    struct Mark
    {
        int handle;
        int line; // last known, 0-based
        QString condition;
    };
    void setUpMargin();
    void askCondition(int line);
    void showMarks(bool again = false);
    void onFileLoaded();
    /** Before the editor shows another file: the shown file's marks leave its text. */
    void releaseMarks();
    void noteLineMoves();
    void publishBreakpoints();
    /** Listens where Xdebug will call; throws, to be shown in a box, when it cannot. */
    void listenForXdebug(int wanted, bool ownServer);
    /** A web server under another account calls with this start's key: the user says whether it may. */
    void askAboutAccount(int uid, const QString &account);
    void withXdebug(const std::function<void()> &then);
    void navigateDebug();
    /** Asks for the page once its server, and Ondrel's own database when it was starting, answer. */
    void navigateWhenReady();
    void onPaused(const DebugPause &pause);
    void showLine(const QString &file, int line);
    void clearCurrentLine();
    void onEnded(const QString &reason);
    void hoverAt(int position, int x, int y);
    QString editedFile() const;
    /** The file whose text the editor holds (its breakpoints are the margin's). */
    QString shownFile() const;

    TfmMain *m_window;
    Debugger m_debugger;
    DebugPanel *m_panel = nullptr;
    BuiltinServer *m_server = nullptr; // the debugging twin of the preview's server
    std::optional<XdebugAvailability> m_xdebug;
    bool m_probing = false;
    bool m_pageWanted = false; // Ctrl+F9 waits for the server or the database
    QString m_breakpointFile;
    std::vector<DebugBreakpoint> m_others; // breakpoints of files not in the editor
    QList<Mark> m_marks;                    // those of the edited file
    QString m_markedFile;
    int m_arrowHandle = -1;
    int m_lineHandle = -1;
};
