// One request for a small PHP page, through Ondrel's built-in server (its
// router checks the key, the Host and the path, then hands the page to php) and
// through a plain `php -S` on the same folder, with one process and with the
// built-in server's workers. Goal: the router costs at most 1.2 × the plain
// server's time. Each request opens a connection of its own,
// as the preview browser's F9 does.
#include "preview/phpserver.h"
#include "base/ports.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray kPage = "<?php echo 'Bonjour ' . htmlspecialchars($_GET['test'] ?? ''); ?>\n<p>petite page</p>\n";

/** One whole HTTP/1.0 exchange with 127.0.0.1:`port`; the bytes of the answer (0 on failure). */
qsizetype fetch(int port, const QByteArray &request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    qsizetype total = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
        && ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size()) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            total += n;
    }
    ::close(fd);
    return total;
}

QByteArray requestFor(int port, const QByteArray &extra)
{
    return "GET /page.php?test=1 HTTP/1.0\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\n" + extra + "\r\n";
}

void timeRequests(benchmark::State &state, int port, const QByteArray &request)
{
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const qsizetype got = fetch(port, request);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        if (got <= 0)
            state.SkipWithError("no answer");
        QCoreApplication::processEvents(); // the built-in server's log is read between requests
    }
}

QTemporaryDir *site;

void BM_RequestThroughRouter(benchmark::State &state)
{
    BuiltinServer server;
    server.start(site->path());
    QElapsedTimer wait;
    wait.start();
    while (!server.isReady() && wait.elapsed() < 15000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!server.isReady()) {
        state.SkipWithError("the built-in server did not start");
        return;
    }
    const QByteArray request = requestFor(server.port(), QByteArray(kServerKeyHeader) + ": " + server.key() + "\r\n");
    if (fetch(server.port(), request) <= 0) // php compiles the router and the page once, as at a first F9
        state.SkipWithError("no answer");
    timeRequests(state, server.port(), request);
}

// range(0): php's workers (PHP_CLI_SERVER_WORKERS); the built-in server runs four, so
// that a page paused in the debugger holds up nothing else. With four on both sides the
// difference is the router's alone.
void BM_RequestPlainPhpServer(benchmark::State &state)
{
    const int port = pickLoopbackPort();
    QProcess php; // its log is read as Ondrel read it before the router
    php.setProcessChannelMode(QProcess::MergedChannels);
    if (state.range(0) > 1) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PHP_CLI_SERVER_WORKERS"), QString::number(state.range(0)));
        php.setProcessEnvironment(environment);
    }
    php.setChildProcessModifier([] { ::setpgid(0, 0); }); // its workers go with it, below
    QObject::connect(&php, &QProcess::readyReadStandardOutput, [&php] { php.readAllStandardOutput(); });
    php.start(QStringLiteral("php"), {QStringLiteral("-S"), QStringLiteral("127.0.0.1:%1").arg(port),
                                      QStringLiteral("-t"), site->path(),
                                      QStringLiteral("-d"), QStringLiteral("display_errors=1"),
                                      QStringLiteral("-d"), QStringLiteral("error_reporting=-1"),
                                      QStringLiteral("-d"), QStringLiteral("log_errors=1"),
                                      QStringLiteral("-d"), QStringLiteral("opcache.validate_timestamps=1"),
                                      QStringLiteral("-d"), QStringLiteral("opcache.revalidate_freq=0"),
                                      // as the built-in server runs it: Xdebug loaded but off
                                      QStringLiteral("-d"), QStringLiteral("xdebug.mode=off")});
    const QByteArray request = requestFor(port, {});
    QElapsedTimer wait;
    wait.start();
    while (fetch(port, request) <= 0 && wait.elapsed() < 15000)
        QThread::msleep(20);
    timeRequests(state, port, request);
    ::kill(-pid_t(php.processId()), SIGTERM);
    php.waitForFinished(5000);
}

BENCHMARK(BM_RequestPlainPhpServer)->Arg(1)->Arg(BuiltinServer::kWorkers)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_RequestThroughRouter)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_RequestPlainPhpServer)->Arg(1)->Arg(BuiltinServer::kWorkers)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    site = &dir;
    QFile page(dir.filePath(QStringLiteral("page.php")));
    if (!page.open(QIODevice::WriteOnly) || page.write(kPage) != kPage.size())
        return 1;
    page.close();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
