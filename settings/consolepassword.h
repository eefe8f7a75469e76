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
 * - Start-up: for a password the settings file still holds, once the keyring is
 *   known to answer, the user is asked (once) whether it moves there; if so it is
 *   stored in the keyring, and taken out of the file only once the keyring has
 *   confirmed it. A user who said no keeps the password in the file, and the
 *   keyring is left alone from then on (`keepsInSettingsFile`, a setting).
 *   Without one in the file, the keyring's password of the account the fields
 *   name fills "Pass".
 * - A password typed in "Pass" goes to the keyring when the field is left; an
 *   emptied field removes the account's entry. Changing Host or User with "Pass"
 *   empty looks the new account up.
 * - A failure is said in French (`said`); the password then stays
 *   where it is (the field, and the settings file at the next save).
 *
 * - End of the run: a password typed and never left (the field still had the
 *   focus) is stored then, waiting for the keyring a moment (`keepBeforeClosing`).
 *
 * The keyring answers later (it may be waiting for an unlock prompt): nothing
 * here waits for it but `keepBeforeClosing`, and that only briefly.
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
    /** At the end of the run: a password not stored yet goes to the keyring, if it answers in time. */
    void keepBeforeClosing();
    /** Whether the user chose to keep the password in the settings file rather than in the keyring. */
    bool keepsInSettingsFile() const { return m_keepInFile; }
    void setKeepsInSettingsFile(bool keep) { m_keepInFile = keep; }

signals:
    /** What the status line is to say: where the password went, or why it stays in the settings file. */
    void said(const QString &text);
    /**
     * The settings file's password is in the keyring now: the file is to lose it
     * at once, unless it holds another one by then (written by another copy).
     */
    void movedToKeyring(const QString &password);

private:
    void passEdited();
    void accountEdited();
    void keyringReplied(const KeyringReply &reply);
    void askToMove();
    bool agreesToMove(bool *answered);
    PasswordKey currentKey() const;
    PasswordKeyring *keyring();

    QPointer<QLineEdit> m_host, m_user, m_pass;
    PasswordKeyring *m_keyring = nullptr;
    QString m_settingsPath; // empty until start
    /** The account whose password the keyring is known to hold, and that password. */
    std::optional<PasswordKey> m_keptKey;
    QString m_keptPassword;
    QString m_moving; // the settings file's password, on its way into the keyring
    /** The settings file's password while it is not agreed to move (the keyring not asked, or no answer). */
    QString m_fileOnly;
    bool m_probing = false;     // looking the account up to learn whether a keyring answers, before asking
    bool m_keepInFile = false;  // the user said no: the keyring is not used
    bool m_noKeyring = false;   // a request found no Secret Service
};
