#pragma once

class QProcess;

/**
 * Ties a child process to Ondrel, before `process` starts: the child goes into
 * a process group of its own (so that ending the group ends what it starts in
 * turn), and the kernel kills it with SIGKILL when Ondrel dies, however that
 * happens. A child whose Ondrel died before the tie took hold ends at once
 * (exit status 127) instead of running unowned.
 */
void tieToOndrel(QProcess &process);
