// Step debugging wired into the window: margin, keys, stops and panels.
#include "app/debugcontroller.h"

#include "base/errors.h"
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "debug/breakpointfile.h"
#include "debug/debugpanel.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "db/builtindatabase.h"
#include "preview/phpserver.h"
#include "preview/serverlogpanel.h"
#include "files/urlrules.h"
#include "preview/webbrowser.h"

#include <QCheckBox>
#include <algorithm>
#include <cctype>
#include <QFileInfo>
#include <QInputDialog>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QProcess>
#include <QShortcut>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QToolTip>

#include <Qsci/qsciscintilla.h>

namespace {

constexpr int kBreakpointMargin = 2;
constexpr int kBreakpointMarker = 19;
constexpr int kArrowMarker = 20;
constexpr int kLineMarker = 21;
constexpr int kMarginWidth = 16;

/** The "$name" whose name holds the byte at `index` of `line`; empty when there is none. */
QString variableAt(const QByteArray &line, int index)
{
    const auto isName = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c & 0x80); };
    if (index < 0 || index > line.size())
        return {};
    int start = index;
    while (start > 0 && isName(line.at(start - 1)))
        --start;
    int end = index;
    while (end < line.size() && isName(line.at(end)))
        ++end;
    if (start == 0 || line.at(start - 1) != '$' || end == start)
        return {};
    return QString::fromUtf8(line.mid(start - 1, end - start + 1));
}

QString absolute(const QString &path)
{
    return path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

} // namespace

DebugController::DebugController(TfmMain *window)
    : QObject(window)
    , m_window(window)
{
    setObjectName(QStringLiteral("debugController"));
    m_panel = new DebugPanel(&m_debugger, window->tsEdit);
    m_panel->setObjectName(QStringLiteral("debugPanel"));
    window->tsEdit->layout()->addWidget(m_panel);
    connect(m_panel, &DebugPanel::debugRequested, this, [this] { m_window->guard([this] { debugPage(); }); });
    connect(m_panel, &DebugPanel::frameChosen, this, [this](const QString &file, int line) { showLine(file, line); });
    auto *key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F9), window->tsEdit);
    connect(key, &QShortcut::activated, this, [this] { m_window->guard([this] { debugPage(); }); });

    connect(&m_debugger, &Debugger::sessionStarted, this, [this] { m_panel->setSessionRunning(true); });
    connect(&m_debugger, &Debugger::paused, this, &DebugController::onPaused);
    connect(&m_debugger, &Debugger::running, this, [this] {
        clearCurrentLine();
        m_panel->showRunning();
    });
    connect(&m_debugger, &Debugger::sessionEnded, this, &DebugController::onEnded);
    connect(&m_debugger, &Debugger::notice, this, [this](const QString &text) {
        m_window->mJournal->appendLine(text, ServerLineKind::Other);
    });
    connect(&m_debugger.listener(), &DbgpListener::accountApprovalNeeded, this, &DebugController::askAboutAccount,
            Qt::QueuedConnection);
    setUpMargin();
}

DebugController::~DebugController()
{
    // Ondrel closing during a session: the page runs to its end without us. The
    // window's controls may be gone already: nothing is shown of the end.
    m_debugger.disconnect(this);
    m_debugger.detach();
}

QString DebugController::editedFile() const
{
    return absolute(m_window->eFile->text());
}

