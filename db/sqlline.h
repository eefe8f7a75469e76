#pragma once

#include <QList>
#include <QStringView>
#include <QTextLayout>

class QLineEdit;

/** The colours of a statement's pieces (sqlTokens()): keywords, strings, numbers, comments, names. */
QList<QTextLayout::FormatRange> sqlFormats(QStringView text);

/** Colours the SQL in `edit` whenever its text changes, however it changes. */
void colourSqlAsTyped(QLineEdit *edit);
