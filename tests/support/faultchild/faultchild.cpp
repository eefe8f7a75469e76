// The child process of the fault-injection tests (tests/test_faults*.cpp): it saves
// files the way the program does, so that a test can kill it at a random moment or
// run it with a file-size limit. It prints "ready" once set up, "saved" after each
// save of the loops and, for the single runs, the text of every message box.
//
//   ondrel_faultchild edit-loop <file> <size>          saves contents 'A' and 'B' in turn, forever
//   ondrel_faultchild edit-once <file> <size> <limit>  saves content 'N' once under a file-size limit
//   ondrel_faultchild preview-once <folder> <file> <size> <limit>
//                                                      the same through a window's preview page
//   ondrel_faultchild edit-file <file>                 loads the file, types "X" at its start and saves it
//   ondrel_faultchild type-and-wait <folder> <file> <text>
//                                                      a window types into the file and waits, once the
//                                                      text is journaled ("journaled"), to be killed
//   ondrel_faultchild side-loop <folder> <lines>       shuts a window down with side files 'A' and 'B' in turn, forever
//   ondrel_faultchild side-once <folder> <keyword lines> <history lines> <tag> [<limit>]
//                                                      shuts a window down once with side files `tag`
//   ondrel_faultchild stop-unsaved <folder> <file>     edits <file> in a window whose close question is
//                                                      up, then runs as the program does until a stop signal
//   ondrel_faultchild stop-frozen <folder>             a window whose event loop never comes back
//   ondrel_faultchild serve <folder>                  previews <folder>/page.php through the built-in
//                                                      server, prints "message: server PID PORT KEY", then waits
//   ondrel_faultchild database <folder>                runs Ondrel's own MariaDB with its data and runtime
//                                                      folders in <folder>, prints "message: database PID", then waits
//   ondrel_faultchild journal-wait <file> <text>       journals <text> for <file>, says "ready" and waits
//                                                      to be killed (its pid may be 1, in a PID namespace)
//   ondrel_faultchild left-journals                    says "ready", then "message: <path>" for each
//                                                      journal a new start would offer
//   ondrel_faultchild side-copy <folder> <tag> <edit>  a copy of the program at work: types a keyword line,
//                                                      a statement and `tag` into the edit named `edit`,
//                                                      then shuts down when a line arrives on its input
#include "base/errors.h"
#include "db/builtindatabase.h"
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "pages/databasepage.h"
#include "app/stopsignals.h"
#include "widgets/widgets.h"
#include "db/simplecombo.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "preview/phpserver.h"
#include "io/recovery.h"
#include "support/faults.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QFile>
#include <QTextCursor>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

namespace {

void say(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

void ready()
{
    say("ready");
}

/** Writes beyond `limit` bytes fail (EFBIG) instead of killing the process. */
void limitFileSize(qint64 limit)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit lim{rlim_t(limit), rlim_t(limit)};
    ::setrlimit(RLIMIT_FSIZE, &lim);
}

/** The window's side-file contents for one tag: keyword list, history and the site. */
void setSideContents(TfmMain &w, char tag, int keywordLines, int historyLines)
{
    w.mAide->setPlainText(faultLines(tag, keywordLines).join(u'\n'));
    w.databasePage->cb->list()->clear();
    w.databasePage->cb->list()->addItems(faultLines(tag, historyLines));
    w.eSite->setText(QStringLiteral("http://site-%1/").arg(QLatin1Char(tag)));
}

int editLoop(const QString &file, qsizetype size)
{
    RichEdit a, b;
    EditedFile fileA(&a), fileB(&b);
    a.setBytes(faultContent('A', size));
    b.setBytes(faultContent('B', size));
    ready();
    for (;;) {
        fileA.write(file);
        say("saved");
        fileB.write(file);
        say("saved");
    }
}

int editOnce(const QString &file, qsizetype size, qint64 limit)
{
    RichEdit editor;
    EditedFile edited(&editor);
    editor.setBytes(faultContent('N', size));
    limitFileSize(limit);
    ready();
    try {
        edited.write(file);
    } catch (const OndrelError &error) {
        std::printf("message: %s\n", qPrintable(QString(error.message()).replace(QStringLiteral("\n"), QStringLiteral("\\n"))));
        return 0;
    }
    std::printf("saved\n");
    return 0;
}

int editFile(const QString &file)
{
    RichEdit editor;
    EditedFile edited(&editor);
    ready();
    try {
        edited.load(file);
        editor.SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 0UL, "X");
        edited.write(file);
    } catch (const OndrelError &error) {
        std::printf("message: %s\n", qPrintable(error.message()));
        return 0;
    }
    say("saved");
    return 0;
}

