#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QCompleter;
class QLineEdit;
class QStringListModel;
class SchemaTree;

/**
 * Completion in the statement line of the query box: SQL keywords and the
 * database, table and column names the schema tree has read, once two letters
 * of a word are typed or on Ctrl+Space; after "table." (or "`table`."), that
 * table's columns, read from the server when the tree has not read them yet.
 * A chosen name replaces the word typed, quoted as needed; a keyword goes in
 * capitals.
 */
class StatementCompletion : public QObject
{
    Q_OBJECT
public:
    StatementCompletion(QLineEdit *line, SchemaTree *schema);

    QCompleter *completer() const { return m_completer; }
    /** Offers what completes the word at the caret; `forced` (Ctrl+Space) also for fewer than two letters. */
    void offer(bool forced);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void textEdited();
    void schemaLoaded();
    void chosen(const QString &name);

    QPointer<QLineEdit> m_line;
    QPointer<SchemaTree> m_schema;
    QCompleter *m_completer;
    QStringListModel *m_model;
    qsizetype m_start = 0;       // where the word being completed starts in the line
    QString m_waitingFor;        // a table whose columns are being read for the completion
    QStringList m_offerable;     // the tree's names and the keywords, sorted; empty: to be made again
};
