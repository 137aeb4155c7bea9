#pragma once
// The termination signals (SIGTERM, SIGINT, SIGHUP) turned into a byte on a
// pipe, so that an event loop can answer them outside the signal handler (a
// QSocketNotifier on the read end).
namespace vexlo::termination {

// Installs the handlers (once) and returns the pipe's read end (non-blocking,
// closed on exec); -1 when no pipe could be made: the handlers then only
// record the signal.
int signalPipe();
// True once one of the signals has arrived.
bool requested();
// Reads every byte that waits on the pipe.
void drainSignalPipe();

} // namespace vexlo::termination
