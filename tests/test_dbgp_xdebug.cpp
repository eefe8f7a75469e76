// The debugger against the real Xdebug: `php -S` started as Ondrel starts it
// for debugging, a page of three files, breakpoints, steps, frames, a
// conditional breakpoint, a stop on a warning and "Arrêter".
#include "debug/debugger.h"
#include "debug/xdebugsetup.h"
#include "preview/phpserver.h"
#include "base/ports.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "support/coremain.h"

#include <memory>

namespace {

const char *const kIndex = R"(<?php
require __DIR__ . '/lib.php';
require __DIR__ . '/cart.php';
$items = [3, 4, 5];
$total = cartTotal($items);
$long = str_repeat('x', 2000);
$big = range(1, 250);
echo "total=$total\n";
$missing = $nothing;
echo "fin\n";
)";
const char *const kLib = R"(<?php
function twice(int $n): int
{
    $double = $n * 2;
    return $double;
}
)";
const char *const kCart = R"(<?php
function cartTotal(array $items): int
{
    $sum = 0;
    foreach ($items as $item) {
        $sum += twice($item);
    }
    return $sum;
}
)";

/** The page's folder, `php -S` with Xdebug aimed at a Debugger, and requests to it. */
class XdebugPage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const auto &[name, text] : {std::pair{"index.php", kIndex}, {"lib.php", kLib}, {"cart.php", kCart}}) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(text);
        }
        root = QDir(dir.path()).canonicalPath();
        ASSERT_TRUE(debugger.listen(pickLoopbackPort()));
        const XdebugAvailability xdebug = probeXdebug(phpExecutable());
        ASSERT_NE(xdebug, XdebugAvailability::Missing) << "php-xdebug is part of the test set of scripts/setup.sh";
        for (int attempt = 0; attempt < 5 && !started; ++attempt) {
            port = pickLoopbackPort();
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QString::fromLatin1(kXdebugKeyVariable), debugger.listener().ideKey());
            php.setProcessEnvironment(env);
            php.setProcessChannelMode(QProcess::MergedChannels);
            php.start(phpExecutable(), QStringList{QStringLiteral("-S"), QStringLiteral("127.0.0.1:%1").arg(port),
                                                   QStringLiteral("-t"), root}
                                           + xdebugServerArguments(xdebug, debugger.listener().port()));
            started = QTest::qWaitFor([this] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, quint16(port));
                return probe.waitForConnected(100) || php.state() == QProcess::NotRunning;
            }, 10000) && php.state() == QProcess::Running;
            if (!started)
                php.waitForFinished(2000);
        }
        ASSERT_TRUE(started) << php.readAll().toStdString();
    }
    void TearDown() override
    {
        debugger.detach();
        php.terminate();
        if (!php.waitForFinished(3000))
            php.kill();
        php.waitForFinished(3000);
    }

    QString file(const char *name) const { return root + QLatin1Char('/') + QString::fromLatin1(name); }
    /** Requests the page, with the trigger when `debug`. */
    QNetworkReply *request(bool debug = true)
    {
        QString url = QStringLiteral("http://127.0.0.1:%1/index.php").arg(port);
        if (debug)
            url += QLatin1Char('?') + xdebugTrigger(debugger.listener().ideKey());
        return network.get(QNetworkRequest(QUrl(url)));
    }
    bool waitPaused(size_t count)
    {
        return QTest::qWaitFor([&] { return pauses.size() >= count; }, 15000);
    }
    const DebugPause &pause() const { return pauses.back(); }
    static QString value(const std::vector<DbgpProperty> &props, const char *name)
    {
        for (const DbgpProperty &p : props)
            if (p.name == QString::fromLatin1(name))
                return p.type + QLatin1Char(':') + p.value;
        return QStringLiteral("(none)");
    }

    QTemporaryDir dir;
    QString root;
    QProcess php;
    int port = 0;
    bool started = false;
    Debugger debugger;
    QNetworkAccessManager network;
    std::vector<DebugPause> pauses;
    QStringList ends;
    void connectSpies()
    {
        QObject::connect(&debugger, &Debugger::paused, [this](const DebugPause &p) { pauses.push_back(p); });
        QObject::connect(&debugger, &Debugger::sessionEnded, [this](const QString &r) { ends << r; });
    }
};

