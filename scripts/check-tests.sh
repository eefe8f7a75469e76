#!/usr/bin/env bash
# Fails when a test uses QtTest's assertion macros. Inside a GoogleTest test they
# record the failure in QtTest and return, and GoogleTest still reports a pass:
# use ASSERT_/EXPECT_, with QTest::qWaitFor for waits.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if hits=$(grep -rnE '\b(QVERIFY[A-Z0-9_]*|QCOMPARE[A-Z0-9_]*|QTRY_[A-Z0-9_]+)\b' \
        --include='*.cpp' --include='*.h' "$root/tests" "$root/bench"); then
    echo "QtTest assertion macros check nothing in a GoogleTest test:" >&2
    echo "$hits" >&2
    exit 1
fi
