#pragma once

#include "editor/colouring.h"
#include "editor/csstokens.h"

/**
 * The colours of "Coloration PHP": what each kind of token of a PHP page is drawn
 * in, worked out from the editor's background ("Fond") and text colour ("Police"),
 * so that the user's own choice of the two stays the frame of every other colour.
 */
enum class PhpStyleKind : std::uint8_t {
    Plain,     // text between tags, PHP's identifiers: the text colour
    Keyword,   // if, while, function, echo
    String,    // quoted strings, heredoc and nowdoc
    Comment,   // every kind of comment
    Number,
    Variable,  // $name, also inside a double-quoted string
    Tag,       // HTML tags, and PHP's opening and closing tags
    Attribute, // HTML attribute names
    Operator,  // punctuation of the code
    Error,     // what the lexer finds wrong (an unknown SGML construct)
};

/**
 * The colour of `kind` over `background`: a hue of its own per kind, darkened on a
 * light background and lightened on a dark one until it reads against it (a
 * contrast ratio of at least 4.5, 3 for comments, which are meant to recede).
 * Plain and operators take `text` itself.
 */
Colour phpTokenColour(PhpStyleKind kind, Colour background, Colour text);

/**
 * The kind whose colour each kind of CSS token takes: selectors as tags, properties
 * as attributes, the words of a value as variables, at-rules as keywords.
 */
PhpStyleKind paletteKindOf(CssKind kind);

/** The contrast ratio of two colours (1 to 21), as the usual readability rule counts it. */
double contrastRatio(Colour a, Colour b);
