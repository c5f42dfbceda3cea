#include "runtime/script.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "runtime/folder_item.h"
#include "runtime/quit_signal.h"

extern char** environ;

namespace rt {
namespace {

// Closes its descriptor when it goes out of scope, so no path leaks one.
class Fd {
 public:
  Fd() = default;
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int* out() { return &fd_; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// A pipe whose two ends are closed on exec, so another child started at the
// same time never inherits them; the child gets its end through dup2.
int MakePipe(Fd& readEnd, Fd& writeEnd) {
  int fds[2];
#ifdef __APPLE__
  if (::pipe(fds) != 0) return errno;
  for (int fd : fds) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
#else
  if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
#endif
  *readEnd.out() = fds[0];
  *writeEnd.out() = fds[1];
  return 0;
}

std::string WithoutFinalLineEnd(std::string s) {
  if (!s.empty() && s.back() == '\n') s.pop_back();
  return s;
}

[[noreturn]] void Fail(const std::string& scriptName, int status, const std::string& what,
                       const std::string& errorOutput) {
  std::string message = "script \"" + scriptName + "\" " + what;
  std::string shown = WithoutFinalLineEnd(errorOutput);
  if (!shown.empty()) message += ": " + shown;
  throw ScriptExecutionException(message, scriptName, status, errorOutput);
}

[[noreturn]] void FailToStart(const std::string& scriptName, int error) {
  Fail(scriptName, -1, std::string("could not be started (") + std::strerror(error) + ")", "");
}

// Spawn attributes that give the child an empty signal mask, the default
// action for the signals a caller commonly ignores (an ignored signal stays
// ignored across exec; a handled one is reset by exec itself) and a process
// group of its own, so that ending it on a quit signal ends whatever it
// started too.
class SpawnAttributes {
 public:
  SpawnAttributes() {
    ok_ = ::posix_spawnattr_init(&attr_) == 0;
    if (!ok_) return;
    sigset_t none, reset;
    sigemptyset(&none);
    sigemptyset(&reset);
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1,
                    SIGUSR2, SIGTSTP, SIGTTIN, SIGTTOU, SIGXFSZ}) {
      sigaddset(&reset, sig);
    }
    ::posix_spawnattr_setsigmask(&attr_, &none);
    ::posix_spawnattr_setsigdefault(&attr_, &reset);
    ::posix_spawnattr_setpgroup(&attr_, 0);
    ::posix_spawnattr_setflags(&attr_,
                               POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  }
  ~SpawnAttributes() {
    if (ok_) ::posix_spawnattr_destroy(&attr_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  const posix_spawnattr_t* get() const { return ok_ ? &attr_ : nullptr; }

 private:
  posix_spawnattr_t attr_;
  bool ok_ = false;
};

class FileActions {
 public:
  FileActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
  ~FileActions() {
    if (ok_) ::posix_spawn_file_actions_destroy(&actions_);
  }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  // Standard input from /dev/null, standard output and error to the pipes.
  int Prepare(int outFd, int errFd) {
    if (!ok_) return ENOMEM;
    if (int e = ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0)) return e;
    if (int e = ::posix_spawn_file_actions_adddup2(&actions_, outFd, 1)) return e;
    return ::posix_spawn_file_actions_adddup2(&actions_, errFd, 2);
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  bool ok_ = false;
};

// A descriptor that becomes readable when the process ends (Linux's pidfd);
// -1 where there is none, and then the wait polls for the end instead.
int OpenExitDescriptor(pid_t pid) {
#if defined(__linux__) && defined(SYS_pidfd_open)
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

// Reaps the script; true once it has ended, with its wait status (-1 when it
// cannot be waited for).
bool Reap(pid_t pid, int& status, bool block) {
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, block ? 0 : WNOHANG);
    if (r == pid) return true;
    if (r == 0) return false;
    if (errno != EINTR) {
      status = -1;
      return true;
    }
  }
}

// What the pipe holds right now, read without waiting for its other end to
// close: a child the script left behind may keep it open for ever.
void ReadWhatIsLeft(Fd& pipe, std::string& sink) {
  if (pipe.get() < 0) return;
  int left = 0;
  if (::ioctl(pipe.get(), FIONREAD, &left) != 0) left = 0;
  char buffer[65536];
  while (left > 0) {
    const ssize_t n = ::read(pipe.get(), buffer, std::min(sizeof buffer, static_cast<size_t>(left)));
    if (n > 0) {
      sink.append(buffer, static_cast<size_t>(n));
      left -= static_cast<int>(n);
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  pipe.Reset();
}

// Ends a script on a quit signal: its process group (the script and what it
// started) gets SIGTERM, and SIGKILL when the script has not ended about a
// second later. Returns the script's wait status.
int Terminate(pid_t pid) {
  ::kill(-pid, SIGTERM);
  int status = 0;
  for (int waited = 0; waited < 1000; waited += 10) {
    if (Reap(pid, status, false)) return status;
    ::poll(nullptr, 0, 10);
  }
  ::kill(-pid, SIGKILL);
  Reap(pid, status, true);
  return status;
}

struct Ending {
  int status = 0;     // wait status, -1 when it could not be had
  bool quit = false;  // ended on a quit signal
};

// Reads both pipes while the script runs, so a script filling either one
// never waits for us while we wait for the other, until the script process
// has ended; then takes what the pipes still hold. A quit signal ends the
// script instead.
Ending Wait(pid_t pid, Fd& outRead, Fd& errRead, std::string& out, std::string& err) {
  Fd exitFd;
  *exitFd.out() = OpenExitDescriptor(pid);
  const int quitFd = QuitSignalDescriptor();
  // Without an exit descriptor the end is looked for at every wake-up, and
  // after a quiet spell of at most 64 ms.
  int quiet = 1;
  Fd* pipes[2] = {&outRead, &errRead};
  std::string* sinks[2] = {&out, &err};
  char buffer[65536];
  Ending ending;
  for (;;) {
    pollfd fds[4] = {{outRead.get(), POLLIN, 0},
                     {errRead.get(), POLLIN, 0},
                     {exitFd.get(), POLLIN, 0},
                     {quitFd, POLLIN, 0}};
    const int ready = ::poll(fds, 4, exitFd.get() >= 0 ? -1 : quiet);
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw IOException(std::string("poll failed: ") + std::strerror(errno), errno);
    }
    for (int i = 0; i < 2; ++i) {
      if (pipes[i]->get() < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(pipes[i]->get(), buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        // End of output, or a pipe that cannot be read any more.
        pipes[i]->Reset();
      }
    }
    const bool mayHaveEnded = exitFd.get() < 0 || fds[2].revents != 0;
    if (mayHaveEnded && Reap(pid, ending.status, false)) {
      ReadWhatIsLeft(outRead, out);
      ReadWhatIsLeft(errRead, err);
      return ending;
    }
    if (quitFd >= 0 && (fds[3].revents & POLLIN) != 0) {
      // The byte stays in the pipe: the event loop still has to see it.
      ending.status = Terminate(pid);
      ending.quit = true;
      return ending;
    }
    quiet = ready > 0 && (fds[0].revents | fds[1].revents) != 0 ? 1 : std::min(quiet * 2, 64);
  }
}

}  // namespace

std::string ExecuteAppleScript(const std::shared_ptr<FolderItem>& file,
                               const std::vector<std::string>& arguments) {
  const FolderItem& script = NotNil(file, "script file");
  const std::string name = script.DisplayName();
  // The system would cut such an argument at its NUL byte without a word.
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i].find('\0') != std::string::npos) {
      Fail(name, -1, "was not started: argument " + std::to_string(i + 1) + " holds a NUL byte",
           "");
    }
  }
  if (QuitSignalPending()) Fail(name, -1, "was not started: the program is quitting", "");

