// Ctrl+C while the module works on an array without the GIL (analyse(), roughness_map()).
//
// Python's handler of a signal runs only when the thread that called into the module takes the
// GIL back to look: the work calls the watch on that thread about every 200 ms or less (the
// `waiting` of the first reading and of the passes; run_watched()'s wait for its worker, for
// the maps and the exact figures). When a handler raises (KeyboardInterrupt), its exception is
// kept and the stop flag set: every thread that reads the array stops at its next line (the
// exact engine's, at its next block of lines), and the work returns or throws only once its
// threads have ended, so that nothing reads the array after the call is done.
#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <future>
#include <optional>
#include <system_error>

namespace scab {

class SignalWatch {
 public:
  // Called without the GIL, on the thread that called into the module.
  void operator()() {
    if (stop_.load()) return;
    pybind11::gil_scoped_acquire held;
    if (PyErr_CheckSignals() != 0) {
      raised_.emplace();  // takes the handler's exception
      stop_.store(true);
    }
  }

  const std::atomic<bool>* stop() const { return &stop_; }

  // Raises what a handler raised, if one did; with the GIL.
  void raise_if_stopped() const {
    if (raised_) throw *raised_;
  }

 private:
  std::atomic<bool> stop_{false};
  std::optional<pybind11::error_already_set> raised_;
};

// Runs `work` on a thread of its own and calls `watch` on this one every 100 ms until it ends
// (where no thread can be started, runs it here, unwatched). Gives what it threw, or null.
// Called without the GIL.
inline std::exception_ptr run_watched(const std::function<void()>& work, SignalWatch& watch) {
  std::future<void> done;
  try {
    done = std::async(std::launch::async, work);
  } catch (const std::system_error&) {
    try {
      work();
    } catch (...) {
      return std::current_exception();
    }
    return nullptr;
  }
  while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
    watch();
  try {
    done.get();
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

}  // namespace scab
