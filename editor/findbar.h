#pragma once

#include "editor/findtask.h"

#include <QWidget>

class FindJob;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

/**
 * The editor page's find bar, under its toolbar: what to look for, what to put
 * in its place, and the options. It runs the searches away from the window's
 * thread: one that lasts shows its progress and "Annuler" after 200 ms. The
 * window's handlers make the requests and apply the results to the editor.
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

    /** Starts a search or a replacement; one already running is dropped. */
    void run(FindRequest request);
    /** Drops the running search, if any; the status says so. */
    void cancelRun();
    bool running() const;
    /** How long a search runs before its progress and "Annuler" show (200 ms). */
    void setProgressDelay(int ms) { m_progressAfterMs = ms; }

Q_SIGNALS:
    /** A search ended (not one that was dropped); its status is not shown yet. */
    void finished(const FindRequest &request, const FindResult &result);

public:

    QLineEdit *findEdit = nullptr;    // "Rechercher"
    QLineEdit *replaceEdit = nullptr; // "Remplacer"
    QPushButton *nextButton = nullptr, *previousButton = nullptr;
    QPushButton *replaceButton = nullptr, *replaceAllButton = nullptr;
    QPushButton *cancelButton = nullptr; // "Annuler", while a search lasts
    QCheckBox *matchCase = nullptr, *wholeWord = nullptr, *regex = nullptr;
    QLabel *status = nullptr;

private:
    void showProgress();
    void endRun();

    FindJob *m_job = nullptr;
    QTimer *m_progress = nullptr;
    int m_progressAfterMs = 200; // a search that ends sooner shows no progress
};