int typeAndWait(const QString &folder, const QString &file, const QString &text)
{
    auto window = makeWindow(folder, true);
    window->session()->loadEditedFile(file);
    window->eFile->setText(file);
    window->showPage(window->tsEdit);
    window->M->setFocus();
    QTest::keyClicks(window->M, text);
    ready();
    const QString journal = journalPathFor(file);
    if (!QTest::qWaitFor([&] { return QFile::exists(journal); }, 20000))
        return 1;
    say("journaled");
    for (;;)
        QTest::qWait(1000);
}

int previewOnce(const QString &folder, const QString &file, qsizetype size, qint64 limit)
{
    auto window = makeWindow(folder, false);
    if (QFile::exists(file))
        window->session()->loadEditedFile(file); // the text is the file's: a preview writes it without asking
    window->eFile->setText(file);
    window->M->setBytes(faultContent('N', size - 1));
    window->M->SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 0UL, "N"); // an edit: there is something to save
    limitFileSize(limit);
    ready();
    ModalWatcher watcher;
    window->PC->setCurrentWidget(window->tsWB); // the user opens the preview page: save, then show
    for (const ModalWatcher::Box &box : watcher.boxes)
        std::printf("message: %s\n", qPrintable(QString(box.text).replace(QStringLiteral("\n"), QStringLiteral("\\n"))));
    std::fflush(stdout);
    std::_Exit(0); // no shut-down: the side files are not what this run is about
}

int sideLoop(const QString &folder, int lines)
{
    auto window = makeWindow(folder); // shown: the keyword list is loaded, so it may be written back
    ready();
    for (;;) {
        for (char tag : {'A', 'B'}) {
            setSideContents(*window, tag, lines, lines);
            window->FormDestroy();
            say("saved");
        }
    }
}

int sideOnce(const QString &folder, int keywordLines, int historyLines, char tag, qint64 limit)
{
    auto window = makeWindow(folder);
    setSideContents(*window, tag, keywordLines, historyLines);
    if (limit > 0)
        limitFileSize(limit);
    ready();
    ModalWatcher watcher;
    window.reset(); // shut-down: the side files are written, failures shown in a box
    for (const ModalWatcher::Box &box : watcher.boxes)
        std::printf("message: %s\n", qPrintable(QString(box.text).replace(QStringLiteral("\n"), QStringLiteral("\\n"))));
    return 0;
}

int serve(const QString &folder)
{
    auto window = makeWindow(folder, false);
    window->eFile->setText(QDir(folder).filePath(QStringLiteral("page.php")));
    window->M->setBytes("<?php echo 'servi';");
    window->PC->setCurrentWidget(window->tsWB); // the first preview starts the server
    if (!QTest::qWaitFor([&] { return window->server()->isReady(); }, 30000))
        return 1;
    std::printf("message: server %lld %d %s\n", window->server()->processId(), window->server()->port(),
                window->server()->key().constData());
    ready();
    return QApplication::exec(); // until killed
}

int database(const QString &folder)
{
    BuiltinDatabase db(BuiltinDatabasePaths::under(QDir(folder).filePath(QStringLiteral("data")),
                                                   QDir(folder).filePath(QStringLiteral("run"))));
    if (!db.start() || !QTest::qWaitFor([&] { return db.isReady(); }, 120000))
        return 1;
    std::printf("message: database %lld\n", db.processId());
    ready();
    return QApplication::exec(); // until killed
}

