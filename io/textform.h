#pragma once

#include <QByteArray>

/**
 * How a file's text goes back to disk: its encoding and the line breaks it was
 * loaded with. The editor holds the text with CR LF breaks and as UTF-8; the
 * form says what to turn it back into.
 */
struct TextForm
{
    QByteArray lineBreak;     // the style of the file's first line break; empty: LF
    /**
     * Only when the file mixes styles: each line's own break (LineBreakKind), one
     * entry per line of the text; empty otherwise.
     */
    QByteArray breaks;
    bool windows1252 = false; // not UTF-8: shown as Windows-1252, written back byte for byte
    bool binary = false;      // a NUL byte or a UTF-16/32 mark: shown read-only, never written

    /**
     * Keeps `breaks` in step with an edit that added (or, negative, removed)
     * `linesAdded` lines at line `line`: new lines take the file's first style,
     * and a line joined to the next takes the next one's break.
     */
    void noteLinesChanged(int line, int linesAdded);
};
