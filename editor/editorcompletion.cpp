#include "editor/editorcompletion.h"

#include "editor/callhint.h"
#include "editor/richedit.h"

#include <QKeySequence>
#include <QShortcut>

namespace {

constexpr int kLettersBeforeOpening = 2;
constexpr int kShownLines = 12;
// The list box fills one item per name: 10,000 of them take a quarter of a
// second. Past this many the list shows the first ones and is made again at
// each letter typed, until the rest fit.
constexpr int kMaxListed = 300;
constexpr char kSeparator = '\n';     // signatures hold spaces, Scintilla's default separator
constexpr char kTypeSeparator = '\x01'; // and "?" (nullable types), its default mark of an image

bool isNameByte(int ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_' || ch == '$'
           || ch >= 0x80;
}

} // namespace

EditorCompletion::EditorCompletion(RichEdit *editor, KeywordLists lists)
    : QObject(editor)
    , m_editor(editor)
    , m_lists(std::move(lists))
{
    using Base = QsciScintillaBase;
    editor->SendScintilla(Base::SCI_AUTOCSETSEPARATOR, static_cast<unsigned long>(kSeparator));
    editor->SendScintilla(Base::SCI_AUTOCSETTYPESEPARATOR, static_cast<unsigned long>(kTypeSeparator));
    editor->SendScintilla(Base::SCI_AUTOCSETIGNORECASE, 1L);
    editor->SendScintilla(Base::SCI_AUTOCSETORDER, static_cast<unsigned long>(Base::SC_ORDER_PRESORTED));
    editor->SendScintilla(Base::SCI_AUTOCSETMAXHEIGHT, static_cast<unsigned long>(kShownLines));
    editor->SendScintilla(Base::SCI_AUTOCSETCHOOSESINGLE, 0L);
    // Anything that cannot be part of a name closes the list.
    editor->SendScintilla(Base::SCI_AUTOCSTOPS, 0UL, " \t()[]{};,.=+-*/<>!&|'\"?:%@^~#\\");
    connect(editor, &Base::SCN_CHARADDED, this, &EditorCompletion::charAdded);
    connect(editor, qOverload<const char *, int>(&Base::SCN_AUTOCSELECTION), this, &EditorCompletion::accept);
    auto *shortcut = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Space")), editor, nullptr, nullptr, Qt::WidgetShortcut);
    connect(shortcut, &QShortcut::activated, this, &EditorCompletion::openNow);
}

bool EditorCompletion::isOpen() const
{
    return m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCACTIVE) != 0;
}

void EditorCompletion::openNow()
{
    open(0);
}

void EditorCompletion::charAdded(int ch)
{
    if (!isNameByte(ch))
        return;
    if (!isOpen()) {
        open(kLettersBeforeOpening);
    } else if (m_capped) {
        m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCCANCEL);
        open(0);
    }
}

const CompletionIndex &EditorCompletion::listsIndex()
{
    std::pair<QString, QString> lists = m_lists ? m_lists() : std::pair<QString, QString>();
    if (!m_indexBuilt || lists != m_indexed) {
        m_index = CompletionIndex();
        m_index.addKeywordList(lists.first);
        m_index.addKeywordList(lists.second);
        m_index.addPhpKeywords();
        m_index.finish();
        m_indexed = std::move(lists);
        m_indexBuilt = true;
    }
    return m_index;
}

bool EditorCompletion::caretInStringOrComment(const QString &beforeCaret) const
{
    const qsizetype caret = m_editor->selStart();
    if (!m_editor->phpLexing() || caret == 0)
        return inStringOrComment(beforeCaret);
    // The lexer's styles up to the caret: a typed byte has none until they are brought up to date.
    const qsizetype styled = m_editor->SendScintilla(QsciScintillaBase::SCI_GETENDSTYLED);
    if (styled < caret)
        m_editor->recolor(int(styled), int(caret));
    const PhpStyleKind kind = m_editor->phpStyleKindAt(caret - 1);
    return kind == PhpStyleKind::String || kind == PhpStyleKind::Comment;
}

void EditorCompletion::open(int minimumLength)
{
    const qsizetype caret = m_editor->selStart();
    const RichEdit::CaretPos pos = m_editor->caretPosition();
    const QByteArray line = m_editor->lineText(pos.y);
    if (pos.x > line.size())
        return; // far into a long line: no completion there
    const QString beforeCaret = m_editor->decode(line.left(pos.x));
    const QString prefix = nameBeforeCaret(beforeCaret);
    if (prefix.size() < minimumLength)
        return;
    // Typing on in a name offers it once: a list that closed for want of a match stays closed.
    const qsizetype wordStart = caret - m_editor->encode(prefix).size();
    if (minimumLength > 0 && wordStart == m_offered.first && prefix.size() > m_offered.second.size()
        && prefix.startsWith(m_offered.second))
        return;
    m_offered = {wordStart, prefix};
    if (caretInStringOrComment(beforeCaret))
        return;

    CompletionIndex names;
    const qsizetype from = std::max<qsizetype>(0, caret - kNamesAround);
    const qsizetype to = std::min(m_editor->textLength(), caret + kNamesAround);
    const std::string_view around = m_editor->range(from, to - from);
    names.addNamesOf(m_editor->decode(QByteArray(around.data(), qsizetype(around.size()))));
    names.finish();

    // The two sorted runs merged, the name being typed itself left out.
    const auto fromLists = listsIndex().matching(prefix);
    const auto fromText = names.matching(prefix);
    std::vector<const CompletionEntry *> entries;
    entries.reserve(fromLists.size() + fromText.size());
    std::merge(fromLists.begin(), fromLists.end(), fromText.begin(), fromText.end(), std::back_inserter(entries),
               [](const CompletionEntry *a, const CompletionEntry *b) {
                   return QString::compare(a->name, b->name, Qt::CaseInsensitive) < 0;
               });
    QByteArray list;
    QString previous;
    int listed = 0;
    m_capped = false;
    for (const CompletionEntry *entry : entries) {
        if (entry->name == prefix || entry->shown == previous)
            continue;
        if (++listed > kMaxListed) {
            m_capped = true;
            break;
        }
        if (!list.isEmpty())
            list += kSeparator;
        list += m_editor->encode(entry->shown);
        previous = entry->shown;
    }
    if (list.isEmpty())
        return;
    m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCSHOW, static_cast<unsigned long>(m_editor->encode(prefix).size()),
                            list.constData());
}

void EditorCompletion::accept(const char *shown, int position)
{
    // Only the name goes in: the signature is there to be read.
    m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCCANCEL);
    const QString text = m_editor->decode(QByteArray(shown));
    qsizetype end = text.startsWith(u'$') ? 1 : 0;
    while (end < text.size() && isPhpNameCharacter(text[end]))
        ++end;
    const QString name = text.left(end);
    const long caret = m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS);
    const QByteArray bytes = m_editor->encode(name);
    m_editor->SendScintilla(QsciScintillaBase::SCI_SETTARGETRANGE, static_cast<unsigned long>(position), caret);
    m_editor->SendScintilla(QsciScintillaBase::SCI_REPLACETARGET, static_cast<unsigned long>(bytes.size()), bytes.constData());
    m_editor->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, static_cast<unsigned long>(position + bytes.size()));
}
