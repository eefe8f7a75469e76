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
/** What `ondrel --version` prints: "ondrel 2.1", then the licence line. */
QString versionText();
/** Ondrel's licence in one French line (also under the about text). */
QString licenceLine();
/** The line after an error, which points to --help. */
QString errorHint();
/**
 * The manual page ondrel.1, in French, as roff (man macros); `date` goes in its
 * header. Its keys, the fields that tell where a page is served and its
 * environment are the tables of the README (`readme`, Markdown), so that the two
 * cannot disagree. Empty when one of those tables is missing from `readme`.
 */
QString manualPage(const QString &date, const QString &readme);

/**
 * The rows of the first table under the heading line `heading` ("## Keys and mouse")
 * of a Markdown text, before the next heading of that level: each row a list of its
 * cells, still in Markdown, the header and separator rows left out. Empty when
 * there is no such table.
 */
QList<QStringList> markdownTable(const QString &markdown, const QString &heading);

/** A Markdown table cell as roff text: **bold** and `code` in bold, backslashes and requests escaped. */
QString markdownToRoff(const QString &cell);

/** Exit status of a launch whose command line cannot be used. */
inline constexpr int kUsageExitStatus = 2;
