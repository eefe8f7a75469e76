// Caret read-out, function hint and context help of the source editor, and its keys.
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "base/virtualkeys.h"

#include "base/errors.h"
#include "editor/callhint.h"
#include "editor/completion.h"
#include "widgets/widgets.h"
#include "editor/contexthelp.h"
#include "editor/editorcompletion.h"
#include "editor/phphelppage.h"
#include "editor/phpsignatures.h"
#include "editor/phpsignaturesource.h"
#include "editor/richedit.h"
#include "io/readfile.h"
#include "io/recovery.h"
#include "io/savefile.h"
#include "preview/webbrowser.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

/** A caption that grows with its text, as the read-out and the hint need. */
void setCaption(QLabel *label, const QString &text)
{
    label->setText(text);
    label->adjustSize();
}

/**
 * Shows `text` in the hint in `format`. The label is touched only when either
 * changes: the caret's line is read again at every key, and laying out a rich
 * text anew costs more than all the rest of the key.
 */
void setHint(QLabel *hint, const QString &text, Qt::TextFormat format)
{
    if (hint->textFormat() == format && hint->text() == text)
        return;
    if (hint->textFormat() != format) {
        hint->clear(); // a change of format would lay the old text out once more
        hint->setTextFormat(format);
    }
    setCaption(hint, text);
}

constexpr int kHelpButtonWidth = 145;
constexpr int kHintLeft = 152;

/** Shows what the help button offers; a long function name widens it and moves the hint along. */
void offer(SpeedButton *button, QLabel *hint, const QString &caption, const QString &path)
{
    button->setText(caption);
    button->setToolTip(path);
    button->resize(std::max(kHelpButtonWidth, button->sizeHint().width()), button->height());
    hint->move(std::max(kHintLeft, button->geometry().right() + 8), hint->y());
    button->setVisible(true);
}

/** Lines above the caret's that the parameter hint reads, for a call spread over several. */
constexpr int kCallLinesAbove = 10;
constexpr qsizetype kCallBytesAbove = 4096;

/** The text from the start of a line at most kCallLinesAbove above the caret's, to the caret. */
QString textBeforeCaretForCall(RichEdit *editor, const RichEdit::CaretPos &caret, const QByteArray &line)
{
    const QByteArray own = line.left(caret.x);
    if (caret.y == 0)
        return editor->decode(own);
    const qsizetype lineStart = editor->lineStartOffset(caret.y);
    qsizetype from = std::max(editor->lineStartOffset(std::max(0, caret.y - kCallLinesAbove)), lineStart - kCallBytesAbove);
    const std::string_view above = editor->range(from, lineStart - from);
    QByteArray text(above.data(), qsizetype(above.size()));
    if (from != editor->lineStartOffset(editor->lineOfOffset(from))) {
        const qsizetype newline = text.indexOf('\n'); // from the start of a line only
        text = newline < 0 ? QByteArray() : text.mid(newline + 1);
    }
    return editor->decode(text + own);
}

} // namespace

void TfmMain::Ligne()
{
    const RichEdit::CaretPos caret = M->caretPosition();
    const QByteArray line = M->lineText(caret.y);
    m_reflectionHelp.clear();

    // Index offer.
    const QString index = eAide->text() + QStringLiteral("index.html");
    if (isExistingFile(index))
        offer(sbAide, Label6, QStringLiteral("Index de l'aide (F1)"), index);
    else
        sbAide->setVisible(false);

    // Function offer, while the caret stands just after the "(" of a call.
    const QByteArray word = functionWord(line, caret.x);
    if (!word.isEmpty()) {
        const QString typed = M->decode(word);
        setHint(Label6, signatureOf(typed), Qt::PlainText);
        const QString name = typed.chopped(1);
        // FichierAide: the first manual page of the function that exists.
        QString page;
        for (const QString &candidate : helpPageCandidates(eAide->text(), name)) {
            if (isExistingFile(candidate)) {
                page = candidate;
                break;
            }
        }
        if (!page.isEmpty())
            offer(sbAide, Label6, QStringLiteral("Aide sur \"%1\" (F1)").arg(name), page);
        else
            noteReflectionHelp(typed);
    } else if (caret.x <= line.size()) {
        showParameterBeingTyped(textBeforeCaretForCall(M, caret, line));
    } else {
        setHint(Label6, QString(), Qt::PlainText); // far into a long line
    }

    // Positions count the file's characters (a Windows-1252 file is held as UTF-8).
    const qsizetype lineStart = M->lineStartOffset(caret.y);
    const qsizetype column = M->fileOffset(lineStart + caret.x) - M->fileOffset(lineStart);
    setCaption(Label5, QStringLiteral("Pos: %1,%2").arg(column).arg(caret.y + 1));

    if (cbColore->isChecked() && !cbPhpColouring->isChecked()) {
        const qsizetype p = M->selStart();
        const qsizetype s = M->offsetAfterCrBefore(p);
        const qsizetype e = M->offsetAfterCrFrom(p);
        setCaption(Label5, QStringLiteral("Pos: %1,%2").arg(M->fileOffset(s)).arg(M->fileOffset(e)));
        ColorieZone(s, e);
    }
    m_ligneSelection[0] = M->selStart();
    m_ligneSelection[1] = m_ligneSelection[0] + M->selLength();
}

