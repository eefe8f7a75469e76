#pragma once
// What only root may do, for the few tests that need it: run a command as another
// account, or as the first process of a PID namespace of its own.
//
// The rule, the same for every test: a test run by root does it itself; a user whom
// sudo lets act without a password (`sudo -n`, as test.sh itself installs packages)
// does it through sudo. A PID namespace is made without root where the kernel allows
// user namespaces (Debian's default), never through sudo: a process sudo started as root
// would outlive a test that kills its starter. Anyone else gets the test skipped (ONDREL_SKIP_WITHOUT), with a
// line that says why, also appended to the file named by $ONDREL_SKIP_LOG, which
// test.sh counts and names at the end of the run. Only such tests may skip.
#include <QStringList>

#include <gtest/gtest.h>

#include <string>

/** Whether the tests run as root. */
bool runsAsRoot();

/** Whether `sudo -n` runs a command as root for this user, without asking for a password
 *  (asked once per test program; false when sudo is not installed). */
bool sudoAllowed();

/** Whether this run may run commands as another account (as root or through sudo). */
bool canSwitchAccounts();

/** The command line that runs `argv` as the account nobody (group nogroup, no other
 *  groups), as a stranger on the same machine would; empty when this run may not switch
 *  accounts. Through sudo the environment is sudo's, not the test's. */
QStringList asNobody(const QStringList &argv);

/** The command line that runs `argv` as the first process (pid 1) of a PID namespace of
 *  its own, as the same user with the test's environment; the namespace, with all that
 *  runs in it, is killed when that command ends or is killed. Empty when none can be made. */
QStringList inPidNamespace(const QStringList &argv);

/** Notes that the running test is skipped for `why` (in $ONDREL_SKIP_LOG when it is set)
 *  and gives the message to skip with. */
std::string notedSkip(const std::string &why);

/** Skips the running test, saying why and noting it for test.sh's closing count. */
#define ONDREL_SKIP_WITHOUT(why) GTEST_SKIP() << notedSkip(why)
