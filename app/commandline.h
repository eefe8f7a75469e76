#pragma once

#include <QString>
#include <QStringList>

/**
 * Ondrel's command line, in French: what a launch asks for, the text of
 * `--help` and `--version`, and the manual page, all from one table of options
 * so that the three never disagree. Nothing here needs a display.
 */
struct CommandLine
{
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    /** Open a window of its own even when one is running already. */
    bool newInstance = false;
    /** The files and folders named, as absolute paths, in the order given. */
    QStringList files;
    /** For Action::Error: what was wrong, one French line. */
    QString error;
};

/**
 * Reads the arguments (the program's name first, as in argv). Relative paths
 * are taken from `currentFolder`; "file:" URLs become their local paths. The
 * options that Qt itself reads (-platform, -style, -display...) and everything
 * from "--webEngineArgs" on are let through for Qt, and are not files.
 */
CommandLine parseCommandLine(const QStringList &arguments, const QString &currentFolder);

/** What `ondrel --help` prints. */
QString helpText();
/** What `ondrel --version` prints: "ondrel 2.1". */
QString versionText();
/** The line after an error, which points to --help. */
QString errorHint();
/** The manual page ondrel.1, in French, as roff (man macros); `date` goes in its header. */
QString manualPage(const QString &date);

/** Exit status of a launch whose command line cannot be used. */
inline constexpr int kUsageExitStatus = 2;
