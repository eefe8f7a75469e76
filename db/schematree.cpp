// The schema tree beside the result grid, read from information_schema on the
// database worker.
#include "db/schematree.h"

#include "db/consoletext.h"
#include "db/dbconsole.h"
#include "db/dbworker.h"
#include "db/mysqlclient.h"
#include "db/sqlnames.h"

#include <QHBoxLayout>
#include <QBrush>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QSplitter>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace {

enum Kind { Database = 1, Table, View, Column, Indexes, Index, Placeholder, Failure };
enum Role { KindRole = Qt::UserRole, DatabaseRole, TableRole };
enum TreeColumn { NameColumn, TypeColumn, NullColumn, KeyColumn, DefaultColumn };

const QString kLoading = QStringLiteral("…");

QString pathOf(const QString &database, const QString &table = QString())
{
    return table.isNull() ? database : database + u'\n' + table;
}

int kindOf(const QTreeWidgetItem *item)
{
    return item ? item->data(NameColumn, KindRole).toInt() : 0;
}

/** Row `row` of the first result set of `outcome`, cell `column`, as text; a NULL is a null text. */
QString cellText(const StatementOutcome &outcome, int row, int column)
{
    const QByteArrayView bytes = outcome.results.front().rows->cell(row + 1, column);
    return bytes.isNull() ? QString() : textFromServer(bytes);
}

int rowsOf(const StatementOutcome &outcome)
{
    return outcome.results.empty() ? 0 : outcome.results.front().rowCount();
}

QTreeWidgetItem *newItem(QTreeWidgetItem *parent, int kind, const QString &name, const QString &database,
                         const QString &table = QString())
{
    auto *item = new QTreeWidgetItem(parent);
    item->setText(NameColumn, name);
    item->setData(NameColumn, KindRole, kind);
    item->setData(NameColumn, DatabaseRole, database);
    item->setData(NameColumn, TableRole, table);
    return item;
}

/** An item whose children are read when it is first unfolded. */
void markUnread(QTreeWidgetItem *item)
{
    auto *placeholder = new QTreeWidgetItem(item);
    placeholder->setText(NameColumn, kLoading);
    placeholder->setData(NameColumn, KindRole, Placeholder);
}

bool isUnread(const QTreeWidgetItem *item)
{
    return item->childCount() == 1 && kindOf(item->child(0)) == Placeholder;
}

/** Replaces the children with a line saying why they could not be read. */
void showFailure(QTreeWidgetItem *item, const QString &error)
{
    qDeleteAll(item->takeChildren());
    auto *line = new QTreeWidgetItem(item);
    line->setText(NameColumn, QStringLiteral("Erreur : ") + firstCharacters(error, kErrorTextLength));
    line->setData(NameColumn, KindRole, Failure);
    line->setForeground(NameColumn, QBrush(Qt::darkRed));
}

QString firstError(const std::vector<StatementOutcome> &outcomes)
{
    for (const StatementOutcome &outcome : outcomes)
        if (!outcome.error.isEmpty())
            return outcome.error;
    return {};
}

} // namespace

SchemaTree::SchemaTree(DbConsole *console, QLineEdit *statementLine, QWidget *parent)
    : QWidget(parent)
    , m_console(console)
    , m_line(statementLine)
    , m_tree(new QTreeWidget(this))
    , m_refresh(new QToolButton(this))
{
    setObjectName(QStringLiteral("tvSchema"));
    m_tree->setObjectName(QStringLiteral("tvSchemaArbre"));
    m_tree->setColumnCount(5);
    m_tree->setHeaderLabels({QStringLiteral("Nom"), QStringLiteral("Type"), QStringLiteral("NULL"),
                             QStringLiteral("Clé"), QStringLiteral("Défaut")});
    m_tree->header()->setStretchLastSection(false);
    m_tree->setColumnWidth(NameColumn, 150);
    m_tree->setUniformRowHeights(true);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->setExpandsOnDoubleClick(false); // a double click puts the name in the statement
    m_tree->setFrameStyle(QFrame::NoFrame);
    m_refresh->setObjectName(QStringLiteral("sbActualiserSchema"));
    m_refresh->setText(QStringLiteral("Actualiser"));
    m_refresh->setToolTip(QStringLiteral("Relire les bases, les tables et les colonnes"));
    m_refresh->setAutoRaise(true);
    m_refresh->setEnabled(false);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(2, 0, 2, 0);
    bar->addWidget(m_refresh);
    bar->addStretch(1);
    column->addLayout(bar);
    column->addWidget(m_tree, 1);

    connect(m_refresh, &QToolButton::clicked, this, &SchemaTree::refresh);
    connect(m_tree, &QTreeWidget::itemExpanded, this, &SchemaTree::itemExpanded);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &SchemaTree::itemDoubleClicked);
    connect(m_tree, &QTreeWidget::customContextMenuRequested, this, &SchemaTree::showMenu);
    connect(console, &DbConsole::connected, this, &SchemaTree::refresh);
    connect(console, &DbConsole::closed, this, &SchemaTree::clear);
    connect(console, &DbConsole::statementFinished, this, &SchemaTree::statementFinished);
}

