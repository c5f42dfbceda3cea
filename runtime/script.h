#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/exceptions.h"

namespace rt {

class FolderItem;

// A script that could not be started, exited with a non-zero status or was
// ended by a signal, a quit signal of this program's among them. The message
// names the script file, the status and what the script wrote to standard
// error.
class ScriptExecutionException : public RuntimeException {
 public:
  ScriptExecutionException(const std::string& message, std::string scriptName, int status,
                           std::string errorOutput)
      : RuntimeException(message),
        script_name_(std::move(scriptName)),
        status_(status),
        error_output_(std::move(errorOutput)) {}
  const char* ClassName() const override { return "ScriptExecutionException"; }
  const std::string& ScriptName() const { return script_name_; }
  // Exit status, or 128 + signal number for a script ended by a signal, or -1
  // when it could not be started.
  int Status() const { return status_; }
  const std::string& ErrorOutput() const { return error_output_; }

 private:
  std::string script_name_;
  int status_;
  std::string error_output_;
};

// Runs a compiled script file with string arguments and returns what it wrote
// to standard output, less one final LF. On macOS the file runs through
// /usr/bin/osascript; elsewhere the file is itself an executable program. The
// arguments are the program's argument vector (no shell), standard input is
// empty, and the call waits with no time limit for the script process to end;
// output that processes it started are still writing is not waited for.
// Raises NilObjectException for a null file and ScriptExecutionException on
// failure, without starting the script when an argument holds a NUL byte.
// While quit signals are installed (see quit_signal.h), a pending one keeps
// the script from starting, and one that arrives while it runs ends it and
// whatever it started: SIGTERM to its process group, then SIGKILL to the
// group once nothing in it is alive or about a second has passed, even when
// the script itself has ended by then. Either raises ScriptExecutionException
// and leaves the signal pending. The first call on a thread opens /dev/null
// and keeps it for the calls after it.
std::string ExecuteAppleScript(const std::shared_ptr<FolderItem>& file,
                               const std::vector<std::string>& arguments);

}  // namespace rt
