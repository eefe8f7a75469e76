// The editor page's debugging bar and panels over a Debugger.
#include "debug/debugpanel.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QDialog>

namespace {

// Item data: what property_get needs to open a node, and its paging.
constexpr int kFullNameRole = Qt::UserRole;
constexpr int kFrameRole = Qt::UserRole + 1;
constexpr int kContextRole = Qt::UserRole + 2;
constexpr int kPageRole = Qt::UserRole + 3;   // the next page to fetch
constexpr int kLoadedRole = Qt::UserRole + 4; // children fetched
constexpr int kShortenedRole = Qt::UserRole + 5;
constexpr int kSuperglobalsContext = 1;

QTreeWidgetItem *placeholder(QTreeWidgetItem *parent)
{
    auto *item = new QTreeWidgetItem(parent, {QStringLiteral("…")});
    item->setData(0, kLoadedRole, true);
    return item;
}

} // namespace

QString shownValue(const DbgpProperty &p)
{
    if (p.type == QLatin1String("array"))
        return QStringLiteral("array (%1)").arg(p.childCount);
    if (p.type == QLatin1String("object"))
        return p.className.isEmpty() ? QStringLiteral("object") : p.className;
    if (p.type == QLatin1String("uninitialized"))
        return QStringLiteral("(non définie)");
    if (p.type == QLatin1String("null"))
        return QStringLiteral("null");
    if (p.type == QLatin1String("bool"))
        return p.value == QLatin1String("1") ? QStringLiteral("true") : QStringLiteral("false");
    if (p.type == QLatin1String("string"))
        return QLatin1Char('"') + p.value + (p.isShortened() ? QStringLiteral("…\"") : QStringLiteral("\""));
    return p.value;
}

