#include "files/editedfile.h"

#include "base/errors.h"
#include "editor/richedit.h"
#include "io/readfile.h"
#include "io/recovery.h"
#include "io/recoverypaths.h"
#include "io/savefile.h"
#include "io/textbytes.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <utility>

#include <algorithm>

namespace {

const QString kBinaryNotSaved = QStringLiteral("Fichier binaire : non enregistré");
const QString kBinaryReadOnly = QStringLiteral("Fichier binaire : ouvert en lecture seule, il ne sera jamais enregistré");

} // namespace

EditedFile::EditedFile(RichEdit *editor, QObject *parent)
    : EditedFile(editor, true, parent)
{
}

EditedFile::EditedFile(RichEdit *editor, NewText, QObject *parent)
    : EditedFile(editor, false, parent)
{
}

EditedFile::EditedFile(RichEdit *editor, bool shown, QObject *parent)
    : QObject(parent)
    , m_editor(editor)
    , m_shown(shown)
    , m_watcher(new QFileSystemWatcher(this))
    , m_watchDelay(new QTimer(this))
    , m_journalDelay(new QTimer(this))
    , m_autoSaveDelay(new QTimer(this))
    , m_journal(std::make_unique<JournalWriter>())
{
    if (shown) {
        m_document = editor->document();
        editor->showForm(&m_form);
    }
    m_watchDelay->setSingleShot(true);
    m_watchDelay->setInterval(150); // another program's save may come in several steps
    m_journalDelay->setSingleShot(true);
    m_journalDelay->setInterval(2000);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, m_watchDelay, qOverload<>(&QTimer::start));
    connect(m_watchDelay, &QTimer::timeout, this, &EditedFile::checkDisk);
    connect(m_journalDelay, &QTimer::timeout, this, &EditedFile::journalSoon);
    m_autoSaveDelay->setSingleShot(true);
    m_autoSaveDelay->setInterval(800);
    connect(m_autoSaveDelay, &QTimer::timeout, this, &EditedFile::autoSaveDue);
    connect(m_journal.get(), &JournalWriter::cannotWrite, this, &EditedFile::notice); // told once
}

EditedFile::~EditedFile()
{
    if (m_editor && &m_editor->form() == &m_form)
        m_editor->showForm(nullptr); // the control keeps no pointer into this file
}

void EditedFile::show()
{
    if (m_shown || !m_editor)
        return;
    m_editor->documents()->show(m_document, &m_form, std::move(m_state));
    m_state = {};
    m_shown = true;
    for (const auto &[line, message] : std::exchange(m_waitingServerErrors, {}))
        m_editor->errorMarks()->markServerError(std::min(line, std::max(0, m_editor->lineCount() - 1)), message);
    if (m_diskChangedWhenHidden) {
        m_diskChangedWhenHidden = false;
        checkDisk();
    }
}

void EditedFile::markServerError(int line, const QString &message)
{
    if (m_shown && m_editor)
        m_editor->errorMarks()->markServerError(std::min(line, std::max(0, m_editor->lineCount() - 1)), message);
    else
        m_waitingServerErrors.append({line, message});
}

void EditedFile::hide()
{
    if (!m_shown || !m_editor)
        return;
    if (m_journalDelay->isActive()) {
        m_journalDelay->stop();
        journalSoon(); // the text can be read only while it is shown
    }
    m_autoSaveDelay->stop(); // saving while typing is for the text being typed
    m_modifiedWhenHidden = m_editor->isModified();
    m_state = m_editor->documents()->leave();
    m_shown = false;
}

void EditedFile::autoSaveAfterPause()
{
    m_autoSaveDelay->start();
}

void EditedFile::cancelAutoSave()
{
    m_autoSaveDelay->stop();
}

bool EditedFile::isModified() const
{
    if (!m_shown)
        return m_modifiedWhenHidden;
    return m_editor && m_editor->isModified();
}

// --- Load and save --------------------------------------------------------------

void EditedFile::load(const QString &path)
{
    ReadResult read = readWholeFile(path, kMaxFileBytes);
    if (!read.ok()) {
        const QString reason = readFailureMessage(path, read.error);
        throw OndrelError(reason.isEmpty() ? cannotOpenMessage(path) : reason);
    }
    const FileIdentity identity = identityOf(read);
    QByteArray raw = std::move(read.bytes);
    const bool binary = isBinaryContent(raw);
    // Files are always taken as plain text: rich text is never rendered.
    LoadedText text = normaliseLineBreaks(raw);
    raw.clear();
    // A file that is not UTF-8 is Windows-1252: held as UTF-8 so that € or ’ show and
    // can be typed, and written back byte for byte.
    const bool windows1252 = !binary && !isValidUtf8(text.crlf.constData(), text.crlf.size());
    if (windows1252)
        text.crlf = fromWindows1252(text.crlf).toUtf8();
    m_editor->takeFileText(text.crlf, binary);
    m_form.windows1252 = windows1252;
    m_form.binary = binary;
    m_form.lineBreak = text.lineBreak;
    m_form.breaks = text.breaks;
    m_path = path;
    m_identity = identity;
    m_pathIsLink = QFileInfo(path).isSymLink();
    Q_EMIT loaded();
}

