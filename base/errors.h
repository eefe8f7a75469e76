#pragma once

#include <QString>
#include <stdexcept>

class QWidget;

/**
 * The one error type of the program. Core code and handlers throw it with a
 * French message; the event table catches it and shows the generic error box.
 */
class OndrelError : public std::runtime_error
{
public:
    explicit OndrelError(const QString &message);
    QString message() const { return m_message; }

private:
    QString m_message;
};

/**
 * "Impossible d'ouvrir le fichier %s" and its siblings, with the path in place
 * of %s; a save's failure reason, when known, follows on a second line.
 */
QString cannotOpenMessage(const QString &path);
QString cannotCreateMessage(const QString &path, const QString &reason = {});
QString cannotWriteMessage(const QString &path, const QString &reason = {});

/** The executable's file name up to its first ".", first letter upper-cased, every other lower-cased. */
QString applicationTitle();
QString applicationTitleFor(const QString &executablePath);

/** A full stop is added when the text's last character sorts after "." (the error box rule). */
QString withFullStop(const QString &text);

/** The generic error box: error icon, OK button, application title as caption. */
void showErrorBox(QWidget *parent, const QString &message);

/** A plain message box: no icon, OK button, application title as caption. */
void showPlainBox(QWidget *parent, const QString &message);

/** Prints `message` on stderr, after the program's name ("ondrel : …"). */
void printMessage(const QString &message);
