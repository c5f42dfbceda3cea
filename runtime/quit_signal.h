#pragma once

// The quit signals (SIGTERM, SIGINT, SIGHUP: the session ending, Ctrl+C in the
// terminal that started the program) turned into a byte on a pipe. The signal
// handler only writes that byte; whoever watches the pipe's read end acts on
// it: the event loop runs the quit action, and a script that is running when
// the byte arrives is ended (see ExecuteAppleScript). Only
// ConsumeQuitSignals takes the byte away.

namespace rt {

// Makes the pipe and installs the handlers; false when the pipe cannot be made
// (the signals then keep their actions). A signal that is ignored at that
// moment stays ignored. Installing again changes nothing.
bool InstallQuitSignals();
// Gives the signals back the actions they had before, and closes the pipe.
void RemoveQuitSignals();
// The pipe's read end, readable while a quit signal is pending; -1 when the
// handlers are not installed.
int QuitSignalDescriptor();
// Whether a quit signal has arrived that nobody has consumed yet.
bool QuitSignalPending();
// Takes every pending quit signal away.
void ConsumeQuitSignals();

}  // namespace rt