void EditedFile::open(const QString &path)
{
    const QString before = m_path;
    load(path); // throws, the text and its file as they were
    if (!m_journalFor.isEmpty() || !before.isEmpty())
        m_journal->remove(m_journalFor); // the text it kept was saved or let go
    m_journalFor = path;
    Q_EMIT notice(m_form.binary ? kBinaryReadOnly : QString());
    watch();
}

void EditedFile::forget()
{
    m_path.clear();
    m_identity = {};
    m_form.binary = false;
    m_form.windows1252 = false;
    m_form.breaks.clear();
    m_editor->setReadOnly(false);
    Q_EMIT loaded();
}

QByteArray EditedFile::fileBytes() const
{
    const RichEdit *m = m_editor;
    const QByteArray defaultBreak = m_form.lineBreak.isEmpty() ? QByteArrayLiteral("\n") : m_form.lineBreak;
    QByteArray bytes;
    if (m_form.breaks.isEmpty()) {
        bytes = restoreLineBreaks(m->wholeText(), defaultBreak);
    } else {
        const int lines = m->lineCount();
        bytes.reserve(m->textLength());
        for (int line = 0; line < lines; ++line) {
            const qsizetype start = m->lineStartOffset(line);
            const std::string_view text = m->range(start, m->lineEndOffset(line) - start);
            bytes.append(text.data(), qsizetype(text.size()));
            if (line + 1 < lines) {
                const auto kind = line < m_form.breaks.size() ? LineBreakKind(m_form.breaks[line]) : Default;
                bytes.append(lineBreakBytes(kind, defaultBreak));
            }
        }
    }
    if (!m_form.windows1252)
        return bytes;
    QByteArray encoded;
    if (!toWindows1252(QString::fromUtf8(bytes), &encoded))
        throw OndrelError(QStringLiteral("Le texte contient des caractères absents de Windows-1252, l'encodage du fichier"));
    return encoded;
}

void EditedFile::write(const QString &path, bool inPlaceWithoutCopy)
{
    if (m_form.binary)
        throw OndrelError(kBinaryNotSaved);
    if (isLossyFileName(path))
        throw OndrelError(cannotCreateMessage(path, readFailureMessage(path, ReadError::BadName)));
    const QByteArray bytes = fileBytes();
    QString why;
    bool noSafeCopy = false;
    // The text's own file is written through a link only when it was a link when loaded.
    const bool followLink = path != m_path || m_pathIsLink;
    if (!replaceFileAtomically(path, bytes, 0666, &why, {inPlaceWithoutCopy, &noSafeCopy, followLink})) {
        if (noSafeCopy)
            throw NoSafeCopyError(cannotCreateMessage(path, why));
        throw OndrelError(cannotCreateMessage(path, why));
    }
    m_editor->setModified(false); // the text on disk is the text shown
    const bool wasRenamed = m_path != path;
    m_path = path;
    m_pathIsLink = QFileInfo(path).isSymLink();
    m_identity = {};
    if (statStamp(path, &m_identity.stamp)) {
        m_identity.known = true;
        m_identity.hash = contentHash(bytes);
    }
    if (wasRenamed)
        Q_EMIT renamed();
}

bool EditedFile::save(const QString &target, SaveQuestions &questions, const FileIdentity *knownDisk)
{
    if (target.isEmpty())
        return true; // no file chosen yet: nothing to write, the preview only navigates
    if (m_form.binary) {
        Q_EMIT notice(kBinaryNotSaved);
        return true;
    }
    if (m_path.isEmpty() || target != m_path) {
        // After a failed load, the text belongs to no file: an untouched text is not written
        // over an existing one, and a typed one only after asking.
        if (isExistingFile(target)) {
            if (m_path.isEmpty() && !isModified())
                return true;
            if (!questions.replaceOtherFile(target))
                return false;
        }
        if (!writeAsking(target, questions))
            return false;
        afterSave();
        return true;
    }

    const FileIdentity disk = knownDisk ? *knownDisk : diskIdentity(target);
    const std::optional<SaveQuestions::NotLoaded> notLoaded = checkOwnFile(target, disk, questions);
    if (notLoaded == SaveQuestions::NotLoaded::Cancel)
        return false;
    if (notLoaded == SaveQuestions::NotLoaded::SaveAs) {
        const QString other = questions.saveAsPath(target);
        return !other.isEmpty() && other != target && save(other, questions);
    }
    // When the user said to write over what is there now, there is nothing more to ask.
    if (!notLoaded && disk.known && !disk.sameContent(m_identity)) {
        const SaveQuestions::OnDisk answer = questions.changedOnDisk(target);
        if (answer == SaveQuestions::OnDisk::Reload) {
            const int line = m_editor->caretPosition().y;
            open(target);
            m_editor->setSelStart(m_editor->lineStartOffset(std::min(line, m_editor->lineCount() - 1)));
            return true;
        }
        if (answer != SaveQuestions::OnDisk::Overwrite)
            return false;
    } else if (!notLoaded && disk.known && !isModified()) {
        return true; // the file already holds exactly this text
    }
    if (!writeAsking(target, questions))
        return false;
    afterSave();
    return true;
}