TEST_F(XdebugPage, BreakpointInIncludedFileStepsAndFrames)
{
    connectSpies();
    debugger.setBreakpoints({{file("cart.php"), 4, {}}});
    std::unique_ptr<QNetworkReply> reply(request());
    ASSERT_TRUE(waitPaused(1));
    EXPECT_EQ(pause().file, file("cart.php"));
    EXPECT_EQ(pause().line, 4);
    ASSERT_EQ(pause().stack.size(), 2u);
    EXPECT_EQ(pause().stack[0].where, QStringLiteral("cartTotal"));
    EXPECT_EQ(pause().stack[1].file, file("index.php"));
    EXPECT_EQ(pause().stack[1].line, 5);
    EXPECT_EQ(value(pause().locals, "$items"), QStringLiteral("array:"));
    EXPECT_EQ(value(pause().locals, "$sum"), QStringLiteral("uninitialized:"));

    // The caller's frame has its own variables.
    std::vector<DbgpProperty> outer;
    bool fetched = false;
    debugger.fetchContext(1, 0, [&](bool ok, const std::vector<DbgpProperty> &p) { fetched = ok; outer = p; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return fetched; }, 5000));
    EXPECT_EQ(value(outer, "$total"), QStringLiteral("uninitialized:"));
    EXPECT_EQ(value(outer, "$sum"), QStringLiteral("(none)"));

    const struct
    {
        bool (Debugger::*step)();
        const char *file;
        int line;
        const char *local;
        const char *value;
    } steps[] = {
        {&Debugger::stepOver, "cart.php", 5, "$sum", "int:0"},
        {&Debugger::stepOver, "cart.php", 6, "$item", "int:3"},
        {&Debugger::stepInto, "lib.php", 4, "$n", "int:3"},
        {&Debugger::stepOut, "cart.php", 6, "$sum", "int:6"}, // back after the call: the sum holds its result
    };
    size_t count = 1;
    for (const auto &s : steps) {
        SCOPED_TRACE(std::string(s.file) + ":" + std::to_string(s.line));
        ASSERT_TRUE((debugger.*s.step)());
        ASSERT_TRUE(waitPaused(++count));
        EXPECT_EQ(pause().file, file(s.file));
        EXPECT_EQ(pause().line, s.line);
        EXPECT_EQ(value(pause().locals, s.local), QString::fromLatin1(s.value));
    }
    ASSERT_TRUE(debugger.continueRun());
    ASSERT_TRUE(QTest::qWaitFor([&] { return reply->isFinished(); }, 15000));
    EXPECT_TRUE(reply->readAll().contains("total=24"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ends.size() == 1; }, 5000));
    EXPECT_EQ(ends.at(0), QString());
    EXPECT_FALSE(debugger.hasSession());
}

TEST_F(XdebugPage, ConditionalBreakpointWatchesAndPagedValues)
{
    connectSpies();
    debugger.setBreakpoints({{file("cart.php"), 6, QStringLiteral("$item == 5")}, {file("index.php"), 8, {}}});
    debugger.setWatches({QStringLiteral("$sum * 10"), QStringLiteral("nosuchfunction()")});
    std::vector<DebugWatch> watches;
    QObject::connect(&debugger, &Debugger::watchesUpdated, [&](const std::vector<DebugWatch> &w) { watches = w; });
    std::unique_ptr<QNetworkReply> reply(request());
    ASSERT_TRUE(waitPaused(1));
    EXPECT_EQ(pause().line, 6);
    EXPECT_EQ(value(pause().locals, "$item"), QStringLiteral("int:5"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return watches.size() == 2; }, 5000));
    EXPECT_TRUE(watches[0].ok);
    EXPECT_EQ(watches[0].value.value, QStringLiteral("140"));
    EXPECT_FALSE(watches[1].ok && watches[1].value.type != QLatin1String("error"));

    ASSERT_TRUE(debugger.continueRun());
    ASSERT_TRUE(waitPaused(2));
    EXPECT_EQ(pause().file, file("index.php"));
    EXPECT_EQ(pause().line, 8);
    // A long string is shortened in the list and comes whole on demand.
    DbgpProperty longValue;
    for (const DbgpProperty &p : pause().locals)
        if (p.name == QLatin1String("$long"))
            longValue = p;
    EXPECT_TRUE(longValue.isShortened());
    EXPECT_EQ(longValue.size, 2000);
    QString whole;
    debugger.fetchWholeValue(QStringLiteral("$long"), 0, 0, [&](bool ok, const QString &v) { if (ok) whole = v; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !whole.isEmpty(); }, 5000));
    EXPECT_EQ(whole, QString(2000, QLatin1Char('x')));
    // An array of 250 opens page by page.
    const struct { int page; int first; size_t count; } pages[] = {{0, 1, 100}, {2, 201, 50}};
    for (const auto &p : pages) {
        SCOPED_TRACE(p.page);
        DbgpProperty got;
        bool done = false;
        debugger.fetchChildren(QStringLiteral("$big"), 0, 0, p.page, [&](bool ok, const DbgpProperty &v) { done = ok; got = v; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
        EXPECT_EQ(got.childCount, 250);
        ASSERT_EQ(got.children.size(), p.count);
        EXPECT_EQ(got.children.front().value, QString::number(p.first));
    }
    bool hovered = false;
    debugger.fetchVariable(QStringLiteral("$total"), [&](bool ok, const DbgpProperty &v) { hovered = ok && v.value == QLatin1String("24"); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return hovered; }, 5000));
    debugger.continueRun();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reply->isFinished(); }, 15000));
}

TEST_F(XdebugPage, StopsOnWarningAndArreterEndsTheScript)
{
    connectSpies();
    debugger.setStopOnErrors(true);
    std::unique_ptr<QNetworkReply> reply(request());
    ASSERT_TRUE(waitPaused(1));
    EXPECT_EQ(pause().file, file("index.php"));
    EXPECT_EQ(pause().line, 9);
    EXPECT_EQ(pause().exception, QStringLiteral("Warning"));
    EXPECT_TRUE(pause().message.contains(QLatin1String("$nothing")));
    debugger.stopScript();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ends.size() == 1; }, 5000));
    EXPECT_EQ(ends.at(0), QString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return reply->isFinished(); }, 15000));
    EXPECT_FALSE(reply->readAll().contains("fin"));

    // Without the trigger, the page runs through with no session at all.
    std::unique_ptr<QNetworkReply> plain(request(false));
    ASSERT_TRUE(QTest::qWaitFor([&] { return plain->isFinished(); }, 15000));
    EXPECT_TRUE(plain->readAll().contains("fin"));
    EXPECT_EQ(pauses.size(), 1u);
}

} // namespace

ONDREL_CORE_TEST_MAIN
