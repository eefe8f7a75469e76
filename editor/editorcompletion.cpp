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
    connect(editor, &Base::SCN_MODIFIED, this, &EditorCompletion::noteModified);
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
    if (!m_editor->lexing()->active() || caret == 0)
        return inStringOrComment(beforeCaret);
    // The lexer's styles up to the caret: a typed byte has none until they are brought up to date.
    const qsizetype styled = m_editor->SendScintilla(QsciScintillaBase::SCI_GETENDSTYLED);
    if (styled < caret)
        m_editor->recolor(int(styled), int(caret));
    const PhpStyleKind kind = m_editor->lexing()->styleKindAt(caret - 1);
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

    // Three sorted runs merged, the name being typed itself left out.
    CompletionIndex lineNames;
    lineNames.addNamesOf(m_editor->decode(line));
    lineNames.finish();
    const auto fromLists = listsIndex().matching(prefix);
    const auto fromAround = namesAround().matching(prefix);
    const auto fromLine = lineNames.matching(prefix);
    const auto byName = [](const CompletionEntry *a, const CompletionEntry *b) {
        return QString::compare(a->name, b->name, Qt::CaseInsensitive) < 0;
    };
    std::vector<const CompletionEntry *> fromText;
    fromText.reserve(fromAround.size() + fromLine.size());
    std::merge(fromAround.begin(), fromAround.end(), fromLine.begin(), fromLine.end(), std::back_inserter(fromText), byName);
    std::vector<const CompletionEntry *> entries;
    entries.reserve(fromLists.size() + fromText.size());
    std::merge(fromLists.begin(), fromLists.end(), fromText.begin(), fromText.end(), std::back_inserter(entries), byName);
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

void EditorCompletion::noteModified(int position, int type, const char *, int, int linesAdded)
{
    using Base = QsciScintillaBase;
    if (!(type & (Base::SC_MOD_INSERTTEXT | Base::SC_MOD_DELETETEXT)) || m_aroundKey.line < 0)
        return;
    if (linesAdded != 0 || m_editor->lineOfOffset(position) != m_aroundKey.line)
        m_aroundKey.line = -1; // an edit off the caret's line: its names are read again
}

const CompletionIndex &EditorCompletion::namesAround()
{
    using Base = QsciScintillaBase;
    const qsizetype caret = m_editor->selStart();
    AroundKey key;
    key.document = m_editor->SendScintilla(Base::SCI_GETDOCPOINTER);
    key.line = m_editor->lineOfOffset(caret);
    key.lines = m_editor->lineCount();
    const qsizetype lineStart = m_editor->lineStartOffset(key.line);
    const qsizetype lineEnd = m_editor->SendScintilla(Base::SCI_GETLINEENDPOSITION, static_cast<unsigned long>(key.line));
    key.rest = m_editor->textLength() - (lineEnd - lineStart);
    if (key == m_aroundKey)
        return m_around;
    // The caret's line is left out: the names typed there change at each key.
    const qsizetype from = std::max<qsizetype>(0, caret - kNamesAround);
    const qsizetype to = std::min(m_editor->textLength(), caret + kNamesAround);
    QByteArray text;
    text.reserve(to - from);
    const std::string_view before = m_editor->range(from, std::max<qsizetype>(0, lineStart - from));
    text.append(before.data(), qsizetype(before.size())); // copied before the next read may move the text
    const std::string_view after = m_editor->range(std::min(lineEnd, to), std::max<qsizetype>(0, to - lineEnd));
    text.append(after.data(), qsizetype(after.size()));
    m_around = CompletionIndex();
    m_around.addNamesOf(m_editor->decode(text));
    m_around.finish();
    m_aroundKey = key;
    return m_around;
}

QString EditorCompletion::definitionAround(const QString &name)
{
    if (name.isEmpty() || name.startsWith(u'$'))
        return {};
    const QByteArray line = m_editor->lineText(m_editor->lineOfOffset(m_editor->selStart()));
    if (line.toLower().contains("function")) { // read at every key: the search itself is costly
        const QString onLine = definitionSignature(m_editor->decode(line), name);
        if (!onLine.isEmpty())
            return onLine;
    }
    for (const CompletionEntry *entry : namesAround().matching(name)) {
        // A function's entry shows its definition after its name; a name alone is a variable's.
        if (entry->name.compare(name, Qt::CaseInsensitive) == 0 && entry->shown.mid(entry->name.size()).startsWith(u'('))
            return name + entry->shown.mid(entry->name.size());
    }
    return {};
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
