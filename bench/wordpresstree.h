#pragma once
// The WordPress tree that the site benchmarks run on: fetched by
// bench/wordpress-corpus.sh at the first run into the build folder, then reused.
// Needs ONDREL_BENCH_SCRIPT and ONDREL_BENCH_CORPUS (bench/CMakeLists.txt).

#include <QProcess>
#include <QString>

#include <cstdio>

/** The tree's folder, or an empty string (with a message) when it could not be fetched. */
inline QString wordPressTree()
{
    QProcess corpus;
    corpus.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    corpus.start(QStringLiteral("bash"), {QStringLiteral(ONDREL_BENCH_SCRIPT), QStringLiteral(ONDREL_BENCH_CORPUS)});
    if (!corpus.waitForFinished(600000) || corpus.exitCode() != 0) {
        std::fprintf(stderr, "the WordPress tree could not be fetched (bench/wordpress-corpus.sh)\n");
        return {};
    }
    return QString::fromLocal8Bit(corpus.readAllStandardOutput()).trimmed();
}
