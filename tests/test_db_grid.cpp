// The result grid's string-grid semantics, on the model alone and on the view.
#include "support/qtmain.h"

#include "db/consoletext.h"
#include "db/gridmodel.h"
#include "db/packedrows.h"
#include "db/stringgrid.h"
#include "support/testsupport.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

namespace {

QStringList gridRow(const StringGridModel &model, int row)
{
    QStringList cells;
    for (int k = 0; k < model.gridColumnCount(); ++k)
        cells.append(model.cell(k, row));
    return cells;
}

TEST(GridModel, RowCountOfOneLowersTheFixedRows)
{
    StringGridModel model;
    model.setGridColumnCount(2);
    model.setGridRowCount(3);
    model.setFixedRows(1);
    ASSERT_EQ(model.fixedRows(), 1);
    EXPECT_EQ(model.rowCount(), 2); // the fixed row is the header, not a body row

    model.setGridRowCount(1);
    EXPECT_EQ(model.fixedRows(), 0);
    EXPECT_EQ(model.rowCount(), 1);
}

TEST(GridModel, FixedRowsMustStayBelowTheRowCount)
{
    StringGridModel model;
    model.setGridColumnCount(1);
    model.setGridRowCount(1);
    model.setFixedRows(1);
    EXPECT_EQ(model.fixedRows(), 0);
    model.setGridRowCount(2);
    model.setFixedRows(2);
    EXPECT_EQ(model.fixedRows(), 0);
    model.setFixedRows(1);
    EXPECT_EQ(model.fixedRows(), 1);
}

TEST(GridModel, FixedRowZeroIsTheHeaderAndBodyRowsFollow)
{
    StringGridModel model;
    model.setGridColumnCount(2);
    model.setGridRowCount(3);
    model.setCell(0, 0, QStringLiteral("id"));
    model.setCell(0, 1, QStringLiteral("un"));
    model.setCell(1, 2, QStringLiteral("deux"));
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("id"));

    model.setFixedRows(1);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("id"));
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("un"));
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), QStringLiteral("deux"));
    EXPECT_EQ(model.cell(0, 0), QStringLiteral("id")); // grid addressing is unchanged
}

TEST(GridModel, ResizingKeepsCellsInsideAndEmptiesNewOnes)
{
    StringGridModel model;
    model.setGridColumnCount(3);
    model.setGridRowCount(2);
    const QByteArrayView values[] = {"a", "b", "c"};
    model.setRowBytes(1, values);

    model.setGridColumnCount(1);
    model.setGridColumnCount(3);
    EXPECT_EQ(gridRow(model, 1), (QStringList{"a", "", ""})); // removed cells do not come back

    model.setGridRowCount(1);
    model.setGridRowCount(2);
    EXPECT_EQ(gridRow(model, 1), (QStringList{"", "", ""}));
}

TEST(GridModel, RowBytesBeyondTheColumnsAreDroppedAndMissingOnesEmpty)
{
    StringGridModel model;
    model.setGridColumnCount(2);
    model.setGridRowCount(2);
    const QByteArrayView three[] = {"x", "y", "z"};
    model.setRowBytes(0, three);
    const QByteArrayView one[] = {"p"};
    model.setRowBytes(1, one);
    EXPECT_EQ(gridRow(model, 0), (QStringList{"x", "y"}));
    EXPECT_EQ(gridRow(model, 1), (QStringList{"p", ""}));
    model.setGridColumnCount(3);
    EXPECT_EQ(model.cell(2, 0), QString());
}

TEST(GridModel, CellsOutsideTheGridAreEmptyAndCannotBeSet)
{
    StringGridModel model;
    model.setGridColumnCount(1);
    model.setGridRowCount(1);
    model.setCell(1, 0, QStringLiteral("x"));
    model.setCell(0, 1, QStringLiteral("x"));
    EXPECT_EQ(model.cell(1, 0), QString());
    EXPECT_EQ(model.cell(-1, 0), QString());
    EXPECT_EQ(model.cell(0, 5), QString());
}

TEST(GridModel, SetCellKeepsTheOtherCellsOfItsRow)
{
    StringGridModel model;
    model.setGridColumnCount(3);
    model.setGridRowCount(1);
    const QByteArrayView values[] = {"a", "\xe9t\xe9", "c"}; // Windows-1252 bytes
    model.setRowBytes(0, values);
    model.setCell(2, 0, QStringLiteral("çà"));
    EXPECT_EQ(gridRow(model, 0), (QStringList{"a", "été", "çà"}));
}