DebugPanel::DebugPanel(Debugger *debugger, QWidget *parent)
    : QWidget(parent)
    , m_debugger(debugger)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // A tool bar: what does not fit a narrow window goes behind its "»" button,
    // and the keys of the actions work all the same.
    auto *bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("debugBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_debug = addButton(bar, "sbDeboguer", QStringLiteral("Déboguer"),
                        QStringLiteral("Enregistrer et montrer la page en s'arrêtant aux points d'arrêt (Ctrl+F9)"), {});
    connect(m_debug, &QAction::triggered, this, &DebugPanel::debugRequested);
    const auto step = [this, bar](const char *name, const QString &text, const QKeySequence &keys, bool (Debugger::*action)()) {
        QAction *a = addButton(bar, name, text, QStringLiteral("%1 (%2)").arg(text, keys.toString(QKeySequence::NativeText)), keys);
        connect(a, &QAction::triggered, m_debugger, action);
        m_steps << a;
    };
    step("sbContinuer", QStringLiteral("Continuer"), QKeySequence(Qt::Key_F8), &Debugger::continueRun);
    step("sbPasPrincipal", QStringLiteral("Pas à pas principal"), QKeySequence(Qt::Key_F6), &Debugger::stepOver);
    step("sbPasDetaille", QStringLiteral("Pas à pas détaillé"), QKeySequence(Qt::Key_F7), &Debugger::stepInto);
    step("sbSortir", QStringLiteral("Sortir"), QKeySequence(Qt::SHIFT | Qt::Key_F7), &Debugger::stepOut);
    QAction *stop = addButton(bar, "sbArreter", QStringLiteral("Arrêter"), QStringLiteral("Arrêter le script (Maj+F8)"),
                              QKeySequence(Qt::SHIFT | Qt::Key_F8));
    connect(stop, &QAction::triggered, m_debugger, &Debugger::stopScript);
    m_steps << stop;
    bar->addSeparator();
    m_stopOnErrors = new QCheckBox(QStringLiteral("Arrêter sur les erreurs"), bar);
    m_stopOnErrors->setObjectName(QStringLiteral("cbArreterErreurs"));
    m_stopOnErrors->setToolTip(QStringLiteral("S'arrêter à chaque notice, avertissement, erreur ou exception non interceptée"));
    connect(m_stopOnErrors, &QCheckBox::toggled, m_debugger, &Debugger::setStopOnErrors);
    bar->addWidget(m_stopOnErrors);
    bar->addSeparator();
    auto *portLabel = new QLabel(QStringLiteral("Port de débogage "), bar);
    portLabel->setTextFormat(Qt::PlainText);
    bar->addWidget(portLabel);
    m_port = new QSpinBox(bar);
    m_port->setObjectName(QStringLiteral("sePortDebogage"));
    m_port->setRange(1024, 65535);
    m_port->setValue(DbgpListener::kDefaultPort);
    m_port->setToolTip(QStringLiteral("Port où Ondrel attend Xdebug, sur 127.0.0.1 seulement "
                                      "(un autre port libre quand celui-ci est pris)"));
    portLabel->setBuddy(m_port);
    bar->addWidget(m_port);
    column->addWidget(bar);

    m_panels = new QSplitter(Qt::Horizontal, this);
    m_panels->setObjectName(QStringLiteral("debugPanels"));
    auto *splitter = static_cast<QSplitter *>(m_panels);
    const auto titled = [splitter](const QString &title, QWidget *content, QWidget *extra = nullptr) {
        auto *box = new QWidget(splitter);
        auto *layout = new QVBoxLayout(box);
        layout->setContentsMargins(1, 1, 1, 1);
        layout->setSpacing(1);
        auto *caption = new QLabel(title, box);
        caption->setTextFormat(Qt::PlainText);
        layout->addWidget(caption);
        layout->addWidget(content, 1);
        if (extra)
            layout->addWidget(extra);
        splitter->addWidget(box);
    };
    m_variables = new QTreeWidget;
    m_variables->setObjectName(QStringLiteral("tvVariables"));
    m_variables->setHeaderLabels({QStringLiteral("Nom"), QStringLiteral("Type"), QStringLiteral("Valeur")});
    m_variables->setColumnWidth(0, 110);
    m_variables->setColumnWidth(1, 60);
    connect(m_variables, &QTreeWidget::itemExpanded, this, &DebugPanel::expand);
    connect(m_variables, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) { showWholeValue(item); });
    titled(QStringLiteral("Variables"), m_variables);
    m_stack = new QListWidget;
    m_stack->setObjectName(QStringLiteral("lbPile"));
    connect(m_stack, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0 || row == m_frame || size_t(row) >= m_debugger->lastPause().stack.size())
            return;
        const DbgpFrame &f = m_debugger->lastPause().stack.at(size_t(row));
        Q_EMIT frameChosen(f.file, f.line);
        fillVariables(row);
    });
    titled(QStringLiteral("Pile d'appels"), m_stack);
    m_watches = new QTreeWidget;
    m_watches->setObjectName(QStringLiteral("tvExpressions"));
    m_watches->setHeaderLabels({QStringLiteral("Expression"), QStringLiteral("Valeur")});
    m_watches->setRootIsDecorated(false);
    m_watches->setColumnWidth(0, 120);
    m_newWatch = new QLineEdit;
    m_newWatch->setObjectName(QStringLiteral("eExpression"));
    m_newWatch->setPlaceholderText(QStringLiteral("Nouvelle expression, puis Entrée"));
    connect(m_newWatch, &QLineEdit::returnPressed, this, [this] {
        const QString text = m_newWatch->text().trimmed();
        m_newWatch->clear();
        QStringList watches = m_debugger->watches();
        if (!text.isEmpty() && !watches.contains(text)) {
            watches << text;
            m_debugger->setWatches(watches);
            Q_EMIT watchesChanged(watches);
        }
    });
    titled(QStringLiteral("Expressions"), m_watches, m_newWatch);
    // An expression goes with Delete or its menu's "Supprimer l'expression".
    m_watches->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto *remove = new QAction(QStringLiteral("Supprimer l'expression"), m_watches);
    remove->setObjectName(QStringLiteral("acSupprimerExpression"));
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    connect(remove, &QAction::triggered, this, &DebugPanel::removeWatch);
    m_watches->addAction(remove);
    connect(m_debugger, &Debugger::watchesUpdated, this, &DebugPanel::showWatches);
    // The variables get the room: half of the width at first.
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 1);
    splitter->setStretchFactor(2, 1);
    column->addWidget(m_panels, 1);
    setSessionRunning(false);
}

QAction *DebugPanel::addButton(QToolBar *bar, const char *name, const QString &text, const QString &tip, const QKeySequence &keys)
{
    auto *action = bar->addAction(text);
    action->setToolTip(tip);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    bar->widgetForAction(action)->setObjectName(QString::fromLatin1(name));
    return action;
}

void DebugPanel::setSessionRunning(bool running)
{
    for (QAction *b : m_steps)
        b->setEnabled(running);
    m_panels->setVisible(running);
    if (!running) {
        ++m_generation;
        m_variables->clear();
        m_stack->clear();
    }
}

void DebugPanel::showRunning()
{
    ++m_generation;
    for (QAction *b : m_steps.mid(0, 4))
        b->setEnabled(false);
}

void DebugPanel::showPause(const DebugPause &pause)
{
    for (QAction *b : m_steps)
        b->setEnabled(true);
    ++m_generation;
    const QSignalBlocker blocker(m_stack);
    m_stack->clear();
    for (const DbgpFrame &f : pause.stack)
        m_stack->addItem(QStringLiteral("%1  %2:%3").arg(f.where, f.file.section(QLatin1Char('/'), -1)).arg(f.line));
    m_stack->setCurrentRow(0);
    m_frame = 0;
    m_variables->clear();
    addProperties(m_variables->invisibleRootItem(), pause.locals, 0, 0);
    auto *globals = new QTreeWidgetItem(m_variables, {QStringLiteral("Superglobales")});
    globals->setData(0, kContextRole, kSuperglobalsContext);
    globals->setData(0, kFrameRole, 0);
    placeholder(globals);
}

