#include "runtime/script.h"

#include <dirent.h>
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
#include <cstdio>
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

// A descriptor numbered 3 or above. The program may have been started with a
// standard descriptor closed, and then a new one takes its number; handed to
// the child as is, it would be overwritten by another of the child's
// standard descriptors before its own turn.
int AboveStandardDescriptors(int fd) {
  if (fd < 0 || fd > 2) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  ::close(fd);
  return moved;
}

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
  *readEnd.out() = AboveStandardDescriptors(fds[0]);
  if (readEnd.get() < 0) {
    const int error = errno;
    ::close(fds[1]);
    return error;
  }
  *writeEnd.out() = AboveStandardDescriptors(fds[1]);
  return writeEnd.get() < 0 ? errno : 0;
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

// What every start needs and none changes, made once per thread rather than
// at every start: the spawn attributes (an empty signal mask, the default
// action for the signals a caller commonly ignores, since an ignored signal
// stays ignored across exec and a handled one is reset by exec itself, and a
// process group of its own, so that ending the script ends whatever it
// started too) and /dev/null for standard input. The file actions that hand
// the child its descriptors are kept for the pipe ends they name: building
// them costs the system a call each, and the ends of one call mostly have the
// numbers of the last call's.
class Launcher {
 public:
  Launcher() {
    if (::posix_spawnattr_init(&attr_) != 0) return;
    sigset_t none, reset;
    sigemptyset(&none);
    sigemptyset(&reset);
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1,
                    SIGUSR2, SIGTSTP, SIGTTIN, SIGTTOU, SIGXFSZ}) {
      sigaddset(&reset, sig);
    }
    own_group_ = ::posix_spawnattr_setsigmask(&attr_, &none) == 0 &&
                 ::posix_spawnattr_setsigdefault(&attr_, &reset) == 0 &&
                 ::posix_spawnattr_setpgroup(&attr_, 0) == 0 &&
                 ::posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                        POSIX_SPAWN_SETPGROUP) == 0;
    if (!own_group_) ::posix_spawnattr_destroy(&attr_);
  }
  ~Launcher() {
    if (own_group_) ::posix_spawnattr_destroy(&attr_);
    DropActions();
  }
  Launcher(const Launcher&) = delete;
  Launcher& operator=(const Launcher&) = delete;

  // Null when the attributes could not be made: the script then shares the
  // program's process group.
  const posix_spawnattr_t* Attributes() const { return own_group_ ? &attr_ : nullptr; }
  bool OwnGroup() const { return own_group_; }

  // Actions that give the child /dev/null as standard input and the two
  // write ends as standard output and error; an error number when they
  // cannot be made.
  int Actions(int outFd, int errFd, const posix_spawn_file_actions_t*& actions) {
    if (null_.get() < 0) {
      *null_.out() = AboveStandardDescriptors(::open("/dev/null", O_RDONLY | O_CLOEXEC));
      if (null_.get() < 0) return errno;
    }
    if (!ready_ || out_ != outFd || err_ != errFd) {
      DropActions();
      if (int e = ::posix_spawn_file_actions_init(&actions_)) return e;
      ready_ = true;
      int e = ::posix_spawn_file_actions_adddup2(&actions_, null_.get(), 0);
      if (e == 0) e = ::posix_spawn_file_actions_adddup2(&actions_, outFd, 1);
      if (e == 0) e = ::posix_spawn_file_actions_adddup2(&actions_, errFd, 2);
      if (e != 0) {
        DropActions();
        return e;
      }
      out_ = outFd;
      err_ = errFd;
    }
    actions = &actions_;
    return 0;
  }

 private:
  void DropActions() {
    if (ready_) ::posix_spawn_file_actions_destroy(&actions_);
    ready_ = false;
  }

  posix_spawnattr_t attr_;
  bool own_group_ = false;
  Fd null_;
  posix_spawn_file_actions_t actions_;
  bool ready_ = false;
  int out_ = -1, err_ = -1;
};

Launcher& ThisThreadsLauncher() {
  thread_local Launcher launcher;
  return launcher;
}

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

// Whether the script has ended, without reaping it.
bool Ended(pid_t pid) {
  for (;;) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0) {
      return info.si_pid == pid;
    }
    if (errno != EINTR) return true;  // nothing left to wait for
  }
}

