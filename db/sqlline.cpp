// The statement line reads like SQL. A line edit has no styles of its own; the
// formats go in as an input method's would, attributes that the line edit draws
// over its text and keeps until the text changes again.
#include "db/sqlline.h"

#include "db/sqlnames.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QLineEdit>

#include <algorithm>
#include <memory>

namespace {

QTextCharFormat formatOf(SqlTokenKind kind)
{
    QTextCharFormat format;
    switch (kind) {
    case SqlTokenKind::Keyword:
        format.setForeground(QColor(0x00, 0x33, 0xB3));
        format.setFontWeight(QFont::Bold);
        break;
    case SqlTokenKind::String:
        format.setForeground(QColor(0xA3, 0x15, 0x15));
        break;
    case SqlTokenKind::Number:
        format.setForeground(QColor(0x09, 0x86, 0x58));
        break;
    case SqlTokenKind::Comment:
        format.setForeground(QColor(0x80, 0x80, 0x80));
        format.setFontItalic(true);
        break;
    case SqlTokenKind::Identifier:
        format.setForeground(QColor(0x00, 0x62, 0x7A));
        break;
    }
    return format;
}

// A line edit lays out every format it is given, seen or not: on a long statement
// only the part around the caret, wider than any line edit shows, is coloured.
constexpr qsizetype kColouredAround = 1500;

struct LineColours
{
    QList<QTextLayout::FormatRange> all; // of the whole text
    qsizetype from = 0, to = -1;         // the part coloured now
};

void applyFormats(QLineEdit *edit, LineColours &colours)
{
    // Attribute positions count from the caret.
    const int caret = edit->cursorPosition();
    colours.from = std::max<qsizetype>(0, caret - kColouredAround);
    colours.to = caret + kColouredAround;
    QList<QInputMethodEvent::Attribute> attributes;
    for (const QTextLayout::FormatRange &range : std::as_const(colours.all)) {
        if (range.start + range.length >= colours.from && range.start <= colours.to)
            attributes.append({QInputMethodEvent::TextFormat, range.start - caret, range.length, range.format});
    }
    QInputMethodEvent event(QString(), attributes);
    QCoreApplication::sendEvent(edit, &event);
}

} // namespace

QList<QTextLayout::FormatRange> sqlFormats(QStringView text)
{
    static const QTextCharFormat formats[] = {formatOf(SqlTokenKind::Keyword), formatOf(SqlTokenKind::String),
                                              formatOf(SqlTokenKind::Number), formatOf(SqlTokenKind::Comment),
                                              formatOf(SqlTokenKind::Identifier)};
    QList<QTextLayout::FormatRange> ranges;
    const std::vector<SqlToken> tokens = sqlTokens(text);
    ranges.reserve(qsizetype(tokens.size()));
    for (const SqlToken &token : tokens)
        ranges.append({int(token.start), int(token.length), formats[int(token.kind)]});
    return ranges;
}

void colourSqlAsTyped(QLineEdit *edit)
{
    auto colours = std::make_shared<LineColours>();
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit, colours](const QString &text) {
        colours->all = sqlFormats(text);
        applyFormats(edit, *colours);
    });
    QObject::connect(edit, &QLineEdit::cursorPositionChanged, edit, [edit, colours](int, int caret) {
        // Far enough from the coloured part that it may soon be seen.
        if (caret - kColouredAround / 2 < colours->from || caret + kColouredAround / 2 > colours->to)
            applyFormats(edit, *colours);
    });
}
