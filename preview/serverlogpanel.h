#pragma once

#include "preview/phpserver.h"

#include <QColor>
#include <QWidget>

class QListWidget;
class QToolButton;

/**
 * The collapsible "Journal du serveur": a header that opens and closes it, and
 * the server's lines below, PHP errors in red. It keeps the last
 * BuiltinServer::kLogLines lines. Closed, it is one header line high; when an
 * error arrives while it is closed, the header says so in red.
 */
class ServerLogPanel : public QWidget
{
    Q_OBJECT
public:
    explicit ServerLogPanel(QWidget *parent = nullptr);

    void appendLine(const QString &text, ServerLineKind kind);
    void setExpanded(bool expanded);
    bool isExpanded() const;
    /** The lines shown, oldest first. */
    QStringList lines() const;
    /** Whether the line at `row` is shown as an error (red). */
    bool isErrorRow(int row) const;
    QListWidget *list() const { return m_list; }

Q_SIGNALS:
    /** A line was clicked: its text and its kind. */
    void lineClicked(const QString &text, ServerLineKind kind);

private:
    void updateHeader();

    QToolButton *m_header = nullptr;
    QListWidget *m_list = nullptr;
    bool m_unseenErrors = false;
    QColor m_plainText;
};
