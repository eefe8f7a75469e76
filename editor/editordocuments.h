#pragma once

#include "editor/bytespan.h"
#include "editor/errormarks.h"

#include <QtGlobal>

#include <vector>

class QsciDocument;
class RichEdit;
struct TextForm;

/**
 * Several texts in one control: each open file has a document of its own, and the
 * control shows one at a time. What the control keeps beside the text (the caret and
 * view, the error marks, the state of long lines and of the lexer) is put aside when
 * a text is left and given back when it is shown again. Owned by the editor.
 */
class EditorDocuments
{
public:
    /** What the control keeps of a text while it shows another. */
    struct ShownState
    {
        bool valid = false; // false: a text never shown
        qsizetype anchor = 0, caret = 0;
        int firstLine = 0;
        int xOffset = 0;
        std::vector<ErrorMarks::Mark> marks;
        bool onlyCrLf = true;
        bool asciiShown = false;
        bool longLines = false;
        ByteSpan window;
        bool characterIndex = false;
        bool lexed = false;
        quint64 styleGeneration = 0;
    };

    explicit EditorDocuments(RichEdit &edit);

    /** Leaves the text shown now: what the control kept of it, for show. */
    ShownState leave();
    /**
     * Shows `document`, whose file has the form `form` (null: the control's own blank
     * form), as it was when it was left (`state`), or as a new text when `state` is a
     * default one.
     */
    void show(const QsciDocument &document, TextForm *form, ShownState state);

private:
    RichEdit &m_edit;
};