void DebugController::setUpMargin()
{
    RichEdit *editor = m_window->M;
    editor->markerDefine(QsciScintilla::Circle, kBreakpointMarker);
    editor->setMarkerBackgroundColor(QColor(0xD0, 0, 0), kBreakpointMarker);
    editor->setMarkerForegroundColor(QColor(0xD0, 0, 0), kBreakpointMarker);
    editor->markerDefine(QsciScintilla::RightArrow, kArrowMarker);
    editor->setMarkerBackgroundColor(QColor(0xFF, 0xD0, 0), kArrowMarker);
    editor->markerDefine(QsciScintilla::Background, kLineMarker);
    editor->setMarkerBackgroundColor(QColor(0xFF, 0xF0, 0x90), kLineMarker);
    editor->setMarginType(kBreakpointMargin, QsciScintilla::SymbolMargin);
    editor->setMarginWidth(kBreakpointMargin, kMarginWidth);
    editor->setMarginMarkerMask(kBreakpointMargin, (1 << kBreakpointMarker) | (1 << kArrowMarker));
    editor->setMarginSensitivity(kBreakpointMargin, true);
    connect(editor, &QsciScintilla::marginClicked, this, [this](int margin, int line, Qt::KeyboardModifiers) {
        if (margin == kBreakpointMargin)
            toggleBreakpoint(line);
    });
    connect(editor, &QsciScintilla::marginRightClicked, this, [this](int margin, int line, Qt::KeyboardModifiers) {
        if (margin == kBreakpointMargin)
            askCondition(line);
    });
    // Queued: a file being loaded replaces the text before the editor names the
    // new file, and the old markers gather on its first line meanwhile.
    connect(editor, &QsciScintilla::linesChanged, this, &DebugController::noteLineMoves, Qt::QueuedConnection);
    connect(m_window->session(), &SessionController::editedFileLoaded, this, &DebugController::onFileLoaded);
    connect(m_window->session(), &SessionController::editedFileLeaving, this, &DebugController::releaseMarks);
    connect(m_window->session(), &SessionController::editedFileRenamed, this, [this] {
        // Saved under another name: the marks follow the text.
        m_markedFile = shownFile();
        publishBreakpoints();
    });
    // Hovering a $variable while stopped shows its value.
    editor->SendScintilla(QsciScintilla::SCI_SETMOUSEDWELLTIME, 500L);
    connect(editor, &QsciScintilla::SCN_DWELLSTART, this, &DebugController::hoverAt);
    showMarks();
}

void DebugController::readBreakpointFile()
{
    const QString base = m_window->sideFileBase();
    m_breakpointFile = base.isEmpty() ? QString() : base + QStringLiteral(".pts");
    if (m_breakpointFile.isEmpty())
        return;
    for (const DebugBreakpoint &b : readBreakpoints(m_breakpointFile))
        if (std::find(m_others.begin(), m_others.end(), b) == m_others.end())
            m_others.push_back(b);
    showMarks(true); // the file already in the editor shows its own
}

void DebugController::noteLineMoves()
{
    // Markers follow the text; those of a file no longer shown keep their last lines.
    if (shownFile() != m_markedFile)
        return;
    for (Mark &m : m_marks) {
        const int line = m_window->M->markerLine(m.handle);
        if (line >= 0)
            m.line = line;
    }
    publishBreakpoints();
}

void DebugController::onFileLoaded()
{
    if (shownFile() != m_markedFile) {
        showMarks();
        return;
    }
    // The same file read again: its text was replaced, and the markers with it.
    for (Mark &m : m_marks) {
        m_window->M->markerDeleteHandle(m.handle);
        m.handle = m_window->M->markerAdd(std::min(m.line, std::max(0, m_window->M->lines() - 1)), kBreakpointMarker);
    }
}

void DebugController::releaseMarks()
{
    noteLineMoves();
    for (const Mark &m : std::as_const(m_marks)) {
        m_window->M->markerDeleteHandle(m.handle);
        if (!m_markedFile.isEmpty())
            m_others.push_back({m_markedFile, m.line + 1, m.condition});
    }
    m_marks.clear();
    m_markedFile.clear();
}

QString DebugController::shownFile() const
{
    const EditedFile *file = m_window->session()->editedFile();
    return file ? absolute(file->path()) : QString();
}

void DebugController::showMarks(bool again)
{
    if (!again && shownFile() == m_markedFile)
        return;
    // The marks of the file that was shown go back to the list of the others.
    for (const Mark &m : m_marks) {
        m_window->M->markerDeleteHandle(m.handle);
        if (!m_markedFile.isEmpty())
            m_others.push_back({m_markedFile, m.line + 1, m.condition});
    }
    m_marks.clear();
    m_markedFile = shownFile();
    std::vector<DebugBreakpoint> rest;
    for (const DebugBreakpoint &b : m_others) {
        if (!m_markedFile.isEmpty() && b.file == m_markedFile && b.line <= m_window->M->lines())
            m_marks.append({m_window->M->markerAdd(b.line - 1, kBreakpointMarker), b.line - 1, b.condition});
        else if (b.file != m_markedFile || m_markedFile.isEmpty())
            rest.push_back(b);
    }
    m_others = rest;
    publishBreakpoints();
}

