#pragma once
// The main of a benchmark program that needs a QApplication (headless unless a
// display is asked for). `before` runs once, after the application exists.
#include <QApplication>
#include <QByteArray>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <unistd.h>

/** `piece` repeated until the text holds at least `size` bytes (whole pieces). */
inline QByteArray repeatedTo(const QByteArray &piece, qsizetype size)
{
    QByteArray text;
    text.reserve(size + piece.size());
    while (text.size() < size)
        text += piece;
    return text;
}

template <typename Before>
int runQtBenchmarks(int argc, char **argv, Before before)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0); // Chromium's sandbox cannot start as root
    QTemporaryDir cacheHome; // journals of unsaved text stay out of the user's cache
    ::setenv("XDG_CACHE_HOME", cacheHome.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    before();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#define ONDREL_QT_BENCHMARK_MAIN                                                                   \
    int main(int argc, char **argv) { return runQtBenchmarks(argc, argv, [] {}); }
