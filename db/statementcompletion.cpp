#include "db/statementcompletion.h"

#include "db/schematree.h"
#include "db/sqlnames.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QKeyEvent>
#include <QStringListModel>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr int kMostOffered = 200;
constexpr int kLettersBeforeOffer = 2;

/** The names in alphabetical order, letter case ignored (each folded once, not at every comparison). */
QStringList sortedIgnoringCase(const QStringList &names)
{
    std::vector<std::pair<QString, const QString *>> keyed;
    keyed.reserve(size_t(names.size()));
    for (const QString &name : names)
        keyed.emplace_back(name.toCaseFolded(), &name);
    std::sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
        return a.first != b.first ? a.first < b.first : *a.second < *b.second;
    });
    QStringList sorted;
    sorted.reserve(names.size());
    for (const auto &entry : keyed)
        sorted.append(*entry.second);
    return sorted;
}

} // namespace

StatementCompletion::StatementCompletion(QLineEdit *line, SchemaTree *schema)
    : QObject(schema)
    , m_line(line)
    , m_schema(schema)
    , m_completer(new QCompleter(this))
    , m_model(new QStringListModel(this))
{
    setObjectName(QStringLiteral("completionRequete"));
    m_completer->setModel(m_model);
    m_completer->setWidget(line);
    m_completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion); // the list is filtered here
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->popup()->setObjectName(QStringLiteral("listeCompletion"));
    line->installEventFilter(this); // Ctrl+Space
    connect(line, &QLineEdit::textEdited, this, &StatementCompletion::textEdited);
    connect(schema, &SchemaTree::loaded, this, &StatementCompletion::schemaLoaded);
    connect(m_completer, qOverload<const QString &>(&QCompleter::activated), this, &StatementCompletion::chosen);
}

bool StatementCompletion::eventFilter(QObject *watched, QEvent *event)
{
    // The event's type first: while the line is taken down it still gets events,
    // and reading the guarded pointer then casts a half-destroyed widget.
    if (event->type() == QEvent::KeyPress && watched == m_line) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Space && (key->modifiers() & Qt::ControlModifier)) {
            offer(true);
            return true; // no space typed
        }
    }
    return QObject::eventFilter(watched, event);
}

void StatementCompletion::textEdited()
{
    offer(false);
}

void StatementCompletion::schemaLoaded()
{
    m_offerable.clear();
    // The columns asked for have come: offer them if the user is still after them.
    if (m_waitingFor.isEmpty() || !m_line || !m_line->isVisible())
        return;
    const CompletionWord word = completionWord(m_line->text(), m_line->cursorPosition());
    if (word.qualifier.compare(m_waitingFor, Qt::CaseInsensitive) == 0 && m_schema
        && !m_schema->columnsOf(m_waitingFor).isEmpty())
        offer(true);
}

void StatementCompletion::offer(bool forced)
{
    if (!m_line || !m_schema)
        return;
    const CompletionWord word = completionWord(m_line->text(), m_line->cursorPosition());
    QStringList names;
    m_waitingFor.clear();
    if (!word.qualifier.isEmpty()) { // "table.": its columns
        names = m_schema->columnsOf(word.qualifier);
        if (names.isEmpty()) {
            m_waitingFor = word.qualifier;
            m_schema->loadColumnsOf(word.qualifier);
        }
    } else if (forced || word.prefix.size() >= kLettersBeforeOffer) {
        if (m_offerable.isEmpty())
            m_offerable = sortedIgnoringCase(m_schema->names() + sqlKeywords());
        names = m_offerable;
    }
    const QStringList offered = namesStartingWith(names, word.prefix, kMostOffered);
    if (offered.isEmpty()) {
        m_completer->popup()->hide();
        return;
    }
    m_start = word.start;
    m_model->setStringList(offered);
    QRect at = m_line->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    at.setWidth(m_completer->popup()->sizeHintForColumn(0) + 24);
    m_completer->complete(at);
    m_completer->popup()->setCurrentIndex(m_model->index(0));
}

void StatementCompletion::chosen(const QString &name)
{
    if (!m_line)
        return;
    const bool keyword = sqlKeywords().contains(name);
    const QString inserted = keyword ? name : quotedIdentifier(name);
    const QString text = m_line->text();
    const qsizetype caret = m_line->cursorPosition();
    const qsizetype start = std::clamp<qsizetype>(m_start, 0, caret);
    m_line->setText(text.left(start) + inserted + text.mid(caret));
    m_line->setCursorPosition(int(start + inserted.size()));
}