void DebugController::toggleBreakpoint(int line)
{
    showMarks();
    noteLineMoves();
    for (int i = 0; i < m_marks.size(); ++i) {
        if (m_marks.at(i).line == line) {
            m_window->M->markerDeleteHandle(m_marks.at(i).handle);
            m_marks.removeAt(i);
            publishBreakpoints();
            return;
        }
    }
    m_marks.append({m_window->M->markerAdd(line, kBreakpointMarker), line, QString()});
    publishBreakpoints();
}

QList<int> DebugController::breakpointLines() const
{
    QList<int> lines;
    for (const Mark &m : m_marks)
        lines << m_window->M->markerLine(m.handle);
    return lines;
}

void DebugController::askCondition(int line)
{
    noteLineMoves();
    QString current;
    for (const Mark &m : m_marks)
        if (m.line == line)
            current = m.condition;
    bool ok = false;
    const QString condition = QInputDialog::getText(m_window, QStringLiteral("Condition…"),
        QStringLiteral("S'arrêter à la ligne %1 seulement quand cette expression PHP est vraie (vide : toujours) :").arg(line + 1),
        QLineEdit::Normal, current, &ok);
    if (!ok)
        return;
    for (Mark &m : m_marks) {
        if (m.line == line) {
            m.condition = condition.trimmed();
            publishBreakpoints();
            return;
        }
    }
    m_marks.append({m_window->M->markerAdd(line, kBreakpointMarker), line, condition.trimmed()});
    publishBreakpoints();
}

void DebugController::publishBreakpoints()
{
    std::vector<DebugBreakpoint> all = m_others;
    if (!m_markedFile.isEmpty())
        for (const Mark &m : m_marks)
            all.push_back({m_markedFile, m.line + 1, m.condition});
    if (all == m_debugger.breakpoints())
        return;
    m_debugger.setBreakpoints(all);
    if (!m_breakpointFile.isEmpty() && !writeBreakpoints(m_breakpointFile, all))
        m_window->eText->setText(QStringLiteral("Impossible d'écrire dans %1").arg(m_breakpointFile));
}

void DebugController::debugPage()
{
    if (!m_window->session()->saveEditedFile())
        return;
    const int wanted = m_panel->portBox()->value();
    const bool ownServer = !m_window->cbServeurIntegre->isChecked();
    if (!m_debugger.hasSession() || !m_debugger.listener().isListening())
        listenForXdebug(wanted, ownServer);
    else if (ownServer && m_debugger.listener().port() != wanted)
        throw OndrelError(m_debugger.listener().takenPortMessage(wanted));
    if (!m_window->cbServeurIntegre->isChecked()) {
        // The user's own server: Xdebug must be set up in its php.ini.
        m_window->mJournal->appendLine(QStringLiteral("Débogage avec votre serveur : ajoutez à son php.ini (Xdebug installé, paquet php-xdebug) :"),
                                       ServerLineKind::Other);
        for (const QString &line : xdebugIniLines(m_debugger.listener().port()))
            m_window->mJournal->appendLine(QStringLiteral("    ") + line, ServerLineKind::Other);
        navigateDebug();
        return;
    }
    // The home folder or "/" is served whole only with the user's yes, as for F9.
    if (!m_window->mayServeFolder())
        return;
    withXdebug([this] {
        if (m_xdebug == XdebugAvailability::Missing)
            throw OndrelError(xdebugMissingMessage());
        const QString root = serverRoot(absolute(m_window->eRacine->text()), editedFile());
        if (!m_server) {
            m_server = new BuiltinServer(this);
            m_server->setExtraEnvironment(QString::fromLatin1(kXdebugKeyVariable), m_debugger.listener().ideKey());
            connect(m_server, &BuiltinServer::logLine, m_window->mJournal, &ServerLogPanel::appendLine);
            connect(m_server, &BuiltinServer::ready, this, &DebugController::navigateWhenReady);
            connect(m_server, &BuiltinServer::failed, this, [this](const QString &message) {
                m_window->guard([&] { throw OndrelError(message); });
            });
        }
        m_server->setExtraArguments(xdebugServerArguments(*m_xdebug, m_debugger.listener().port()));
        // The debugged page reaches the same database as the preview's, and as for F9 a
        // page that uses MySQL starts Ondrel's own and is asked for once it answers.
        m_server->setDatabaseSocket({});
        if (m_window->databasePage->usesBuiltinDatabase()) {
            BuiltinDatabase *database = m_window->builtinDatabase();
            m_server->setDatabaseSocket(database->paths().socket);
            connect(database, &BuiltinDatabase::ready, this, &DebugController::navigateWhenReady, Qt::UniqueConnection);
            connect(database, &BuiltinDatabase::failed, this, &DebugController::navigateWhenReady, Qt::UniqueConnection);
            if (!database->isReady() && pageUsesDatabase(QString::fromUtf8(m_window->M->wholeText())))
                m_window->databasePage->startBuiltinDatabase();
        }
        if (!m_server->start(root))
            throw OndrelError(phpMissingMessage());
        m_pageWanted = true;
        navigateWhenReady();
    });
}

