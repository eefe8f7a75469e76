#pragma once

#include <QWidget>

class QLineEdit;
class QListWidget;

/** A combo box of the simple style: an edit line with its item list always shown below it. */
class SimpleComboBox : public QWidget
{
    Q_OBJECT
public:
    explicit SimpleComboBox(QWidget *parent = nullptr);
    QLineEdit *editLine() const { return m_edit; }
    QListWidget *list() const { return m_list; }

Q_SIGNALS:
    /** A key was pressed in the edit line, before it acts on it (Windows virtual-key code). */
    void keyDown(int key);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_edit;
    QListWidget *m_list;
};
