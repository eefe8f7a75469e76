#pragma once
// Test programs of the core alone (they link ondrel_core, no widgets) define their
// main with this macro: an event loop for the signals of worker objects.
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <ostream>

// Qt texts in GoogleTest's failure messages.
inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList &list, std::ostream *os) { *os << '[' << list.join(QStringLiteral(", ")).toStdString() << ']'; }

#define ONDREL_CORE_TEST_MAIN                                                  \
    int main(int argc, char **argv)                                            \
    {                                                                          \
        QCoreApplication app(argc, argv);                                      \
        ::testing::InitGoogleTest(&argc, argv);                                \
        return RUN_ALL_TESTS();                                                \
    }
