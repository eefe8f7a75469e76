#pragma once
// Test programs of the core alone (they link ondrel_core, no widgets) define their
// main with this macro: an event loop for the signals of worker objects.
#include "support/coresupport.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#define ONDREL_CORE_TEST_MAIN                                                  \
    int main(int argc, char **argv)                                            \
    {                                                                          \
        QCoreApplication app(argc, argv);                                      \
        ::testing::InitGoogleTest(&argc, argv);                                \
        return RUN_ALL_TESTS();                                                \
    }
