#pragma once
// Test programs that need a QApplication define their main with this macro.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstdlib>
#include <unistd.h>

#define ONDREL_QT_TEST_MAIN                                                    \
    int main(int argc, char **argv)                                            \
    {                                                                          \
        if (::geteuid() == 0)                                                  \
            ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);                   \
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);                           \
        /* Journals of unsaved text go to a folder of this run (children too). */ \
        QTemporaryDir cacheHome;                                               \
        ::setenv("XDG_CACHE_HOME", cacheHome.path().toLocal8Bit().constData(), 1); \
        QApplication app(argc, argv);                                          \
        ::testing::InitGoogleTest(&argc, argv);                                \
        return RUN_ALL_TESTS();                                                \
    }
