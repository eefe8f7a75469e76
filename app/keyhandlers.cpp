// Keys of the editor page: save, find and replace, go to a line; and the title's
// unsaved-changes mark.
#include "app/main.h"
#include "app/sessioncontroller.h"

#include "editor/findbar.h"
#include "editor/richedit.h"
#include "search/sitesearch.h"

#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>

namespace {

EditorSearch::Options searchOptions(const FindBar *bar)
{
    return {bar->matchCase->isChecked(), bar->wholeWord->isChecked(), bar->regex->isChecked()};
}

constexpr qsizetype kMaxInitialSearch = 200; // a longer selection is not put in the find field

} // namespace

void TfmMain::saveKey()
{
    m_session->saveEditedFile(); // throws, with the file left as it was, when it cannot be written
}

void TfmMain::openFindBar(bool replace)
{
    QString initial;
    const qsizetype length = M->selLength();
    if (length > 0 && length <= kMaxInitialSearch) {
        const std::string_view selected = M->range(M->selStart(), length);
        if (selected.find('\r') == std::string_view::npos)
            initial = M->decode(QByteArray(selected.data(), length));
    }
    findBar->open(replace, initial);
}

void TfmMain::findNextMatch(bool backwards)
{
    if (findBar->findEdit->text().isEmpty()) {
        openFindBar(findBar->isVisible() && findBar->replaceShown());
        return;
    }
    runFind(backwards ? FindRequest::Kind::Previous : FindRequest::Kind::Next);
}

void TfmMain::replaceMatch()
{
    runFind(FindRequest::Kind::ReplaceSelected);
}

void TfmMain::replaceAllMatches()
{
    runFind(FindRequest::Kind::ReplaceAll);
}

void TfmMain::runFind(FindRequest::Kind kind)
{
    if (findBar->findEdit->text().isEmpty())
        return;
    findBar->run(M->search()->request(kind, findBar->findEdit->text(), findBar->replaceEdit->text(), searchOptions(findBar)));
}

void TfmMain::findFinished(const FindRequest &request, const FindResult &result)
{
    if (!M->search()->applyFound(request, result)) {
        findBar->setStatus(QStringLiteral("Le texte a changé pendant la recherche : rien n'est fait, relancez-la"));
        return;
    }
    findBar->setStatus(findOutcomeText(request, result));
    if (result.matchStart >= 0) // shown while the find bar keeps the focus; hidden again when the editor loses it
        M->SendScintilla(QsciScintillaBase::SCI_HIDESELECTION, 0L);
}

void TfmMain::closeFindBar()
{
    findBar->cancelRun();
    findBar->hide();
    M->setFocus(Qt::ShortcutFocusReason);
}

void TfmMain::goToLine()
{
    QInputDialog dialog(this);
    dialog.setObjectName(QStringLiteral("allerALaLigne"));
    dialog.setWindowTitle(QStringLiteral("Aller à la ligne"));
    dialog.setLabelText(QStringLiteral("Numéro de ligne (1 à %1) :").arg(M->lineCount()));
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(1, M->lineCount());
    dialog.setIntValue(M->caretPosition().y + 1);
    dialog.setOkButtonText(QStringLiteral("Aller"));
    dialog.setCancelButtonText(QStringLiteral("Annuler"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    siteSearch->leavePlace(); // Alt+Left comes back
    M->setSelStart(M->lineStartOffset(dialog.intValue() - 1));
    M->setSelLength(0); // scrolls the line into view
    M->setFocus();
}

void TfmMain::showUnsavedMark()
{
    QString title = windowTitle();
    if (m_titleMarked && title.startsWith(u'*'))
        title.remove(0, 1);
    m_titleMarked = M->isModified();
    setWindowTitle(m_titleMarked ? u'*' + title : title);
    m_session->labelFileTabs(); // the tab shows the mark too
}
