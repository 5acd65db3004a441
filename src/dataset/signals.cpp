#include "dataset/signals.h"

#include <atomic>
#include <cstring>

#include "dataset/pending_file.h"

#ifndef _WIN32
#include <pthread.h>
#include <unistd.h>
#endif

namespace scab {
namespace {

// Everything the handler reads is set before it is marked ready, and is lock-free: a handler
// may only touch what is safe in one.
std::atomic<int> holds{0};             // SignalsHeldBack alive
std::atomic<int> held_back_signal{0};  // a signal that came meanwhile, to take effect after

#ifndef _WIN32
std::atomic<bool> terminal_modes_set{false};
int terminal_fd = -1;
termios terminal_modes;
#endif

extern "C" void clean_up_and_end(int signal_number) {
  if (holds.load() > 0) {
    held_back_signal.store(signal_number);
    return;
  }
#ifndef _WIN32
  if (terminal_modes_set.load()) tcsetattr(terminal_fd, TCSANOW, &terminal_modes);
#endif
  remove_pending_files_now();
  // The signal, raised again with its default action, ends the process as soon as this handler
  // returns (it is blocked until then).
#ifdef _WIN32
  std::signal(signal_number, SIG_DFL);
#else
  struct sigaction default_action;
  std::memset(&default_action, 0, sizeof default_action);
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(signal_number, &default_action, nullptr);
#endif
  std::raise(signal_number);
}

#ifndef _WIN32
const int kCleanedUp[] = {SIGINT,  SIGTERM, SIGHUP,  SIGPIPE,   SIGQUIT, SIGXCPU,
                          SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF};

// The signals held back: every one that can be caught but those that a fault raises in the
// thread that commits it, which must not be blocked.
sigset_t held_back_set() {
  sigset_t set;
  sigfillset(&set);
  for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT, SIGSYS})
    sigdelset(&set, fault);
  return set;
}
#endif

}  // namespace

void install_signal_cleanup() {
#ifdef _WIN32
  for (const int signal_number : {SIGINT, SIGTERM, SIGBREAK})
    std::signal(signal_number, clean_up_and_end);
#else
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = clean_up_and_end;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : kCleanedUp)
    sigaddset(&action.sa_mask, signal_number);
  for (const int signal_number : kCleanedUp) {
    struct sigaction inherited;
    if (sigaction(signal_number, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
      continue;  // nohup, or a background job: the parent wants it ignored
    sigaction(signal_number, &action, nullptr);
  }
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

SignalsHeldBack::SignalsHeldBack() {
  holds.fetch_add(1);
#ifndef _WIN32
  const sigset_t set = held_back_set();
  pthread_sigmask(SIG_BLOCK, &set, &previous_);
#endif
}

SignalsHeldBack::~SignalsHeldBack() {
  // A signal this thread blocked meanwhile is delivered as the mask is put back; one that
  // another thread took is raised here. Either finds no hold left and ends the process.
  const bool last = holds.fetch_sub(1) == 1;
#ifndef _WIN32
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
#endif
  if (!last) return;
  if (const int signal_number = held_back_signal.exchange(0)) std::raise(signal_number);
}

#ifndef _WIN32
void remember_terminal_modes(int fd, const termios& modes) {
  terminal_modes_set.store(false);
  terminal_fd = fd;
  terminal_modes = modes;
  terminal_modes_set.store(true);
}

void forget_terminal_modes() {
  terminal_modes_set.store(false);
}
#endif

}  // namespace scab