QString TfmMain::signatureOf(const QString &word)
{
    // The user's keyword list first, then PHP's own, then the definitions of the
    // text around the caret (PHP's functions cannot be defined again).
    QString hint = firstLineContaining(keywordList(), word);
    if (hint.isEmpty() && m_phpSignatures)
        hint = phpSignatureFor(m_phpSignatures->signatures(), word);
    if (hint.isEmpty() && m_completion)
        hint = m_completion->definitionAround(nameBeforeCaret(word.endsWith(u'(') ? word.chopped(1) : word));
    return hint;
}

void TfmMain::showParameterBeingTyped(const QString &beforeCaret)
{
    const CallAtCaret call = callAtCaret(beforeCaret);
    const QString signature = call.isCall() ? signatureOf(call.word) : QString();
    if (signature.isEmpty()) {
        setHint(Label6, QString(), Qt::PlainText);
        return;
    }
    setHint(Label6, signatureWithParameter(signature, call.parameter), Qt::RichText);
    const QString name = call.word.chopped(1);
    const QStringList pages = helpPageCandidates(eAide->text(), name);
    if (std::none_of(pages.begin(), pages.end(), [](const QString &page) { return isExistingFile(page); }))
        noteReflectionHelp(call.word);
}

void TfmMain::noteReflectionHelp(const QString &word)
{
    if (m_phpSignatures)
        m_reflectionHelp = phpSignatureFor(m_phpSignatures->signatures(), word);
}

void TfmMain::showReflectionHelp()
{
    const QString name = m_reflectionHelp.left(m_reflectionHelp.indexOf(u'(')).replace(QStringLiteral("::"), QStringLiteral("."));
    const QString path = recoveryFolder() + QStringLiteral("/aide/") + name + QStringLiteral(".html");
    QString why;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())
        || !replaceFileAtomically(path, reflectionHelpPage(m_reflectionHelp).toUtf8(), 0600, &why))
        throw OndrelError(cannotCreateMessage(path, why));
    showHelpWindow(path);
}

void TfmMain::sbAideClick()
{
    const QString path = sbAide->toolTip();
    if (!sbAide->isHidden() && isExistingFile(path) && !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        showHelpWindow(path); // no desktop application to open it: Ondrel shows it itself
}

void TfmMain::showHelpWindow(const QString &path)
{
    if (!m_helpWindow) {
        m_helpWindow = new QWidget(this, Qt::Window);
        m_helpWindow->setObjectName(QStringLiteral("fmAide"));
        m_helpWindow->setWindowTitle(QStringLiteral("Aide"));
        m_helpWindow->resize(800, 600);
        auto *layout = new QVBoxLayout(m_helpWindow);
        layout->setContentsMargins(0, 0, 0, 0);
        m_helpBrowser = new WebBrowser(m_helpWindow);
        m_helpBrowser->setObjectName(QStringLiteral("WBAide"));
        layout->addWidget(m_helpBrowser);
        connect(m_helpBrowser, &WebBrowser::titleChange, m_helpWindow, [this](const QString &title) {
            m_helpWindow->setWindowTitle(title.isEmpty() ? QStringLiteral("Aide") : QStringLiteral("Aide - %1").arg(title));
        });
    }
    m_helpBrowser->navigate(QUrl::fromLocalFile(path).toString());
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}

void TfmMain::MKeyDown(int &key)
{
    if (key == VkF9 && cbApercuACote->isChecked()) {
        m_session->saveEditedFile(); // the page beside the editor refreshes; the editor stays in front
    } else if (key == VkF9) {
        showPage(tsWB);
        PCChange();
    } else if (key == VkF10) {
        cbApercuACote->click();
    } else if (key == VkF1 && !m_reflectionHelp.isEmpty()) {
        showReflectionHelp(); // no page of the help folder for this function of PHP's
    } else if (key == VkF1) {
        sbAideClick();
    }
}

void TfmMain::MKeyUp()
{
    Ligne();
}

void TfmMain::MMouseDown()
{
    Ligne();
}

// A press inside a selection moves the caret only at the release (the press might
// have started a drag): the read-out follows then.
void TfmMain::MMouseUp()
{
    const qsizetype start = M->selStart();
    if (start != m_ligneSelection[0] || start + M->selLength() != m_ligneSelection[1])
        Ligne();
}
