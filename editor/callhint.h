#pragma once

#include <QString>
#include <QStringList>

/**
 * The parameter being typed: between the brackets of a call, which parameter of
 * which function the caret stands in, read from the text of the caret's line
 * before the caret. Commas inside strings, inside nested calls and inside
 * array brackets do not count; in a comment there is no call.
 */
struct CallAtCaret
{
    QString word;       // as the hint's word: the name with what the scan keeps before it, and "("
    int parameter = -1; // 0-based; -1 when the caret stands in no call
    bool isCall() const { return parameter >= 0; }
};

/**
 * The innermost call whose "(" is open before the caret; `beforeCaret` is the text up to the
 * caret, its line or a few lines from the start of one (a call spread over several lines).
 */
CallAtCaret callAtCaret(const QString &beforeCaret);

/** True when the caret, at the end of `beforeCaret` (its line up to it), stands in a string or a comment. */
bool inStringOrComment(const QString &beforeCaret);

/**
 * The signature `signature` ("name(a, b = 1, ...$c): type") as rich text, every
 * character escaped, with parameter `index` in bold; past the last parameter a
 * variadic last one stays bold. Plain escaped text when there is no such parameter.
 */
QString signatureWithParameter(const QString &signature, int index);

/** The parameters of `signature`'s list as written ("array|string $search", "&$count = null"). */
QStringList signatureParameters(const QString &signature);

/** What follows the list's ")" after ": " (the return type); empty when nothing does. */
QString signatureReturnType(const QString &signature);
