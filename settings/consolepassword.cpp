// The console's password kept in the session's keyring rather than in the
// settings file, and moved there out of a settings file that still holds one.
#include "settings/consolepassword.h"

#include "base/errors.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <chrono>

namespace {

/**
 * Why the keyring did not keep the password, and where it is kept instead (the
 * file is readable by its owner only). Short: the status line of a 640-pixel
 * window has about fifty characters before the buttons beside it.
 */
QString notKeptMessage(KeyringReply::Failure failure, const QString &settingsPath)
{
    const QString file = QFileInfo(settingsPath).fileName();
    if (failure == KeyringReply::Failure::Unavailable)
        return QStringLiteral("Pas de trousseau : mot de passe gardé dans %1.").arg(file);
    return QStringLiteral("Trousseau refusé : mot de passe gardé dans %1.").arg(file);
}

} // namespace

ConsolePassword::ConsolePassword(QLineEdit *host, QLineEdit *user, QLineEdit *pass, QObject *parent)
    : QObject(parent), m_host(host), m_user(user), m_pass(pass)
{
    connect(pass, &QLineEdit::editingFinished, this, &ConsolePassword::passEdited);
    connect(host, &QLineEdit::editingFinished, this, &ConsolePassword::accountEdited);
    connect(user, &QLineEdit::editingFinished, this, &ConsolePassword::accountEdited);
}

PasswordKeyring *ConsolePassword::keyring()
{
    if (!m_keyring) {
        m_keyring = new PasswordKeyring(this);
        connect(m_keyring, &PasswordKeyring::finished, this, &ConsolePassword::keyringReplied);
    }
    return m_keyring;
}

PasswordKey ConsolePassword::currentKey() const
{
    return passwordKeyFor(m_host ? m_host->text() : QString(), m_user ? m_user->text() : QString());
}

void ConsolePassword::start(const QString &settingsPath)
{
    m_settingsPath = settingsPath;
    if (m_keepInFile)
        return;
    const QString fromFile = m_pass ? m_pass->text() : QString();
    if (fromFile.isEmpty()) {
        keyring()->lookup(currentKey());
        return;
    }
    // Asked only once a keyring is known to answer: the look-up tells.
    m_fileOnly = fromFile;
    m_probing = true;
    keyring()->lookup(currentKey());
}

bool ConsolePassword::agreesToMove(bool *answered)
{
    const QString file = QFileInfo(m_settingsPath).fileName();
    QMessageBox box(QMessageBox::Question, applicationTitle(),
                    QStringLiteral("Le mot de passe MySQL est écrit en clair dans %1. Le passer dans le trousseau "
                                   "de la session, et l'enlever du fichier ?").arg(file),
                    QMessageBox::NoButton, m_pass ? m_pass->window() : nullptr);
    box.setObjectName(QStringLiteral("movePasswordBox"));
    box.setTextFormat(Qt::PlainText);
    QPushButton *move = box.addButton(QStringLiteral("Passer au trousseau"), QMessageBox::AcceptRole);
    QPushButton *keep = box.addButton(QStringLiteral("Laisser dans %1").arg(file), QMessageBox::RejectRole);
    box.setDefaultButton(move);
    box.setEscapeButton(keep);
    box.exec();
    *answered = box.clickedButton() != nullptr; // closed by the program (the run ending): no answer
    return box.clickedButton() == move;
}

void ConsolePassword::askToMove()
{
    // Typed over meanwhile: that password is the one to keep, as any typed one.
    if (!m_pass || m_pass->text() != m_fileOnly)
        return;
    const QPointer<ConsolePassword> alive(this);
    bool answered = false;
    const bool move = agreesToMove(&answered);
    if (!alive || !answered)
        return; // asked again at the next start
    if (!move) {
        m_keepInFile = true; // written at the end of the run
        return;
    }
    m_moving = m_fileOnly;
    m_fileOnly.clear();
    keyring()->store(currentKey(), m_moving);
}

void ConsolePassword::keepBeforeClosing()
{
    if (m_settingsPath.isEmpty() || m_keepInFile || m_noKeyring || m_probing || !m_pass)
        return;
    const QString typed = m_pass->text();
    const PasswordKey key = currentKey();
    if (typed.isEmpty() || typed == m_fileOnly || typed == m_moving
        || (m_keptKey && *m_keptKey == key && m_keptPassword == typed))
        return; // nothing typed, the file's own (not agreed to move), or already kept
    using namespace std::chrono_literals;
    const std::optional<KeyringReply> reply = keyring()->storeWaiting(key, typed, 2s);
    if (reply && reply->ok()) {
        m_keptKey = key;
        m_keptPassword = typed;
    } // else the settings file keeps it (owner only), as without a keyring
}

QString ConsolePassword::textForSettingsFile() const
{
    const QString typed = m_pass ? m_pass->text() : QString();
    if (m_keptKey && *m_keptKey == currentKey() && m_keptPassword == typed)
        return QString();
    return typed;
}

void ConsolePassword::passEdited()
{
    if (m_settingsPath.isEmpty() || !m_pass || m_keepInFile)
        return; // not started: the field holds what start-up is still to look at
    const PasswordKey key = currentKey();
    const QString typed = m_pass->text();
    if (!typed.isEmpty() && typed == m_fileOnly)
        return; // the settings file's, not agreed to move: it stays there
    if (typed.isEmpty()) {
        if (m_keptKey && *m_keptKey == key)
            keyring()->clear(key);
    } else if (!(m_keptKey && *m_keptKey == key && m_keptPassword == typed)) {
        keyring()->store(key, typed);
    }
}

void ConsolePassword::accountEdited()
{
    if (m_settingsPath.isEmpty() || !m_pass || !m_pass->text().isEmpty() || m_keepInFile)
        return;
    keyring()->lookup(currentKey());
}

void ConsolePassword::keyringReplied(const KeyringReply &reply)
{
    using Operation = KeyringReply::Operation;
    const bool moving = reply.operation == Operation::Store && !m_moving.isEmpty() && reply.password == m_moving;
    const bool probing = reply.operation == Operation::Lookup && m_probing;
    if (probing)
        m_probing = false;
    if (moving) {
        m_moving.clear();
        if (!reply.ok())
            m_fileOnly = reply.password; // stays in the file
    }
    if (!reply.ok()) {
        m_noKeyring = m_noKeyring || reply.failure == KeyringReply::Failure::Unavailable;
        if (reply.operation != Operation::Lookup || probing) // a failed look-up loses nothing: not said
            emit said(notKeptMessage(reply.failure, m_settingsPath));
        qInfo("keyring: %s", qPrintable(reply.detail));
        return;
    }
    if (probing) {
        askToMove();
        return;
    }
    switch (reply.operation) {
    case Operation::Lookup:
        if (!reply.password.isEmpty() && reply.key == currentKey() && m_pass && m_pass->text().isEmpty()) {
            m_pass->setText(reply.password);
            m_keptKey = reply.key;
            m_keptPassword = reply.password;
        }
        break;
    case Operation::Store:
        m_keptKey = reply.key;
        m_keptPassword = reply.password;
        if (moving)
            emit movedToKeyring(reply.password);
        break;
    case Operation::Clear:
        if (m_keptKey && *m_keptKey == reply.key)
            m_keptKey.reset();
        break;
    }
}
