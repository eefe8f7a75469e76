#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

/**
 * The editor page's find bar, under its toolbar: what to look for, what to put
 * in its place, and the options. It only holds the controls; the window's
 * handlers act on the editor.
 */
class FindBar : public QWidget
{
    Q_OBJECT
public:
    explicit FindBar(QWidget *parent = nullptr);

    /** Shows the bar, with the replace row when `replace`, and puts the focus in the find field. */
    void open(bool replace, const QString &initial);
    bool replaceShown() const;
    void setStatus(const QString &text);

    QLineEdit *findEdit = nullptr;    // "Rechercher"
    QLineEdit *replaceEdit = nullptr; // "Remplacer"
    QPushButton *nextButton = nullptr, *previousButton = nullptr;
    QPushButton *replaceButton = nullptr, *replaceAllButton = nullptr;
    QCheckBox *matchCase = nullptr, *wholeWord = nullptr, *regex = nullptr;
    QLabel *status = nullptr;
};
