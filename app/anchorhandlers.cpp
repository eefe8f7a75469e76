// The five line anchors of the edited file, shown on the editor page's buttons: a
// right or middle click stores the caret's line in the button's caption, a left
// click jumps back to that line.
#include "app/main.h"
#include "app/sessioncontroller.h"

#include "widgets/widgets.h"
#include "editor/landing.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "search/sitesearch.h"

#include <algorithm>
#include <iterator>

namespace {

/** landingOffset, through the control's line index while every line break is CR LF. */
qsizetype anchorLanding(const RichEdit *m, qint64 number)
{
    if (!m->onlyCrLfBreaks())
        return landingOffset(m->wholeText(), number); // a lone CR or LF: count CRs the long way
    if (number <= 1)
        return 0;
    if (number - 1 >= m->lineCount())
        return m->textLength();
    return m->lineStartOffset(static_cast<int>(number - 1));
}

} // namespace

void TfmMain::SpeedButton8MouseUp(SpeedButton *sender, Qt::MouseButton button)
{
    const int line = M->caretPosition().y;
    if (button != Qt::LeftButton) {
        const SpeedButton *anchors[] = {SpeedButton8, SpeedButton9, SpeedButton10, SpeedButton11, SpeedButton12};
        const auto *found = std::find(std::begin(anchors), std::end(anchors), sender);
        if (found != std::end(anchors))
            m_session->editedFile()->setAnchor(int(found - std::begin(anchors)), QString::number(line + 1)); // the file's own
        sender->setText(QString::number(line + 1));
        return;
    }
    bool ok = false;
    qint64 number = sender->text().toLongLong(&ok);
    if (!ok)
        number = 0;
    siteSearch->leavePlace(); // Alt+Left comes back
    M->setSelStart(anchorLanding(M, number));
    M->setSelLength(1);
}
