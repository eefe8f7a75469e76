#pragma once

#include <QWidget>

class QLineEdit;
class QListWidget;

/**
 * A combo box of the simple style: an edit line with its item list always
 * shown below it. Choosing a list line (click, or Up/Down in the edit line)
 * selects it and puts its text in the edit line. Editing the edit line so
 * that it no longer holds the selected line's text clears the selection.
 *
 * The edit line takes a statement of any length, line breaks included. The
 * list takes the focus when clicked; keys pressed there are reported apart
 * (listKeyDown), so that Delete forgets a history line only from the list.
 */
class SimpleComboBox : public QWidget
{
    Q_OBJECT
public:
    explicit SimpleComboBox(QWidget *parent = nullptr);
    QLineEdit *editLine() const { return m_edit; }
    QListWidget *list() const { return m_list; }

    QString text() const;
    void setText(const QString &text);

    int count() const;
    QString item(int index) const;
    QStringList items() const;
    void addItem(const QString &text);
    /** Removes one line; the edit line is left as it is and no line stays selected. */
    void removeItem(int index);
    void clear();

    /** Shows that a statement runs (a tinted edit line); typing stays possible. */
    void setBusy(bool busy);
    bool isBusy() const { return m_busy; }

    /** The selected list line, or -1 when none is. */
    int selectedIndex() const;
    void setSelectedIndex(int index);

Q_SIGNALS:
    /** A key was pressed in the edit line, before it acts on it (Windows virtual-key code). */
    void keyDown(int key);
    /** A key was pressed in the list while it had the focus. */
    void listKeyDown(int key);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void lineChosen(int index);
    void editTextChanged(const QString &text);
    void moveSelection(int step);

    QLineEdit *m_edit;
    QListWidget *m_list;
    bool m_busy = false;
};