std::optional<SaveQuestions::NotLoaded> EditedFile::checkOwnFile(const QString &target, const FileIdentity &disk,
                                                                 SaveQuestions &questions)
{
    using NotLoaded = SaveQuestions::NotLoaded;
    const QFileInfo now(target);
    if (now.isSymLink() && !m_pathIsLink) // put there by another program: never written through
        return questions.notTheLoadedFile(target, true) == NotLoaded::SaveAs ? NotLoaded::SaveAs : NotLoaded::Cancel;
    if (!m_identity.known)
        return std::nullopt;
    if (!disk.known && !now.exists())
        return questions.recreateDeleted(target) ? NotLoaded::Overwrite : NotLoaded::Cancel;
    // Another file in its place (renamed over it, or a link of the user's that now leads
    // elsewhere); with the same bytes, writing the text there loses nothing.
    // (A recovered journal's identity may not say where the file lived: then only its bytes count.)
    const bool otherInode = disk.known && m_identity.stamp.inode != 0
        && (disk.stamp.device != m_identity.stamp.device || disk.stamp.inode != m_identity.stamp.inode);
    if (otherInode && !disk.sameContent(m_identity))
        return questions.notTheLoadedFile(target, false);
    return std::nullopt;
}

bool EditedFile::writeAsking(const QString &target, SaveQuestions &questions)
{
    try {
        write(target);
        return true;
    } catch (const NoSafeCopyError &error) {
        if (!questions.writeWithoutSafeCopy(error.message()))
            return false;
    }
    write(target, true);
    return true;
}

void EditedFile::afterSave()
{
    m_journalDelay->stop();
    m_journal->remove(m_journalFor);
    m_journalFor = m_path;
    Q_EMIT notice(QString());
    watch();
    Q_EMIT written(m_path);
}

// --- Watch -------------------------------------------------------------------------

void EditedFile::watch()
{
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    if (!m_path.isEmpty() && QFileInfo::exists(m_path))
        m_watcher->addPath(m_path);
}

void EditedFile::checkDisk()
{
    if (!m_shown) {
        m_diskChangedWhenHidden = true; // looked at when the text is shown again
        return;
    }
    const QString path = m_path;
    watch(); // a save by rename ends the watch of the old inode
    if (path.isEmpty())
        return;
    const FileIdentity disk = diskIdentity(path);
    if (!disk.known && isModified() && !QFileInfo(path).exists()) {
        Q_EMIT notice(QStringLiteral("Le fichier %1 a été supprimé par un autre programme. "
                                     "Le texte de l'éditeur n'est pas encore enregistré.").arg(path));
        return; // its next save asks before creating it again
    }
    if (!disk.known || disk.sameContent(m_identity))
        return; // gone, or our own save
    if (isModified()) {
        Q_EMIT notice(QStringLiteral("Le fichier %1 a été modifié par un autre programme. "
                                     "Le texte de l'éditeur n'est pas encore enregistré.").arg(path));
        return;
    }
    // Nothing of the user's would be lost: take the new content and keep the caret's line.
    const int line = m_editor->caretPosition().y;
    try {
        load(path);
    } catch (const OndrelError &error) {
        Q_EMIT notice(error.message());
        return;
    }
    m_editor->setSelStart(m_editor->lineStartOffset(std::min(line, m_editor->lineCount() - 1)));
    watch();
}

// --- Journal -----------------------------------------------------------------------

void EditedFile::noteEdit()
{
    if (m_shown)
        m_journalDelay->start();
}

void EditedFile::journalSoon()
{
    if (!isModified()) {
        m_journal->remove(m_journalFor);
        return;
    }
    m_journalFor = m_path;
    m_journal->schedule(m_journalFor, m_editor->wholeText(), m_identity);
}

bool EditedFile::journalNow()
{
    m_journalDelay->stop();
    if (!isModified())
        return true;
    m_journalFor = m_path;
    return m_journal->writeNow(m_journalFor, m_editor->wholeText(), m_identity);
}

void EditedFile::recover(const Journal &journal, bool overNewerFile)
{
    // The recovered text replaces the file's, as an edit not yet saved (the caption gets its "*").
    m_editor->SendScintilla(QsciScintillaBase::SCI_TARGETWHOLEDOCUMENT);
    m_editor->SendScintilla(QsciScintillaBase::SCI_REPLACETARGET, static_cast<unsigned long>(journal.text.size()),
                            journal.text.constData());
    m_editor->setSelStart(0);
    if (overNewerFile)
        m_identity = journal.base;
    m_journalFor = journal.path;
    // The text is kept by this window's journal from now on; the one it came from
    // goes only once that is written, so that a crash meanwhile loses nothing.
    if (m_journal->writeNow(m_journalFor, m_editor->wholeText(), m_identity) && journal.file != journalPathFor(journal.path))
        QFile::remove(journal.file);
}

void EditedFile::endRun(bool keep)
{
    m_journalDelay->stop();
    m_journal->wait();
    if (!keep)
        m_journal->remove(m_journalFor); // a clean end: the text was saved or let go
}
