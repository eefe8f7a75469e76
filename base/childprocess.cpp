#include "base/childprocess.h"

#include <QProcess>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

void tieToOndrel(QProcess &process)
{
    // Only async-signal-safe calls here: this runs in the child between fork and exec.
    const pid_t ondrel = ::getpid();
    process.setChildProcessModifier([ondrel] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != ondrel) // Ondrel died before the line above
            ::_exit(127);
    });
}
