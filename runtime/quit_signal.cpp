#include "runtime/quit_signal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace rt {
namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kQuitSignalCount = sizeof kQuitSignals / sizeof kQuitSignals[0];

// The actions the signals had before the handler took them over, put back on
// removal; a signal that was ignored is left alone and not listed.
struct sigaction g_before[kQuitSignalCount];
bool g_taken[kQuitSignalCount] = {};

// [0] is read by the program, [1] written by the handler. Both ends are
// non-blocking, so a burst of signals never blocks the handler, and closed on
// exec, so no script inherits them.
int g_pipe[2] = {-1, -1};

void OnQuitSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
  errno = saved;
}

bool MakePipe(int fds[2]) {
#ifdef __APPLE__
  if (::pipe(fds) != 0) return false;
  for (int i = 0; i < 2; ++i) {
    ::fcntl(fds[i], F_SETFD, FD_CLOEXEC);
    ::fcntl(fds[i], F_SETFL, O_NONBLOCK);
  }
  return true;
#else
  return ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0;
#endif
}

}  // namespace

bool InstallQuitSignals() {
  if (g_pipe[0] >= 0) return true;
  if (!MakePipe(g_pipe)) return false;
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < kQuitSignalCount; ++i) {
    // A signal ignored from the start (nohup, a background job of a shell
    // without job control) was meant not to reach the program; it stays so.
    if (::sigaction(kQuitSignals[i], nullptr, &g_before[i]) != 0 ||
        g_before[i].sa_handler == SIG_IGN) {
      continue;
    }
    g_taken[i] = ::sigaction(kQuitSignals[i], &action, nullptr) == 0;
  }
  return true;
}

void RemoveQuitSignals() {
  if (g_pipe[0] < 0) return;
  for (int i = 0; i < kQuitSignalCount; ++i) {
    if (g_taken[i]) ::sigaction(kQuitSignals[i], &g_before[i], nullptr);
    g_taken[i] = false;
  }
  ::close(g_pipe[0]);
  ::close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

int QuitSignalDescriptor() { return g_pipe[0]; }

bool QuitSignalPending() {
  if (g_pipe[0] < 0) return false;
  pollfd pending = {g_pipe[0], POLLIN, 0};
  return ::poll(&pending, 1, 0) > 0 && (pending.revents & POLLIN) != 0;
}

void ConsumeQuitSignals() {
  if (g_pipe[0] < 0) return;
  char bytes[16];
  while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
  }
}

}  // namespace rt
