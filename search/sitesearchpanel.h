#pragma once

#include "search/findinfiles.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class SiteMatchModel;
class QPushButton;

/**
 * "Rechercher dans le site": the panel at the foot of the editor page. The line,
 * the find bar's options and a file filter; the matches stream into the list, one
 * line per match with its file, line number and text, the match highlighted.
 * It only holds the controls and the list; SiteSearch runs the search.
 */
class SiteSearchPanel : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kShowEveryMs = 100;

    explicit SiteSearchPanel(QWidget *parent = nullptr);

    /** Shows the panel with `pattern` in the line (kept when empty), selected and focused. */
    void open(const QString &pattern);
    FindOptions options() const;
    void setOptions(const FindOptions &options);

    /** Empties the list for a new search and shows "Annuler". */
    void searchStarted();
    /**
     * Takes a batch of lines. The first is shown at once; later ones are gathered and
     * shown together every kShowEveryMs, so that a search with many results repaints
     * the list a few times a second instead of once per batch.
     */
    void addMatches(const QList<FindMatch> &batch);
    /** Shows the lines still gathered, then the summary. */
    void searchFinished(const FindSummary &summary);
    /** The match shown on list line `row`; the lines gathered but not shown yet do not count. */
    const FindMatch &match(int row) const;
    qsizetype matchCount() const;
    /** The lines received for this search, shown or still gathered. */
    qsizetype receivedCount() const { return matchCount() + m_pendingLines; }

    QLineEdit *patternEdit = nullptr;
    QLineEdit *filterEdit = nullptr;
    QCheckBox *matchCase = nullptr, *wholeWord = nullptr, *regex = nullptr;
    QPushButton *searchButton = nullptr, *cancelButton = nullptr, *closeButton = nullptr;
    QLabel *count = nullptr;
    QListView *list = nullptr; // over a model of the matches, drawn by a delegate

signals:
    void searchAsked();
    void cancelAsked();
    /** A click (or Enter) on a result line. */
    void matchChosen(int row);

private:
    void showPending();
    void showCount(const QString &more);
    SiteMatchModel *m_model = nullptr;
    QList<QList<FindMatch>> m_pending; // batches received, not in the list yet
    qsizetype m_pendingLines = 0;
    QTimer m_showTimer;
};
