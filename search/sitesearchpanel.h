#pragma once

#include "search/findinfiles.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
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
    explicit SiteSearchPanel(QWidget *parent = nullptr);

    /** Shows the panel with `pattern` in the line (kept when empty), selected and focused. */
    void open(const QString &pattern);
    FindOptions options() const;
    void setOptions(const FindOptions &options);

    /** Empties the list for a new search and shows "Annuler". */
    void searchStarted();
    void addMatches(const QList<FindMatch> &batch);
    void searchFinished(const FindSummary &summary);
    /** The match shown on list line `row`. */
    const FindMatch &match(int row) const { return m_matches.at(row); }
    qsizetype matchCount() const { return m_matches.size(); }

    QLineEdit *patternEdit = nullptr;
    QLineEdit *filterEdit = nullptr;
    QCheckBox *matchCase = nullptr, *wholeWord = nullptr, *regex = nullptr;
    QPushButton *searchButton = nullptr, *cancelButton = nullptr, *closeButton = nullptr;
    QLabel *count = nullptr;
    QListWidget *list = nullptr;

signals:
    void searchAsked();
    void cancelAsked();
    /** A click (or Enter) on a result line. */
    void matchChosen(int row);

private:
    void showCount(const QString &more);
    QList<FindMatch> m_matches;
};
