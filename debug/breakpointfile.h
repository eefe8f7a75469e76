#pragma once

#include "debug/debugger.h"

#include <QString>

#include <vector>

// The side file that keeps the breakpoints between runs: one a line,
// "LINE<TAB>PATH[<TAB>CONDITION]", LINE 1-based. A line that does not read so
// is skipped; a tab or line break in a condition is written as a space.

std::vector<DebugBreakpoint> readBreakpoints(const QString &path);
/** Writes the whole list at once (atomically); false when the file cannot be written. */
bool writeBreakpoints(const QString &path, const std::vector<DebugBreakpoint> &breakpoints);
