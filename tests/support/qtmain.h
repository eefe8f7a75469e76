#pragma once
// Test programs that need a QApplication define their main with this macro.
#include <QApplication>
#include <gtest/gtest.h>
#include <cstdlib>
#include <unistd.h>

#define ONDREL_QT_TEST_MAIN                                                    \
    int main(int argc, char **argv)                                            \
    {                                                                          \
        if (::geteuid() == 0)                                                  \
            ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);                   \
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);                           \
        QApplication app(argc, argv);                                          \
        ::testing::InitGoogleTest(&argc, argv);                                \
        return RUN_ALL_TESTS();                                                \
    }
