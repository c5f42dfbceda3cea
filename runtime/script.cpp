#include "runtime/script.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/folder_item.h"

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

// Spawn attributes that give the child an empty signal mask and the default
// action for the signals a caller commonly ignores (an ignored signal stays
// ignored across exec; a handled one is reset by exec itself).
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
    ::posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
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

// Reads both pipes until both are closed, so a child filling either one never
// waits for us while we wait for the other.
void Drain(Fd& outRead, Fd& errRead, std::string& out, std::string& err) {
  char buffer[65536];
  while (outRead.get() >= 0 || errRead.get() >= 0) {
    pollfd fds[2] = {{outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw IOException(std::string("poll failed: ") + std::strerror(errno), errno);
    }
    Fd* pipes[2] = {&outRead, &errRead};
    std::string* sinks[2] = {&out, &err};
    for (int i = 0; i < 2; ++i) {
      if (pipes[i]->get() < 0 || fds[i].revents == 0) continue;
      ssize_t n = ::read(pipes[i]->get(), buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        // End of output, or a pipe that cannot be read any more.
        pipes[i]->Reset();
      }
    }
  }
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

}  // namespace

std::string ExecuteAppleScript(const std::shared_ptr<FolderItem>& file,
                               const std::vector<std::string>& arguments) {
  const FolderItem& script = NotNil(file, "script file");
  const std::string name = script.DisplayName();

  std::vector<std::string> argv;
#ifdef __APPLE__
  argv.push_back("/usr/bin/osascript");
#endif
  argv.push_back(script.NativePath());
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> argp;
  argp.reserve(argv.size() + 1);
  for (std::string& a : argv) argp.push_back(a.data());
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
  try {
    Drain(outRead, errRead, out, err);
  } catch (...) {
    outRead.Reset();
    errRead.Reset();
    WaitFor(pid);
    throw;
  }
  const int status = WaitFor(pid);
  if (status < 0) Fail(name, -1, "could not be waited for", err);
  if (WIFSIGNALED(status)) {
    const int sig = WTERMSIG(status);
    Fail(name, 128 + sig, "was ended by signal " + std::to_string(sig), err);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
    const int code = WEXITSTATUS(status);
    Fail(name, code, "failed with status " + std::to_string(code), err);
  }
  return WithoutFinalLineEnd(std::move(out));
}

}  // namespace rt
