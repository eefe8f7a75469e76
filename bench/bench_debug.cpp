// Step debugging:
//  - a step over, to the new line shown with the 100 local variables of the
//    frame listed (stack and locals fetched), against the real Xdebug;
//    goal at most 50 ms;
//  - a trivial request to Ondrel's own server while another request of the
//    page sleeps (a page paused in the debugger holds a worker the same way);
//    goal at most 50 ms (2.83 s with a single worker);
//  - the same step in the real window (Ctrl+F9's session: the line marked in
//    the editor, the 100 locals in the "Variables" tree), with the window's
//    worst stall during the steps (the longest gap between the ticks of a
//    5 ms timer); goals at most 50 ms and at most 30 ms.
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "app/debugcontroller.h"
#include "debug/debugger.h"
#include "debug/xdebugsetup.h"
#include "preview/phpserver.h"
#include "base/ports.h"
#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/editedfile.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QTest>

#include "benchmain.h"

#include <benchmark/benchmark.h>

namespace {

void writeText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(text);
}

void StepWithHundredLocals(benchmark::State &state)
{
    QTemporaryDir dir;
    QByteArray page = "<?php\n";
    for (int i = 0; i < 100; ++i)
        page += "$v" + QByteArray::number(i) + " = " + QByteArray::number(i) + ";\n";
    page += "for ($i = 0; $i < 100000000; ++$i) {\n    $v0 = $i;\n}\n";
    writeText(dir.filePath(QStringLiteral("steps.php")), page);
    const QString root = QDir(dir.path()).canonicalPath();
    Debugger debugger;
    if (!debugger.listen(pickLoopbackPort())) {
        state.SkipWithError("no port for the debugger");
        return;
    }
    debugger.setBreakpoints({{root + QStringLiteral("/steps.php"), 103, {}}});
    BuiltinServer server;
    server.setExtraEnvironment(QString::fromLatin1(kXdebugKeyVariable), debugger.listener().ideKey());
    server.setExtraArguments(xdebugServerArguments(probeXdebug(phpExecutable()), debugger.listener().port()));
    server.start(root);
    if (!QTest::qWaitFor([&] { return server.isReady(); }, 15000)) {
        state.SkipWithError("php -S did not start");
        return;
    }
    int pauses = 0;
    QObject::connect(&debugger, &Debugger::paused, [&pauses](const DebugPause &) { ++pauses; });
    QNetworkAccessManager network;
    QNetworkRequest request(QUrl(server.origin() + QStringLiteral("/steps.php?") + xdebugTrigger(debugger.listener().ideKey())));
    request.setRawHeader(kServerKeyHeader, server.key());
    std::unique_ptr<QNetworkReply> reply(network.get(request));
    if (!QTest::qWaitFor([&] { return pauses == 1; }, 15000)) {
        state.SkipWithError("no stop at the breakpoint");
        return;
    }
    size_t locals = 0;
    for (auto _ : state) {
        const int before = pauses;
        debugger.stepOver();
        while (pauses == before)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        locals = debugger.lastPause().locals.size();
    }
    state.counters["locals"] = double(locals);
    debugger.stopScript();
    if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 10000))
        state.SkipWithError("the stopped request did not end");
}
BENCHMARK(StepWithHundredLocals)->Unit(benchmark::kMillisecond)->Iterations(50)->UseRealTime();

void TrivialRequestBesideASleepingOne(benchmark::State &state)
{
    QTemporaryDir dir;
    writeText(dir.filePath(QStringLiteral("sleep.php")), "<?php usleep(1500000); echo 'awake';");
    writeText(dir.filePath(QStringLiteral("a.php")), "<?php echo 'a';");
    BuiltinServer server;
    server.start(dir.path());
    if (!QTest::qWaitFor([&] { return server.isReady(); }, 15000)) {
        state.SkipWithError("php -S did not start");
        return;
    }
    const auto send = [&](QTcpSocket &socket, const QByteArray &target) {
        socket.connectToHost(QHostAddress::LocalHost, quint16(server.port()));
        socket.waitForConnected(5000);
        socket.write("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1:" + QByteArray::number(server.port()) + "\r\n"
                     + kServerKeyHeader + ": " + server.key() + "\r\n\r\n");
        socket.waitForBytesWritten(5000);
    };
    for (auto _ : state) {
        state.PauseTiming();
        QTcpSocket sleeper;
        send(sleeper, "/sleep.php");
        QTest::qWait(100); // the sleeping page is running
        state.ResumeTiming();
        QTcpSocket trivial;
        send(trivial, "/a.php");
        while (trivial.waitForReadyRead(5000)) {
        }
        state.PauseTiming();
        while (sleeper.waitForReadyRead(5000)) {
        }
        state.ResumeTiming();
    }
}
BENCHMARK(TrivialRequestBesideASleepingOne)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void StepShownInTheWindow(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString root = QDir(dir.path()).canonicalPath();
    QByteArray page = "<?php\n";
    for (int i = 0; i < 100; ++i)
        page += "$v" + QByteArray::number(i) + " = " + QByteArray::number(i) + ";\n";
    page += "for ($i = 0; $i < 100000000; ++$i) {\n    $v0 = $i;\n}\n";
    const QString file = root + QStringLiteral("/steps.php");
    writeText(file, page);
    TfmMain window(root + QStringLiteral("/ondrel"));
    window.resize(1200, 800);
    window.show();
    window.cbServeurIntegre->setChecked(true);
    window.session()->editedFile()->load(file);
    window.eFile->setText(file);
    window.eRacine->setText(root);
    auto *controller = window.findChild<DebugController *>(QStringLiteral("debugController"));
    auto *variables = window.findChild<QTreeWidget *>(QStringLiteral("tvVariables"));
    controller->toggleBreakpoint(102); // "$v0 = $i;"
    window.showPage(window.tsEdit);
    controller->debugPage();
    Debugger *debugger = controller->debugger();
    if (!QTest::qWaitFor([&] { return debugger->isPaused(); }, 30000)) {
        state.SkipWithError("no stop at the breakpoint");
        return;
    }
    int pauses = 0;
    QObject::connect(debugger, &Debugger::paused, [&pauses](const DebugPause &) { ++pauses; });
    // The window's stalls: a timer that should tick every 5 ms.
    QElapsedTimer since;
    qint64 worstGap = 0;
    QTimer ticks;
    ticks.setInterval(5);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        worstGap = std::max(worstGap, since.restart());
    });
    since.start();
    ticks.start();
    for (auto _ : state) {
        const int before = pauses;
        debugger->stepOver();
        while (pauses == before || variables->topLevelItemCount() < 100)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    ticks.stop();
    state.counters["worst_stall_ms"] = double(worstGap);
    state.counters["rows"] = double(variables->topLevelItemCount());
    debugger->stopScript();
    if (!QTest::qWaitFor([&] { return !debugger->hasSession(); }, 10000))
        state.SkipWithError("the stopped session did not end");
}
BENCHMARK(StepShownInTheWindow)->Unit(benchmark::kMillisecond)->Iterations(50)->UseRealTime();

} // namespace

ONDREL_QT_BENCHMARK_MAIN
