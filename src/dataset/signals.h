// What a signal that ends the program does first, and the stretches it may not cut short.
//
// A signal that ends the program (Ctrl+C, kill, a closed terminal, a CPU time limit, ...) first
// puts the terminal's modes back when a key read had changed them, and removes every pending
// temporary file (dataset/pending_file.h); then it ends the process as it would have. While a set
// of files is being put in place, such a signal waits until the set is whole.
#pragma once

#include <csignal>

#ifndef _WIN32
#include <termios.h>
#endif

namespace scab {

// From now on SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGXCPU, SIGUSR1, SIGUSR2, SIGALRM,
// SIGVTALRM and SIGPROF do that cleanup first. A signal that the program found ignored when it
// started stays ignored (nohup, a background job of a shell without job control). SIGXFSZ is
// ignored, so that a file size limit shows as a write that fails. For a program's main alone:
// a test process keeps its own handlers.
void install_signal_cleanup();

// While one lives, the catchable signals are held back: this thread blocks them, and one that
// another thread receives waits. When the last one goes, a signal held back meanwhile takes
// effect. Nothing it guards may wait on anything outside the program.
class SignalsHeldBack {
 public:
  SignalsHeldBack();
  ~SignalsHeldBack();
  SignalsHeldBack(const SignalsHeldBack&) = delete;
  SignalsHeldBack& operator=(const SignalsHeldBack&) = delete;

 private:
#ifndef _WIN32
  sigset_t previous_;
#endif
};

#ifndef _WIN32
// The modes that the terminal `fd` had before a key read changed them: a signal puts them back
// until forget_terminal_modes() is called.
void remember_terminal_modes(int fd, const termios& modes);
void forget_terminal_modes();
#endif

}  // namespace scab