int sideCopy(const QString &folder, char tag, const QString &edit)
{
    auto window = makeWindow(folder);
    QTextCursor end(window->mAide->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QStringLiteral("\nfunction_%1($x)").arg(QLatin1Char(tag)));
    window->databasePage->cb->addItem(QStringLiteral("select '%1'").arg(QLatin1Char(tag)));
    window->findChild<QLineEdit *>(edit)->setText(QString(QLatin1Char(tag)));
    ready();
    char line[64];
    if (!std::fgets(line, sizeof line, stdin))
        return 1;
    ModalWatcher watcher;
    window.reset();
    for (const ModalWatcher::Box &box : watcher.boxes)
        std::printf("message: %s\n", qPrintable(QString(box.text).replace(QStringLiteral("\n"), QStringLiteral("\\n"))));
    return 0;
}

} // namespace

/** The end of the program's run, as the window module has it: signals, the loop, the shut-down. */
int runUntilStopped(TfmMain *window)
{
    watchStopSignals(window, [window] { window->closeOnSignal(); });
    if (!window->closingOnSignal())
        QCoreApplication::exec();
    const int status = window->shutDown();
    delete window;
    return status;
}

int stopUnsaved(const QString &folder, const QString &file)
{
    installStopSignals();
    TfmMain *window = makeWindow(folder).release();
    window->eFile->setText(file);
    window->session()->editedFile()->load(file);
    QTest::keyClicks(window->M, QStringLiteral("unsaved "));
    QTimer::singleShot(0, window, [window] {
        ready(); // the signal can only be handled in the question's own event loop
        window->close();
    });
    return runUntilStopped(window);
}

int stopFrozen(const QString &folder)
{
    installStopSignals();
    TfmMain *window = makeWindow(folder).release();
    QTimer::singleShot(0, window, [] {
        ready();
        for (;;)
            ::pause(); // a handler that never returns
    });
    return runUntilStopped(window);
}

static int journalWait(const QString &file, const QString &text)
{
    JournalWriter writer;
    if (!writer.writeNow(file, text.toUtf8(), FileIdentity{}))
        return 1;
    ready();
    for (;;)
        ::pause();
}

static int leftJournalsNow()
{
    ready();
    for (const Journal &journal : leftJournals())
        std::printf("message: %s\n", qPrintable(journal.path));
    return 0;
}

int main(int argc, char **argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == u"edit-loop" && args.size() == 4)
        return editLoop(args[2], args[3].toLongLong());
    if (mode == u"edit-once" && args.size() == 5)
        return editOnce(args[2], args[3].toLongLong(), args[4].toLongLong());
    if (mode == u"preview-once" && args.size() == 6)
        return previewOnce(args[2], args[3], args[4].toLongLong(), args[5].toLongLong());
    if (mode == u"edit-file" && args.size() == 3)
        return editFile(args[2]);
    if (mode == u"type-and-wait" && args.size() == 5)
        return typeAndWait(args[2], args[3], args[4]);
    if (mode == u"side-loop" && args.size() == 4)
        return sideLoop(args[2], args[3].toInt());
    if (mode == u"side-once" && (args.size() == 6 || args.size() == 7))
        return sideOnce(args[2], args[3].toInt(), args[4].toInt(), args[5].at(0).toLatin1(), args.value(6).toLongLong());
    if (mode == u"stop-unsaved" && args.size() == 4)
        return stopUnsaved(args[2], args[3]);
    if (mode == u"stop-frozen" && args.size() == 3)
        return stopFrozen(args[2]);
    if (mode == u"serve" && args.size() == 3)
        return serve(args[2]);
    if (mode == u"database" && args.size() == 3)
        return database(args[2]);
    if (mode == u"journal-wait" && args.size() == 4)
        return journalWait(args[2], args[3]);
    if (mode == u"left-journals" && args.size() == 2)
        return leftJournalsNow();
    if (mode == u"side-copy" && args.size() == 5)
        return sideCopy(args[2], args[3].at(0).toLatin1(), args[4]);
    std::fprintf(stderr, "ondrel_faultchild: unknown arguments\n");
    return 2;
}