void DebugController::listenForXdebug(int wanted, bool ownServer)
{
    // The user's own server calls the port its php.ini names, whoever holds it:
    // that port is Ondrel's, or no page goes out with the trigger.
    DbgpListener &listener = m_debugger.listener();
    listener.setAskAboutOtherAccounts(ownServer);
    const int before = listener.port();
    if (!listener.listen(wanted, ownServer ? DbgpListener::PortChoice::ThisOnly : DbgpListener::PortChoice::ThisOrFree)) {
        if (ownServer)
            throw OndrelError(listener.takenPortMessage(wanted));
        throw OndrelError(QStringLiteral("Impossible d'écouter Xdebug sur 127.0.0.1"));
    }
    if (listener.port() != wanted && listener.port() != before)
        m_window->mJournal->appendLine(QStringLiteral("Le port de débogage %1 est pris : Ondrel attend Xdebug sur le port %2.")
                                           .arg(wanted).arg(listener.port()), ServerLineKind::Other);
}

void DebugController::askAboutAccount(int uid, const QString &account)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(),
                    QStringLiteral("Votre serveur web appelle le débogueur sous le compte %1, qui n'est pas le vôtre. "
                                   "Le laisser déboguer les pages avec Ondrel, maintenant et aux prochains lancements ?")
                        .arg(account),
                    QMessageBox::NoButton, m_window);
    box.setObjectName(QStringLiteral("debugAccountBox"));
    box.setTextFormat(Qt::PlainText);
    QPushButton *allow = box.addButton(QStringLiteral("Autoriser %1").arg(account), QMessageBox::AcceptRole);
    QPushButton *refuse = box.addButton(QStringLiteral("Refuser"), QMessageBox::RejectRole);
    box.setDefaultButton(refuse);
    box.exec();
    if (box.clickedButton() == allow)
        m_debugger.listener().allowAccount(uid);
    else
        m_debugger.listener().refuseAccount(uid);
}

void DebugController::navigateWhenReady()
{
    const bool databaseStarting = m_window->databasePage->usesBuiltinDatabase() && m_window->builtinDatabase()->isStarting();
    if (!m_pageWanted || !m_server || !m_server->isReady() || databaseStarting)
        return;
    m_pageWanted = false;
    navigateDebug();
}

