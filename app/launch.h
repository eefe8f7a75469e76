#pragma once

#include "app/commandline.h"

/**
 * What the `ondrel` executable hands to the window module once it knows this
 * launch opens a window. The executable itself links Qt Core only, so that
 * `--help`, `--version` and a hand-over to a running window never load the
 * libraries of the window and the web engine; the module holds everything else.
 */
struct WindowLaunch
{
    CommandLine line;
    QString socketPath; // where the window serves later launches; empty: it does not
};

/** The module's entry point, looked up by this name: runs the window, returns the exit status. */
extern "C" int ondrelRunWindow(int argc, char **argv, const WindowLaunch *launch);
inline constexpr char kRunWindowSymbol[] = "ondrelRunWindow";