// Whether a process of group `group` is still alive (a zombie is not); true
// when that cannot be told.
bool GroupHasLiveProcess(pid_t group) {
#if defined(__linux__)
  DIR* processes = ::opendir("/proc");
  if (processes == nullptr) return true;
  bool live = false;
  while (!live) {
    const dirent* entry = ::readdir(processes);
    if (entry == nullptr) break;
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    char path[sizeof entry->d_name + 16];
    std::snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    char stat[512];
    const ssize_t n = ::read(fd, stat, sizeof stat - 1);
    ::close(fd);
    if (n <= 0) continue;
    stat[n] = '\0';
    // "pid (name) state ppid pgrp ...": the name may hold anything, so the
    // fields are read after its last ")".
    const char* nameEnd = std::strrchr(stat, ')');
    char state = 0;
    long parent = 0, processGroup = 0;
    live = nameEnd != nullptr &&
           std::sscanf(nameEnd + 1, " %c %ld %ld", &state, &parent, &processGroup) == 3 &&
           processGroup == group && state != 'Z' && state != 'X';
  }
  ::closedir(processes);
  return live;
#else
  (void)group;
  return true;
#endif
}

// Ends a script that has not ended by itself: SIGTERM to its process group
// (the script and what it started), then SIGKILL to the group once nothing
// in it is alive any more or about a second has passed, also when the script
// itself has ended by then, since a child it leaves may ignore SIGTERM. The
// script is reaped only after that, so that its group id cannot pass to
// another process while the signals go to it. A script without a group of
// its own gets the signals alone. Returns its wait status.
int Terminate(pid_t pid, bool ownGroup) {
  const pid_t target = ownGroup ? -pid : pid;
  ::kill(target, SIGTERM);
  for (int waited = 0; waited < 1000; waited += 10) {
    ::poll(nullptr, 0, 10);
    if (Ended(pid) && (!ownGroup || !GroupHasLiveProcess(pid))) break;
  }
  ::kill(target, SIGKILL);
  int status = 0;
  Reap(pid, status, true);
  return status;
}

struct Ending {
  int status = 0;       // wait status, -1 when it could not be had
  bool quit = false;    // ended on a quit signal
  bool reaped = false;  // waited for: its process id may be another's by now
};

// Reads both pipes while the script runs, so a script filling either one
// never waits for us while we wait for the other, until the script process
// has ended; then takes what the pipes still hold. A quit signal ends the
// script instead. `ending` tells, also when this throws, whether the script
// has been reaped.
void Wait(pid_t pid, bool ownGroup, Fd& outRead, Fd& errRead, std::string& out, std::string& err,
          Ending& ending) {
  Fd exitFd;
  *exitFd.out() = OpenExitDescriptor(pid);
  const int quitFd = QuitSignalDescriptor();
  // Without an exit descriptor the end is looked for at every wake-up, and
  // after a quiet spell of at most 64 ms.
  int quiet = 1;
  Fd* pipes[2] = {&outRead, &errRead};
  std::string* sinks[2] = {&out, &err};
  char buffer[65536];
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
      ending.reaped = true;
      ReadWhatIsLeft(outRead, out);
      ReadWhatIsLeft(errRead, err);
      return;
    }
    if (quitFd >= 0 && (fds[3].revents & POLLIN) != 0) {
      // The byte stays in the pipe: the event loop still has to see it.
      ending.status = Terminate(pid, ownGroup);
      ending.reaped = true;
      ending.quit = true;
      return;
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
  Launcher& launcher = ThisThreadsLauncher();
  const posix_spawn_file_actions_t* actions = nullptr;
  if (int e = launcher.Actions(outWrite.get(), errWrite.get(), actions)) FailToStart(name, e);

  pid_t pid = 0;
  if (int e = ::posix_spawn(&pid, argp[0], actions, launcher.Attributes(), argp.data(), environ)) {
    FailToStart(name, e);
  }
  const bool ownGroup = launcher.OwnGroup();
  // Only the child may hold the write ends, or the pipes never report their end.
  outWrite.Reset();
  errWrite.Reset();

  std::string out, err;
  Ending ending;
  try {
    Wait(pid, ownGroup, outRead, errRead, out, err, ending);
  } catch (...) {
    // Nothing reads the pipes any more, and the script is ended before it is
    // waited for, so that this wait has an end.
    outRead.Reset();
    errRead.Reset();
    if (!ending.reaped) Terminate(pid, ownGroup);
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