void DebugController::withXdebug(const std::function<void()> &then)
{
    if (m_xdebug) {
        then();
        return;
    }
    if (m_probing)
        return;
    const QString php = phpExecutable();
    if (php.isEmpty())
        throw OndrelError(phpMissingMessage());
    // Asked once, without making the window wait.
    m_probing = true;
    auto *probe = new QProcess(this);
    connect(probe, &QProcess::finished, this, [this, probe, then] {
        probe->deleteLater();
        m_probing = false;
        m_xdebug = xdebugAvailability(probe->readAllStandardOutput());
        m_window->guard(then);
    });
    connect(probe, &QProcess::errorOccurred, this, [this, probe](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            probe->deleteLater();
            m_probing = false;
        }
    });
    probe->start(php, xdebugProbeArguments());
}

void DebugController::navigateDebug()
{
    QString url;
    if (m_window->cbServeurIntegre->isChecked() && m_server) {
        const QString file = editedFile();
        url = m_server->origin() + u'/' + servedPath(m_server->root(), file);
    } else {
        url = m_window->eURL->text();
    }
    const QString param = m_window->eParam->text();
    url += QLatin1Char('?') + (param.isEmpty() ? QString() : param + QLatin1Char('&'))
         + xdebugTrigger(m_debugger.listener().ideKey());
    if (m_window->cbServeurIntegre->isChecked() && m_server)
        m_window->WB->setServerKey(m_server->port(), m_server->key());
    m_window->eText->setText(QStringLiteral("Débogage : la page est demandée…"));
    m_window->WB->navigate(url);
}

void DebugController::onPaused(const DebugPause &pause)
{
    m_panel->showPause(pause);
    showLine(pause.file, pause.line);
    if (!pause.exception.isEmpty())
        m_window->eText->setText(QStringLiteral("Arrêt sur %1 : %2").arg(pause.exception, pause.message));
}

void DebugController::showLine(const QString &file, int line)
{
    clearCurrentLine();
    m_window->showPage(m_window->tsEdit);
    if (file != editedFile()) {
        m_window->session()->openFromCommandLine({file}); // asks first when the editor holds unsaved text
        m_window->showPage(m_window->tsEdit);
        if (editedFile() != file)
            return;
    }
    RichEdit *editor = m_window->M;
    const int at = std::clamp(line - 1, 0, std::max(0, editor->lines() - 1));
    m_arrowHandle = editor->markerAdd(at, kArrowMarker);
    m_lineHandle = editor->markerAdd(at, kLineMarker);
    editor->setCursorPosition(at, 0);
    editor->ensureLineVisible(at);
    editor->setFocus();
}

void DebugController::clearCurrentLine()
{
    if (m_arrowHandle >= 0)
        m_window->M->markerDeleteHandle(m_arrowHandle);
    if (m_lineHandle >= 0)
        m_window->M->markerDeleteHandle(m_lineHandle);
    m_arrowHandle = m_lineHandle = -1;
}

void DebugController::onEnded(const QString &reason)
{
    clearCurrentLine();
    m_panel->setSessionRunning(false);
    m_window->eText->setText(reason.isEmpty() ? QStringLiteral("Débogage terminé.") : reason);
    if (!reason.isEmpty())
        m_window->mJournal->appendLine(reason, ServerLineKind::Other);
    // The preview's own server has its key back for the next F9.
    if (m_window->server()->isReady())
        m_window->WB->setServerKey(m_window->server()->port(), m_window->server()->key());
    // The page the request made is in the preview.
    if (!m_window->cbApercuACote->isChecked())
        m_window->showPage(m_window->tsWB);
}

void DebugController::hoverAt(int position, int x, int y)
{
    if (!m_debugger.isPaused() || position < 0)
        return;
    RichEdit *editor = m_window->M;
    int line = 0, index = 0;
    editor->lineIndexFromPosition(position, &line, &index);
    const QString name = variableAt(editor->text(line).toUtf8(), index);
    if (name.isEmpty())
        return;
    const QPoint global = editor->viewport()->mapToGlobal(QPoint(x, y));
    QPointer<RichEdit> self(editor);
    m_debugger.fetchVariable(name, [self, name, global](bool ok, const DbgpProperty &p) {
        if (self && ok)
            QToolTip::showText(global, name + QStringLiteral(" = ") + shownValue(p), self);
    });
}