TEST(GridModel, ABatchSendsOneChangeNotice)
{
    StringGridModel model;
    model.setGridColumnCount(2);
    model.setGridRowCount(1000);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    {
        const StringGridModel::Batch batch(model);
        const QByteArrayView values[] = {"1", "2"};
        for (int r = 0; r < 1000; ++r)
            model.setRowBytes(r, values);
    }
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0][0].value<QModelIndex>().row(), 0);
    EXPECT_EQ(changes[0][1].value<QModelIndex>().row(), 999);
}

TEST(GridModel, CellsCannotBeEdited)
{
    StringGridModel model;
    model.setGridColumnCount(1);
    model.setGridRowCount(1);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
}

TEST(PackedRows, RefillingEveryRowAgainDoesNotGrowTheStore)
{
    PackedRows rows;
    rows.resize(20000);
    const QByteArray text(40, 'x');
    const QByteArrayView values[] = {text, text, "12"};
    for (int r = 0; r < rows.size(); ++r)
        rows.setRow(r, values);
    const qsizetype once = rows.reservedBytes();
    for (int refill = 0; refill < 5; ++refill) {
        for (int r = 0; r < rows.size(); ++r)
            rows.setRow(r, values);
    }
    EXPECT_LE(rows.reservedBytes(), once + (qsizetype(1) << 20)); // at most one chunk more
    rows.resize(0);
    EXPECT_LE(rows.reservedBytes(), qsizetype(1) << 20);
}

TEST(PackedRows, LargeAndEmptyCellsRoundTrip)
{
    PackedRows rows;
    rows.resize(3);
    const QByteArray big(300000, 'b'); // beyond 16-bit offsets, and a chunk of its own
    const QByteArrayView wide[] = {"a", big, "", "z"};
    rows.setRow(0, wide);
    const QByteArrayView blanks[] = {"", ""};
    rows.setRow(1, blanks);
    EXPECT_EQ(rows.cellCount(0), 4);
    EXPECT_EQ(rows.cell(0, 1), QByteArrayView(big));
    EXPECT_EQ(rows.cell(0, 3), QByteArrayView("z"));
    EXPECT_EQ(rows.cellCount(1), 2);
    EXPECT_TRUE(rows.cell(1, 1).isEmpty());
    EXPECT_EQ(rows.cellCount(2), 0);
    EXPECT_TRUE(rows.cell(2, 0).isEmpty());

    rows.truncateColumns(2);
    EXPECT_EQ(rows.cellCount(0), 2);
    EXPECT_EQ(rows.cell(0, 1), QByteArrayView(big));
}

TEST(PackedRows, NullCellsStayApartFromEmptyOnesAtBothOffsetWidths)
{
    PackedRows rows;
    const QByteArray big(40000, 'w'); // beyond the narrow offsets
    const QByteArray zeros("a\0b", 3);
    for (const QByteArrayView last : {QByteArrayView("z"), QByteArrayView(big)}) {
        const QByteArrayView values[] = {QByteArrayView(), "", zeros, QByteArrayView(), last};
        rows.appendRow(values);
    }
    rows.truncateColumns(4); // copies keep the flags
    for (int r = 0; r < 2; ++r) {
        SCOPED_TRACE(r);
        EXPECT_TRUE(rows.cell(r, 0).isNull());
        EXPECT_FALSE(rows.cell(r, 1).isNull());
        EXPECT_TRUE(rows.cell(r, 1).isEmpty());
        EXPECT_EQ(rows.cell(r, 2), QByteArrayView(zeros)); // zero bytes kept
        EXPECT_TRUE(rows.cell(r, 3).isNull());
        EXPECT_FALSE(rows.cell(r, 7).isNull()); // beyond the row: empty, not NULL
    }
}

