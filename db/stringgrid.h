#pragma once

#include <QTableView>

/** The result grid `sg`: a view over a model with the string-grid semantics. */
class StringGrid : public QTableView
{
    Q_OBJECT
public:
    explicit StringGrid(QWidget *parent = nullptr);
};
