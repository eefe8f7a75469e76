#pragma once

#include "db/packedrows.h"

#include <QAbstractTableModel>
#include <QByteArrayView>

#include <span>
#include <vector>

/**
 * The cells of the result grid, with the semantics of a string grid: a row
 * count, a column count, a number of fixed rows and text cells addressed
 * (column, row) from 0, all rows counted, fixed ones included.
 *
 * As a Qt model it shows the grid's non-fixed rows; while one row is fixed,
 * that row 0 is the horizontal header. The grid always has fewer fixed rows
 * than rows: lowering the row count to 1 lowers the fixed rows to 0.
 *
 * The cells are kept as bytes in a PackedRows store, so a result of 100,000
 * rows costs no object per cell. They are decoded for display only: UTF-8,
 * or Windows-1252 when they are not well-formed UTF-8. A NULL shows as a
 * dimmed "NULL"; a value of a binary column as 0x… hexadecimal; a long value
 * is cut in its cell and shown whole in its tooltip.
 */
class StringGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit StringGridModel(QObject *parent = nullptr);

    int gridRowCount() const { return m_rows.size(); }
    /** New rows are empty; removed rows lose their cells. */
    void setGridRowCount(int rows);
    int gridColumnCount() const { return m_columns; }
    /** New columns are empty; the cells of removed columns are dropped. */
    void setGridColumnCount(int columns);
    int fixedRows() const { return m_fixed; }
    /** Accepts 0, or 1 while the grid has at least two rows; any other value is ignored. */
    void setFixedRows(int fixed);

    /**
     * The cell's whole text: "NULL" for a NULL, 0x… for a binary value, zero
     * bytes kept; empty outside the grid.
     */
    QString cell(int column, int row) const;
    bool isNull(int column, int row) const;
    /** Sets one cell (stored as UTF-8); ignored outside the grid. */
    void setCell(int column, int row, const QString &text);
    /**
     * Sets every cell of one row from raw bytes, decoded when shown. Values
     * beyond the column count are dropped, missing ones are empty.
     */
    void setRowBytes(int row, std::span<const QByteArrayView> values);

    /**
     * Shows a whole result at once: `rows` holds the field names in its row 0 and
     * the data rows after it, `columns` cells each. One fixed row when there are
     * data rows, none otherwise. The widths of the columns that stay are kept.
     */
    void takeResult(PackedRows &&rows, int columns, std::vector<bool> binaryColumns);
    bool isBinaryColumn(int column) const;

    /**
     * Every row of the grid (the names first) as RFC 4180 CSV in UTF-8, each value
     * as csvExportField() writes it; a NULL is an empty field.
     */
    QByteArray csv() const;
    /** The cells of a block of model rows and columns as tab-separated text, one line per row. */
    QString tabText(int firstRow, int lastRow, int firstColumn, int lastColumn) const;

    /**
     * Groups many cell changes into one change notice to the views, sent when
     * the batch ends: filling a large result stays one repaint, not one per row.
     */
    class Batch
    {
    public:
        explicit Batch(StringGridModel &model);
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        StringGridModel &m_model;
    };

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QByteArrayView cellBytes(int column, int row) const;
    void cellsChanged(int firstRow, int lastRow);

    PackedRows m_rows; // every grid row, fixed ones included
    std::vector<bool> m_binary; // per column, from the last result
    int m_columns = 0;
    int m_fixed = 0;
    int m_batchDepth = 0;
    int m_batchFirst = -1; // grid rows changed during the current batch
    int m_batchLast = -1;
};