void SchemaTree::setFoldButton(QToolButton *button)
{
    m_foldButton = button;
    button->setCheckable(true);
    button->setChecked(!m_folded);
    connect(button, &QToolButton::toggled, this, [tree = this](bool shown) { tree->setFolded(!shown); });
}

void SchemaTree::setFolded(bool folded)
{
    m_folded = folded;
    setVisible(!folded);
    if (m_foldButton) {
        const QSignalBlocker quiet(m_foldButton);
        m_foldButton->setChecked(!folded);
    }
    if (!folded)
        setShownWidth(m_width);
}

void SchemaTree::setShownWidth(int width)
{
    m_width = std::max(width, 40);
    auto *splitter = qobject_cast<QSplitter *>(parentWidget());
    if (!splitter || m_folded)
        return;
    const int index = splitter->indexOf(this);
    QList<int> sizes = splitter->sizes();
    int total = 0;
    for (const int size : sizes)
        total += size;
    if (index < 0 || sizes.size() != 2)
        return;
    total = std::max(total, splitter->width());
    sizes[index] = m_width;
    sizes[1 - index] = std::max(total - m_width, 1);
    splitter->setSizes(sizes);
}

void SchemaTree::noteWidth()
{
    if (!m_folded && isVisible() && width() > 0)
        m_width = width();
}

void SchemaTree::clear()
{
    ++m_generation;
    m_pending = 0;
    m_tree->clear();
    m_columns.clear();
    m_refresh->setEnabled(false);
    m_namesStale = true;
    Q_EMIT loaded();
}

void SchemaTree::refresh()
{
    if (!m_console || !m_console->isConnected()) {
        clear();
        return;
    }
    // What is unfolded now is unfolded again once read.
    for (int d = 0; d < m_tree->topLevelItemCount(); ++d) {
        QTreeWidgetItem *database = m_tree->topLevelItem(d);
        const QString name = database->text(NameColumn);
        m_unfolded.removeAll(name);
        if (database->isExpanded())
            m_unfolded.append(name);
        for (int t = 0; t < database->childCount(); ++t) {
            QTreeWidgetItem *table = database->child(t);
            m_unfolded.removeAll(pathOf(name, table->text(NameColumn)));
            if (table->isExpanded())
                m_unfolded.append(pathOf(name, table->text(NameColumn)));
        }
    }
    clear();
    m_refresh->setEnabled(true);
    loadDatabases();
}

void SchemaTree::statementFinished(const StatementOutcome &outcome, bool fromRefresh)
{
    Q_UNUSED(outcome); // also after an error: the statements before it may have changed the schema
    if (!fromRefresh && m_console && m_console->isConnected() && changesSchema(m_console->lastStatement()))
        refresh();
}

void SchemaTree::read(const QStringList &statements, ReadDone done)
{
    ++m_pending;
    const int generation = m_generation;
    const QPointer<QObject> self(this);
    DbWorker::post([self, statements, generation, done = std::move(done)] {
        auto outcomes = std::make_shared<std::vector<StatementOutcome>>();
        for (const QString &statement : statements)
            outcomes->push_back(mysqlRun(statement.toUtf8()));
        DbWorker::reply(self, [self, outcomes, generation, done] {
            auto *tree = static_cast<SchemaTree *>(self.data());
            if (generation != tree->m_generation)
                return; // emptied meanwhile (closed, or read again)
            --tree->m_pending;
            done(*tree, *outcomes);
            tree->m_namesStale = true;
            Q_EMIT tree->loaded();
        });
    });
}

void SchemaTree::loadDatabases()
{
    read({QStringLiteral("SELECT SCHEMA_NAME FROM information_schema.SCHEMATA ORDER BY SCHEMA_NAME"),
          QStringLiteral("SELECT DATABASE()")},
         [](SchemaTree &tree, std::vector<StatementOutcome> &outcomes) {
             QTreeWidget *view = tree.m_tree;
             const QString error = firstError(outcomes);
             if (!error.isEmpty()) {
                 auto *line = new QTreeWidgetItem(view);
                 line->setText(NameColumn, QStringLiteral("Erreur : ") + firstCharacters(error, kErrorTextLength));
                 line->setData(NameColumn, KindRole, Failure);
                 return;
             }
             const QString current = rowsOf(outcomes[1]) > 0 ? cellText(outcomes[1], 0, 0) : QString();
             for (int r = 0; r < rowsOf(outcomes[0]); ++r) {
                 const QString name = cellText(outcomes[0], r, 0);
                 QTreeWidgetItem *item = newItem(nullptr, Database, name, name);
                 view->addTopLevelItem(item);
                 markUnread(item);
                 if (name == current) { // the connection's database, in bold
                     QFont bold = item->font(NameColumn);
                     bold.setBold(true);
                     item->setFont(NameColumn, bold);
                 }
             }
             for (int d = 0; d < view->topLevelItemCount(); ++d) {
                 QTreeWidgetItem *item = view->topLevelItem(d);
                 if (item->text(NameColumn) == current || tree.m_unfolded.contains(item->text(NameColumn)))
                     item->setExpanded(true); // reads its tables
             }
         });
}

