#pragma once

#include "db/gridmodel.h"

#include <QTableView>

/**
 * The result grid `sg`: a table view over a StringGridModel. It shows row 0 as
 * its column header while that row is fixed; there is no fixed column. Column
 * widths are the view's: a column keeps its width (design width, or the one the
 * user dragged it to) while it exists, a new column starts at 100 pixels, and
 * the width of a removed column is forgotten; a double click on a header's
 * edge fits the column to its content. The user cannot edit cells; Ctrl+C
 * copies the selected ones as tab-separated text.
 */
class StringGrid : public QTableView
{
    Q_OBJECT
public:
    explicit StringGrid(QWidget *parent = nullptr);

    StringGridModel *cells() const { return m_model; }

    int rowCount() const { return m_model->gridRowCount(); }
    void setRowCount(int rows) { m_model->setGridRowCount(rows); }
    int colCount() const { return m_model->gridColumnCount(); }
    void setColCount(int columns) { m_model->setGridColumnCount(columns); }
    int fixedRows() const { return m_model->fixedRows(); }
    void setFixedRows(int fixed) { m_model->setFixedRows(fixed); }
    QString cell(int column, int row) const { return m_model->cell(column, row); }
    void setCell(int column, int row, const QString &text) { m_model->setCell(column, row, text); }

    /** The selected cells as tab-separated text (the bounding block of the selection). */
    QString selectedText() const;

    static constexpr int kDefaultColumnWidth = 100;
    static constexpr int kDefaultRowHeight = 16;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showHeaderWhileFixed();

    StringGridModel *m_model;
};
