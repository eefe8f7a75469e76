#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;
class QListWidget;

/**
 * The small box over the editor of "Ouvrir un fichier du site" (Ctrl+P), also
 * used for the list of candidates of "Aller à la définition": a line to type in
 * and a list under it. Up and Down move in the list while the keys stay in the
 * line, Enter (or a double click) takes the current line, Escape closes the box.
 * It only holds the controls; SiteSearch fills the list.
 */
class OpenFileBox : public QFrame
{
    Q_OBJECT
public:
    /** The box floats over `page`, near its top, centred. */
    explicit OpenFileBox(QWidget *page);

    /** Shows the box with `title`, the line empty (or not editable when `filter` is false), focused. */
    void popUp(const QString &title, bool filter);
    void close();

    QLabel *title = nullptr;
    QLineEdit *edit = nullptr;
    QListWidget *list = nullptr;

signals:
    void textEdited(const QString &text);
    /** Enter or a double click on a list line (its row). */
    void accepted(int row);
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();
    QWidget *m_page;
};