  // The argument vector points into the strings themselves: position lists
  // run to many kilobytes, and the system copies them for the script anyway.
  // posix_spawn only reads them.
  std::vector<char*> argp;
  argp.reserve(arguments.size() + 3);
#ifdef __APPLE__
  static char osascript[] = "/usr/bin/osascript";
  argp.push_back(osascript);
#endif
  argp.push_back(const_cast<char*>(script.NativePath().c_str()));
  for (const std::string& a : arguments) argp.push_back(const_cast<char*>(a.c_str()));
  argp.push_back(nullptr);

  Fd outRead, outWrite, errRead, errWrite;
  if (int e = MakePipe(outRead, outWrite)) FailToStart(name, e);
  if (int e = MakePipe(errRead, errWrite)) FailToStart(name, e);
  FileActions actions;
  if (int e = actions.Prepare(outWrite.get(), errWrite.get())) FailToStart(name, e);
  SpawnAttributes attributes;

  pid_t pid = 0;
  if (int e = ::posix_spawn(&pid, argp[0], actions.get(), attributes.get(), argp.data(), environ)) {
    FailToStart(name, e);
  }
  // Only the child may hold the write ends, or the pipes never report their end.
  outWrite.Reset();
  errWrite.Reset();

  std::string out, err;
  Ending ending;
  try {
    ending = Wait(pid, outRead, errRead, out, err);
  } catch (...) {
    outRead.Reset();
    errRead.Reset();
    int status = 0;
    Reap(pid, status, true);
    throw;
  }
  const int status = ending.status;
  if (status < 0) Fail(name, -1, "could not be waited for", err);
  int code = 0;
  std::string what;
  if (WIFSIGNALED(status)) {
    code = 128 + WTERMSIG(status);
    what = "was ended by signal " + std::to_string(WTERMSIG(status));
  } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
    code = WEXITSTATUS(status);
    what = "failed with status " + std::to_string(code);
  }
  if (ending.quit) Fail(name, code, "was ended by a quit signal", err);
  if (!what.empty()) Fail(name, code, what, err);
  return WithoutFinalLineEnd(std::move(out));
}

}  // namespace rt
