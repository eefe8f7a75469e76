#pragma once

#include <QString>
#include <QStringList>

#include <vector>

/**
 * The names the completion list offers while typing: the functions and
 * constants of the keyword lists (the user's, then PHP's), PHP's keywords, and
 * the $variables and functions of the edited text. Each entry is shown as its
 * signature when it has one, else as its name; its name is what is typed in.
 */
struct CompletionEntry
{
    QString name;  // "str_replace", "$total", "foreach"
    QString shown; // "str_replace(array|string $search, ...): array|string", or the name
};

class CompletionIndex
{
public:
    /**
     * Adds the functions and constants of a keyword list, one signature a line:
     * the name is what comes before "(" or " = "; class methods ("PDO::prepare")
     * and lines that name nothing are left out.
     */
    void addKeywordList(const QString &list);
    /** Adds PHP's reserved words (if, foreach, function, ...). */
    void addPhpKeywords();
    /** Adds the $variables of `text` and the functions it defines, with their definitions. */
    void addNamesOf(const QString &text);
    /** Sorts the entries by name without letter case; of two equal names the first added stays. */
    void finish();
    /** The entries whose name starts with `prefix`, letter case ignored, in order (after finish). */
    std::vector<const CompletionEntry *> matching(const QString &prefix) const;
    qsizetype size() const { return qsizetype(m_entries.size()); }

private:
    std::vector<CompletionEntry> m_entries;
};

/** A character that may be part of a PHP name: a letter, a digit, "_" or anything above 0x7F. */
bool isPhpNameCharacter(QChar c);

/** The name typed just before the caret: letters, digits, "_" (and bytes above 0x7F), with a leading "$". */
QString nameBeforeCaret(const QString &beforeCaret);

/**
 * The signature of the function `name` as the text `text` defines it
 * ("function name($a, $b = 1): int"), as "name($a, $b = 1): int", followed by
 * " — " and the first line of its doc comment when one stands just before the
 * definition. Null when `text` defines no such function. Letter case is ignored,
 * as PHP does for function names.
 */
QString definitionSignature(const QString &text, const QString &name);
