#include "db/stringgrid.h"

StringGrid::StringGrid(QWidget *parent)
    : QTableView(parent)
{
}