void SchemaTree::loadTables(QTreeWidgetItem *databaseItem)
{
    const QString database = databaseItem->data(NameColumn, DatabaseRole).toString();
    read({QStringLiteral("SELECT TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES WHERE TABLE_SCHEMA = %1 "
                         "ORDER BY TABLE_NAME")
              .arg(sqlTextLiteral(database))},
         [database](SchemaTree &tree, std::vector<StatementOutcome> &outcomes) {
             QTreeWidgetItem *item = tree.databaseItem(database);
             if (!item)
                 return;
             if (!outcomes[0].error.isEmpty()) {
                 showFailure(item, outcomes[0].error);
                 return;
             }
             qDeleteAll(item->takeChildren());
             QList<QTreeWidgetItem *> unfold;
             for (int r = 0; r < rowsOf(outcomes[0]); ++r) {
                 const QString name = cellText(outcomes[0], r, 0);
                 const bool view = cellText(outcomes[0], r, 1) == u"VIEW";
                 QTreeWidgetItem *table = newItem(item, view ? View : Table, name, database, name);
                 table->setText(TypeColumn, view ? QStringLiteral("vue") : QStringLiteral("table"));
                 markUnread(table);
                 if (tree.m_unfolded.contains(pathOf(database, name)))
                     unfold.append(table);
             }
             for (QTreeWidgetItem *table : unfold)
                 table->setExpanded(true);
         });
}

void SchemaTree::loadTable(QTreeWidgetItem *tableItem)
{
    const QString database = tableItem->data(NameColumn, DatabaseRole).toString();
    const QString table = tableItem->data(NameColumn, TableRole).toString();
    const QString where = QStringLiteral("WHERE TABLE_SCHEMA = %1 AND TABLE_NAME = %2")
                              .arg(sqlTextLiteral(database), sqlTextLiteral(table));
    read({QStringLiteral("SELECT COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, COLUMN_KEY, COLUMN_DEFAULT "
                         "FROM information_schema.COLUMNS %1 ORDER BY ORDINAL_POSITION")
              .arg(where),
          QStringLiteral("SELECT INDEX_NAME, MIN(NON_UNIQUE), GROUP_CONCAT(COLUMN_NAME ORDER BY SEQ_IN_INDEX SEPARATOR ', ') "
                         "FROM information_schema.STATISTICS %1 GROUP BY INDEX_NAME "
                         "ORDER BY INDEX_NAME <> 'PRIMARY', INDEX_NAME")
              .arg(where)},
         [database, table](SchemaTree &tree, std::vector<StatementOutcome> &outcomes) {
             QTreeWidgetItem *item = tree.tableItem(database, table);
             if (!item)
                 return;
             const QString error = firstError(outcomes);
             if (!error.isEmpty()) {
                 showFailure(item, error);
                 return;
             }
             qDeleteAll(item->takeChildren());
             QStringList columns;
             for (int r = 0; r < rowsOf(outcomes[0]); ++r) {
                 const QString name = cellText(outcomes[0], r, 0);
                 QTreeWidgetItem *column = newItem(item, Column, name, database, table);
                 column->setText(TypeColumn, cellText(outcomes[0], r, 1));
                 column->setText(NullColumn, cellText(outcomes[0], r, 2) == u"YES" ? QStringLiteral("oui")
                                                                                   : QStringLiteral("non"));
                 column->setText(KeyColumn, cellText(outcomes[0], r, 3));
                 const QString fallback = cellText(outcomes[0], r, 4);
                 column->setText(DefaultColumn, fallback.isNull() ? QString() : fallback);
                 columns.append(name);
             }
             tree.m_columns.insert(pathOf(database, table), columns);
             if (rowsOf(outcomes[1]) > 0) {
                 QTreeWidgetItem *indexes = newItem(item, Indexes, QStringLiteral("Index"), database, table);
                 for (int r = 0; r < rowsOf(outcomes[1]); ++r) {
                     const QString name = cellText(outcomes[1], r, 0);
                     QTreeWidgetItem *index = newItem(indexes, Index, name, database, table);
                     index->setText(TypeColumn, cellText(outcomes[1], r, 1) == u"0" ? QStringLiteral("unique")
                                                                                   : QStringLiteral("index"));
                     index->setText(KeyColumn, cellText(outcomes[1], r, 2));
                 }
             }
         });
}

