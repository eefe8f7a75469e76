#include "db/stringgrid.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>

#include <climits>

namespace {

// Design state: 3 columns and 5 rows, the first row fixed.
constexpr int kDesignWidths[] = {122, 119, 106};
constexpr int kDesignRows = 5;

} // namespace

StringGrid::StringGrid(QWidget *parent)
    : QTableView(parent)
    , m_model(new StringGridModel(this))
{
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setShowGrid(true);
    setWordWrap(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Hidden, the grid keeps its place: the panel above it does not move.
    QSizePolicy policy = sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    setSizePolicy(policy);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    QHeaderView *columns = horizontalHeader();
    columns->setMinimumSectionSize(1);
    columns->setDefaultSectionSize(kDefaultColumnWidth);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(false);
    columns->setHighlightSections(false);

    QHeaderView *rows = verticalHeader();
    rows->hide(); // no fixed column
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(kDefaultRowHeight);
    rows->setSectionResizeMode(QHeaderView::Fixed);

    connect(m_model, &QAbstractItemModel::rowsInserted, this, &StringGrid::showHeaderWhileFixed);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &StringGrid::showHeaderWhileFixed);
    connect(m_model, &QAbstractItemModel::headerDataChanged, this, &StringGrid::showHeaderWhileFixed);

    setColCount(int(std::size(kDesignWidths)));
    for (int k = 0; k < colCount(); ++k)
        setColumnWidth(k, kDesignWidths[k]);
    setRowCount(kDesignRows);
    setFixedRows(1);
}

void StringGrid::showHeaderWhileFixed()
{
    horizontalHeader()->setVisible(m_model->fixedRows() == 1);
}

QString StringGrid::selectedText() const
{
    const QItemSelection selected = selectionModel()->selection();
    if (selected.isEmpty())
        return {};
    int top = INT_MAX, bottom = -1, left = INT_MAX, right = -1;
    for (const QItemSelectionRange &range : selected) {
        top = std::min(top, range.top());
        bottom = std::max(bottom, range.bottom());
        left = std::min(left, range.left());
        right = std::max(right, range.right());
    }
    return m_model->tabText(top, bottom, left, right);
}

void StringGrid::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(selectedText());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}
