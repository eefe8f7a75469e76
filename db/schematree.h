#pragma once

#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QToolButton>
#include <QWidget>

#include <functional>
#include <vector>

class DbConsole;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;
struct StatementOutcome;

/**
 * The schema tree beside the result grid: the server's databases, their tables
 * and views, each table's columns (name, type, NULL, key, default) and its
 * indexes. It reads information_schema on the database worker, over the
 * console's own connection, a level at a time as the user unfolds it, so the
 * window never waits; the current database is unfolded at once.
 *
 * It is filled when the console connects, emptied when it closes, and read
 * again after a statement that changes the schema (CREATE, ALTER, DROP,
 * RENAME) and by its "Actualiser" button. A double click puts the item's name,
 * quoted as needed, at the caret of the statement line; a table's context menu
 * runs "SELECT * … LIMIT 100" or "SHOW CREATE TABLE" through runRequested().
 *
 * What it has read also feeds the completion of the statement line (names()).
 */
class SchemaTree : public QWidget
{
    Q_OBJECT
public:
    SchemaTree(DbConsole *console, QLineEdit *statementLine, QWidget *parent = nullptr);

    QTreeWidget *tree() const { return m_tree; }
    QToolButton *refreshButton() const { return m_refresh; }
    /** A read of the server is on its way. */
    bool isLoading() const { return m_pending > 0; }

    /**
     * Folded away (hidden, so the grid takes its room) or shown at its width.
     * `button`, a checkable button shown outside the tree, folds and unfolds it.
     */
    void setFoldButton(QToolButton *button);
    QToolButton *foldButton() const { return m_foldButton; }
    void setFolded(bool folded);
    bool isFolded() const { return m_folded; }
    /** The width it has when shown, in pixels; remembered across runs. */
    int shownWidth() const { return m_width; }
    void setShownWidth(int width);
    /** The user dragged the splitter beside it: its width now is the one to keep. */
    void noteWidth();

    /** Reads the databases again, and what was unfolded. */
    void refresh();
    /** Puts `text` at the caret of the statement line, replacing a selection. */
    void insertAtCaret(const QString &text);

    /** Database, table and view names read so far, each once, sorted. */
    QStringList names() const;
    /** The columns of a table read so far (of any database), in their order. */
    QStringList columnsOf(const QString &table) const;
    /** Reads a table's columns when they are not known yet (for a completion after "table."). */
    void loadColumnsOf(const QString &table);

    /** The two statements of a table's context menu, for the database and table given. */
    static QString firstRowsStatement(const QString &database, const QString &table);
    static QString structureStatement(const QString &database, const QString &table);

Q_SIGNALS:
    /** A context menu entry asks for a statement to be run as if typed. */
    void runRequested(const QString &statement);
    /** What the tree holds changed: something was read, or it was emptied (names() may differ). */
    void loaded();

private:
    void clear();
    void statementFinished(const StatementOutcome &outcome, bool fromRefresh);
    void itemExpanded(QTreeWidgetItem *item);
    void itemDoubleClicked(QTreeWidgetItem *item);
    void showMenu(const QPoint &at);

    void loadDatabases();
    void loadTables(QTreeWidgetItem *database);
    void loadTable(QTreeWidgetItem *table);
    QTreeWidgetItem *databaseItem(const QString &name) const;
    QTreeWidgetItem *tableItem(const QString &database, const QString &table) const;

    using ReadDone = std::function<void(SchemaTree &, std::vector<StatementOutcome> &)>;
    /**
     * Runs `statements` on the worker, one after the other; `done` gets their
     * outcomes, unless the tree is gone or was emptied meanwhile.
     */
    void read(const QStringList &statements, ReadDone done);

    QPointer<DbConsole> m_console;
    QPointer<QLineEdit> m_line;
    QTreeWidget *m_tree;
    QToolButton *m_refresh;
    QPointer<QToolButton> m_foldButton;
    bool m_folded = false;
    int m_width = 200;
    int m_generation = 0; // counts the emptyings: a read made before one is dropped
    int m_pending = 0;
    QStringList m_unfolded;  // "db" and "db\ntable" to unfold again after a refresh
    QHash<QString, QStringList> m_columns; // "db\ntable" → its columns
    mutable QStringList m_names;            // names(), made again after each change
    mutable bool m_namesStale = true;
};
