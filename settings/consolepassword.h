#pragma once

#include "settings/passwordkeyring.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QLineEdit;

/**
 * Where the console's password ("Pass") is kept between runs: in the session's
 * keyring when a Secret Service answers, so that the settings file holds none;
 * in the settings file (owner only) when none does, as before.
 *
 * - Start-up: a password the settings file still holds is stored in the keyring,
 *   and taken out of the file only once the keyring has confirmed it; without one
 *   in the file, the keyring's password of the account the fields name fills
 *   "Pass".
 * - A password typed in "Pass" goes to the keyring when the field is left; an
 *   emptied field removes the account's entry. Changing Host or User with "Pass"
 *   empty looks the new account up.
 * - A failure is said in French (`said`); the password then stays
 *   where it is (the field, and the settings file at the next save).
 *
 * The keyring answers later (it may be waiting for an unlock prompt): nothing
 * here waits for it.
 */
class ConsolePassword : public QObject
{
    Q_OBJECT
public:
    ConsolePassword(QLineEdit *host, QLineEdit *user, QLineEdit *pass, QObject *parent);

    /** Once the window is shown and "Pass" holds what the settings file at `settingsPath` gave. */
    void start(const QString &settingsPath);
    /** "Pass" as the settings file is to hold it: empty while the keyring holds the field's password. */
    QString textForSettingsFile() const;

signals:
    /** What the status line is to say: where the password went, or why it stays in the settings file. */
    void said(const QString &text);

private:
    void passEdited();
    void accountEdited();
    void keyringReplied(const KeyringReply &reply);
    void takeOutOfSettingsFile(const QString &password);
    PasswordKey currentKey() const;
    PasswordKeyring *keyring();

    QPointer<QLineEdit> m_host, m_user, m_pass;
    PasswordKeyring *m_keyring = nullptr;
    QString m_settingsPath; // empty until start
    /** The account whose password the keyring is known to hold, and that password. */
    std::optional<PasswordKey> m_keptKey;
    QString m_keptPassword;
    QString m_moving; // the settings file's password, on its way into the keyring
};
