// Ondrel's entry point. It links Qt Core only: it answers --help and --version,
// hands the files to a running window when there is one, and otherwise loads
// the window module (app/window.cpp) and runs it.
#include "app/commandline.h"
#include "app/handover.h"
#include "app/launch.h"
#include "settings/sidefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>
#include <dlfcn.h>

#ifndef ONDREL_WINDOW_MODULE
#define ONDREL_WINDOW_MODULE ""
#endif

namespace {

const QString kModuleName = QStringLiteral("ondrel-fenetre.so");

QStringList argumentList(int argc, char *argv[])
{
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

void printMessage(const QString &text)
{
    print(stderr, QStringLiteral("ondrel : ") + text + u'\n');
}

QString executablePath()
{
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).canonicalFilePath();
}

/** The module beside the executable (a build folder), else where the package installs it. */
QString windowModulePath(const QString &exe)
{
    const QString beside = QFileInfo(exe).dir().filePath(kModuleName);
    return QFileInfo::exists(beside) ? beside : QStringLiteral(ONDREL_WINDOW_MODULE);
}

int runWindow(int argc, char *argv[], const WindowLaunch &launch, const QString &exe)
{
    const QString module = windowModulePath(exe);
    void *handle = ::dlopen(QFile::encodeName(module).constData(), RTLD_NOW | RTLD_LOCAL);
    auto *run = handle ? reinterpret_cast<decltype(&ondrelRunWindow)>(::dlsym(handle, kRunWindowSymbol)) : nullptr;
    if (!run) {
        printMessage(QStringLiteral("impossible de charger la fenêtre (%1) : %2")
                         .arg(module, QString::fromLocal8Bit(::dlerror())));
        return 1;
    }
    return run(argc, argv, &launch);
}

} // namespace

int main(int argc, char *argv[])
{
    WindowLaunch launch;
    launch.line = parseCommandLine(argumentList(argc, argv), QDir::currentPath());
    switch (launch.line.action) {
    case CommandLine::Action::Help:
        print(stdout, helpText());
        return 0;
    case CommandLine::Action::Version:
        print(stdout, versionText());
        return 0;
    case CommandLine::Action::Error:
        printMessage(launch.line.error);
        print(stderr, errorHint());
        return kUsageExitStatus;
    case CommandLine::Action::Run:
        break;
    }
    if (launch.line.files.size() > 1)
        printMessage(QStringLiteral("un seul fichier s'ouvre à la fois : « %1 » ; les autres sont laissés.")
                         .arg(launch.line.files.first()));

    const QString exe = executablePath();
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    launch.socketPath = instanceSocketPath(runtime, sideFileBaseOf(exe));
    if (!launch.line.newInstance) {
        if (const auto status = handOverExitStatus(launch.socketPath, launch.line.files, kHandOverAnswerMs, printMessage))
            return *status;
    }
    return runWindow(argc, argv, launch, exe);
}