void SchemaTree::itemExpanded(QTreeWidgetItem *item)
{
    if (!isUnread(item))
        return;
    if (kindOf(item) == Database)
        loadTables(item);
    else if (kindOf(item) == Table || kindOf(item) == View)
        loadTable(item);
}

QTreeWidgetItem *SchemaTree::databaseItem(const QString &name) const
{
    for (int d = 0; d < m_tree->topLevelItemCount(); ++d)
        if (kindOf(m_tree->topLevelItem(d)) == Database && m_tree->topLevelItem(d)->text(NameColumn) == name)
            return m_tree->topLevelItem(d);
    return nullptr;
}

QTreeWidgetItem *SchemaTree::tableItem(const QString &database, const QString &table) const
{
    QTreeWidgetItem *parent = databaseItem(database);
    for (int t = 0; parent && t < parent->childCount(); ++t)
        if (parent->child(t)->data(NameColumn, TableRole).toString() == table
            && (kindOf(parent->child(t)) == Table || kindOf(parent->child(t)) == View))
            return parent->child(t);
    return nullptr;
}

void SchemaTree::insertAtCaret(const QString &text)
{
    if (!m_line)
        return;
    m_line->insert(text); // replaces the selection, leaves the caret after the text
    m_line->setFocus();
}

void SchemaTree::itemDoubleClicked(QTreeWidgetItem *item)
{
    const int kind = kindOf(item);
    if (kind == Database || kind == Table || kind == View || kind == Column || kind == Index)
        insertAtCaret(quotedIdentifier(item->text(NameColumn)));
}

QString SchemaTree::firstRowsStatement(const QString &database, const QString &table)
{
    return QStringLiteral("SELECT * FROM %1.%2 LIMIT 100").arg(quotedIdentifier(database), quotedIdentifier(table));
}

QString SchemaTree::structureStatement(const QString &database, const QString &table)
{
    return QStringLiteral("SHOW CREATE TABLE %1.%2").arg(quotedIdentifier(database), quotedIdentifier(table));
}

void SchemaTree::showMenu(const QPoint &at)
{
    QTreeWidgetItem *item = m_tree->itemAt(at);
    if (kindOf(item) != Table && kindOf(item) != View)
        return;
    const QString database = item->data(NameColumn, DatabaseRole).toString();
    const QString table = item->data(NameColumn, TableRole).toString();
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("menuSchema"));
    QAction *rows = menu.addAction(QStringLiteral("Afficher 100 lignes"));
    QAction *structure = menu.addAction(QStringLiteral("Structure"));
    QAction *chosen = menu.exec(m_tree->viewport()->mapToGlobal(at));
    if (chosen == rows)
        Q_EMIT runRequested(firstRowsStatement(database, table));
    else if (chosen == structure)
        Q_EMIT runRequested(structureStatement(database, table));
}

QStringList SchemaTree::names() const
{
    if (!m_namesStale)
        return m_names;
    std::set<QString> found;
    for (int d = 0; d < m_tree->topLevelItemCount(); ++d) {
        QTreeWidgetItem *database = m_tree->topLevelItem(d);
        if (kindOf(database) != Database)
            continue;
        found.insert(database->text(NameColumn));
        for (int t = 0; t < database->childCount(); ++t)
            if (kindOf(database->child(t)) == Table || kindOf(database->child(t)) == View)
                found.insert(database->child(t)->text(NameColumn));
    }
    for (const QStringList &columns : m_columns)
        found.insert(columns.begin(), columns.end());
    m_names = QStringList(found.begin(), found.end());
    m_namesStale = false;
    return m_names;
}

QStringList SchemaTree::columnsOf(const QString &table) const
{
    QStringList columns;
    for (auto it = m_columns.cbegin(); it != m_columns.cend(); ++it)
        if (it.key().section(u'\n', 1).compare(table, Qt::CaseInsensitive) == 0)
            for (const QString &column : it.value())
                if (!columns.contains(column))
                    columns.append(column);
    return columns;
}

void SchemaTree::loadColumnsOf(const QString &table)
{
    for (int d = 0; d < m_tree->topLevelItemCount(); ++d) {
        QTreeWidgetItem *database = m_tree->topLevelItem(d);
        for (int t = 0; t < database->childCount(); ++t) {
            QTreeWidgetItem *item = database->child(t);
            if ((kindOf(item) == Table || kindOf(item) == View)
                && item->text(NameColumn).compare(table, Qt::CaseInsensitive) == 0 && isUnread(item)) {
                // Marked read at once, so that typing on does not ask again.
                item->child(0)->setData(NameColumn, KindRole, Failure);
                loadTable(item);
            }
        }
    }
}