TEST(ConsoleText, HexCutTextsAndCsvFields)
{
    EXPECT_EQ(hexText(QByteArrayView("\x00\xFF" "A", 3)), QStringLiteral("0x00FF41"));
    EXPECT_EQ(hexText(QByteArrayView("", 0)), QStringLiteral("0x"));
    EXPECT_EQ(shownText(QString::fromUtf8("ab\0cd", 5)), QString::fromUtf8("ab\u2400cd"));
    EXPECT_EQ(shownText(QStringLiteral("abcdef"), 3), QString::fromUtf8("abc…"));
    EXPECT_EQ(utf8Prefix("\xC3\xA9\xC3\xA9", 3), QByteArrayView("\xC3\xA9")); // never half a character
    EXPECT_EQ(csvField(QStringLiteral("plain")), QStringLiteral("plain"));
    EXPECT_EQ(csvField(QStringLiteral("a,b")), QStringLiteral("\"a,b\""));
    EXPECT_EQ(csvField(QStringLiteral("say \"hi\"")), QStringLiteral("\"say \"\"hi\"\"\""));
    EXPECT_EQ(csvField(QStringLiteral("two\r\nlines")), QStringLiteral("\"two\r\nlines\""));
}

// What a spreadsheet would run as a formula gets a "'" before it; numbers stay numbers.
TEST(ConsoleText, ExportedFieldsNeverMakeFormulas)
{
    struct Case
    {
        const char *value;
        const char *written;
    };
    const Case cases[] = {
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+33 1 23", "'+33 1 23"},
        {"-1+1", "'-1+1"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tcmd", "'\tcmd"},
        {"\r=1", "\"'\r=1\""},
        {"=1,2", "\"'=1,2\""},
        {"-5", "-5"},
        {"+3.25", "+3.25"},
        {"-1,5", "\"-1,5\""},
        {"-2e10", "-2e10"},
        {"a=b", "a=b"},
        {"", ""},
        {" =1", " =1"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(csvExportField(QString::fromUtf8(c.value)), QString::fromUtf8(c.written)) << c.value;
    // A zero byte is written as the grid shows it, and cannot hide a formula behind it.
    EXPECT_EQ(csvExportField(QString::fromUtf8("a\0b", 3)), QString::fromUtf8("a\u2400b"));
    EXPECT_EQ(csvExportField(QString::fromUtf8("=\0", 2)), QString::fromUtf8("'=\u2400"));

    EXPECT_EQ(csvExportPath(QStringLiteral("/tmp/export")), QStringLiteral("/tmp/export.csv"));
    EXPECT_EQ(csvExportPath(QStringLiteral("/tmp/export.csv")), QStringLiteral("/tmp/export.csv"));
    EXPECT_EQ(csvExportPath(QStringLiteral("/tmp/export.txt")), QStringLiteral("/tmp/export.txt"));
    EXPECT_EQ(csvExportPath(QStringLiteral("/tmp/v1.2/export")), QStringLiteral("/tmp/v1.2/export.csv"));
}

TEST(GridView, HeaderShownWhileOneRowIsFixedAndWidthsFollowTheColumns)
{
    StringGrid grid;
    EXPECT_TRUE(grid.horizontalHeader()->isVisibleTo(&grid));
    EXPECT_FALSE(grid.verticalHeader()->isVisibleTo(&grid));
    EXPECT_EQ(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(grid.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    grid.setRowCount(1);
    EXPECT_FALSE(grid.horizontalHeader()->isVisibleTo(&grid));
    grid.setRowCount(2);
    grid.setFixedRows(1);
    EXPECT_TRUE(grid.horizontalHeader()->isVisibleTo(&grid));

    grid.setColCount(5);
    EXPECT_EQ(grid.columnWidth(1), 119);
    EXPECT_EQ(grid.columnWidth(4), 100);
}

TEST(GridView, ADoubleClickOnAHeaderEdgeFitsTheColumnToItsContent)
{
    StringGrid grid;
    grid.resize(600, 200);
    grid.show();
    grid.setCell(0, 1, QStringLiteral("2024-01-01 12:34:56.789012 et encore du texte"));
    QHeaderView *header = grid.horizontalHeader();
    const int before = grid.columnWidth(0);
    const QPoint edge(header->sectionViewportPosition(0) + header->sectionSize(0) - 1, header->height() / 2);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, edge);
    EXPECT_GT(grid.columnWidth(0), before);
    EXPECT_GE(grid.columnWidth(0), grid.fontMetrics().horizontalAdvance(grid.cell(0, 1)));
}

} // namespace

ONDREL_QT_TEST_MAIN
