// ondrel-php: starts PHP's web server for Ondrel so that nothing of it outlives
// Ondrel, however Ondrel ends.
//
//   ondrel-php ONDREL_PID PHP [ARGUMENT...]
//
// A page may start processes of its own (`exec("sleep 300 &")`); they inherit
// the server's listening socket and keep the port taken after php is gone. The
// kernel's parent-death signal reaches only a direct child, so this launcher is
// that child: it runs php in a process group of php's own (which the pages'
// processes inherit), and when Ondrel dies (the parent-death signal), when it is
// asked to stop (SIGTERM, SIGINT, SIGHUP) or when php ends, it kills that whole
// group and ends with php's exit status (128 + the signal's number for a stop).
//
// Plain POSIX, no Qt: it is exec'd by Ondrel at every start of the server.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t php = 0;

[[noreturn]] void killGroupAndExit(int status)
{
    ::kill(-php, SIGKILL); // php and whatever its pages started
    ::_exit(status);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "ondrel-php : usage : ondrel-php PID_ONDREL PHP [ARGUMENT...]\n");
        return 2;
    }
    const pid_t ondrel = pid_t(std::strtol(argv[1], nullptr, 10));

    std::signal(SIGCHLD, SIG_DFL); // an ignored SIGCHLD would survive the exec and reap php unseen
    sigset_t stopping;
    sigemptyset(&stopping);
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD})
        sigaddset(&stopping, signal);
    sigprocmask(SIG_BLOCK, &stopping, nullptr);

    // The death signal, then the check that Ondrel did not die before it was set.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != ondrel)
        return 127;

    php = ::fork();
    if (php < 0) {
        std::fprintf(stderr, "ondrel-php : fork : %s\n", std::strerror(errno));
        return 127;
    }
    if (php == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // should the launcher itself be killed
        sigprocmask(SIG_UNBLOCK, &stopping, nullptr);
        ::execv(argv[2], argv + 2);
        std::fprintf(stderr, "ondrel-php : %s : %s\n", argv[2], std::strerror(errno));
        ::_exit(127);
    }
    ::setpgid(php, php); // as the child does: whichever runs first, the group exists before a signal

    for (;;) {
        siginfo_t info;
        const int signal = ::sigwaitinfo(&stopping, &info);
        if (signal < 0)
            continue; // EINTR
        if (signal != SIGCHLD)
            killGroupAndExit(128 + signal);
        int status = 0;
        const pid_t ended = ::waitpid(php, &status, WNOHANG);
        if (ended == php)
            killGroupAndExit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    }
}