void DebugPanel::fillVariables(int frame)
{
    m_frame = frame;
    const int generation = ++m_generation;
    m_variables->clear();
    QPointer<DebugPanel> self(this);
    m_debugger->fetchContext(frame, 0, [self, generation, frame](bool ok, const std::vector<DbgpProperty> &props) {
        if (!self || !ok || generation != self->m_generation)
            return;
        self->addProperties(self->m_variables->invisibleRootItem(), props, frame, 0);
        auto *globals = new QTreeWidgetItem(self->m_variables, {QStringLiteral("Superglobales")});
        globals->setData(0, kContextRole, kSuperglobalsContext);
        globals->setData(0, kFrameRole, frame);
        placeholder(globals);
    });
}

void DebugPanel::addProperties(QTreeWidgetItem *parent, const std::vector<DbgpProperty> &props, int frame, int context)
{
    for (const DbgpProperty &p : props) {
        // A variable not yet given a value has no type; "(non définie)" says so.
        const QString type = p.type == QLatin1String("uninitialized") ? QString() : p.className.isEmpty() ? p.type : p.className;
        auto *item = new QTreeWidgetItem(parent, {p.name, type, shownValue(p)});
        item->setData(0, kFullNameRole, p.fullName);
        item->setData(0, kFrameRole, frame);
        item->setData(0, kContextRole, context);
        item->setData(0, kShortenedRole, p.isShortened());
        item->setToolTip(2, p.isShortened() ? QStringLiteral("Double-cliquez pour voir la valeur entière") : QString());
        if (p.hasChildren)
            placeholder(item);
    }
}

void DebugPanel::expand(QTreeWidgetItem *item)
{
    if (item->data(0, kLoadedRole).toBool())
        return;
    item->setData(0, kLoadedRole, true);
    const int generation = m_generation;
    const int frame = item->data(0, kFrameRole).toInt();
    const int context = item->data(0, kContextRole).toInt();
    const QString fullName = item->data(0, kFullNameRole).toString();
    QPointer<DebugPanel> self(this);
    if (fullName.isEmpty()) { // "Superglobales": a whole context
        m_debugger->fetchContext(frame, context, [self, generation, item, frame, context](bool ok, const std::vector<DbgpProperty> &props) {
            if (!self || !ok || generation != self->m_generation)
                return;
            qDeleteAll(item->takeChildren());
            self->addProperties(item, props, frame, context);
        });
        return;
    }
    const int page = item->data(0, kPageRole).toInt();
    m_debugger->fetchChildren(fullName, frame, context, page, [self, generation, item, frame, context, page](bool ok, const DbgpProperty &p) {
        if (!self || !ok || generation != self->m_generation)
            return;
        if (page == 0)
            qDeleteAll(item->takeChildren());
        self->addProperties(item, p.children, frame, context);
        const int shown = item->childCount();
        if (shown < p.childCount) {
            // The next page comes when this line is unfolded.
            auto *more = new QTreeWidgetItem(item, {QStringLiteral("… %1 de plus").arg(p.childCount - shown)});
            more->setData(0, kFullNameRole, item->data(0, kFullNameRole));
            more->setData(0, kFrameRole, frame);
            more->setData(0, kContextRole, context);
            more->setData(0, kPageRole, page + 1);
            placeholder(more);
        }
    });
}

void DebugPanel::showWholeValue(QTreeWidgetItem *item)
{
    if (!item->data(0, kShortenedRole).toBool())
        return;
    QPointer<DebugPanel> self(this);
    const QString name = item->text(0);
    m_debugger->fetchWholeValue(item->data(0, kFullNameRole).toString(), item->data(0, kFrameRole).toInt(),
                                item->data(0, kContextRole).toInt(), [self, name](bool ok, const QString &value) {
        if (!self || !ok)
            return;
        auto *dialog = new QDialog(self);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowTitle(name);
        auto *layout = new QVBoxLayout(dialog);
        auto *text = new QPlainTextEdit(value, dialog);
        text->setReadOnly(true);
        layout->addWidget(text);
        dialog->resize(600, 400);
        dialog->show();
    });
}

void DebugPanel::removeWatch()
{
    QTreeWidgetItem *item = m_watches->currentItem();
    if (!item)
        return;
    QStringList watches = m_debugger->watches();
    watches.removeAll(item->text(0));
    delete item;
    m_debugger->setWatches(watches);
    Q_EMIT watchesChanged(watches);
}

void DebugPanel::showWatches(const std::vector<DebugWatch> &watches)
{
    m_watches->clear();
    for (const DebugWatch &w : watches)
        new QTreeWidgetItem(m_watches, {w.expression, w.ok ? shownValue(w.value) : w.error});
}
