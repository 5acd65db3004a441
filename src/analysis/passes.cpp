// Both passes side by side, and the figures made from their sums.
#include "analysis/passes.h"

#include <chrono>
#include <future>
#include <system_error>

#include "analysis/measures.h"

namespace scab {
namespace {

// Runs `work` on a thread of its own where one can be had (its result then comes from the
// future), or leaves it to the caller: no second thread (a limit on threads or on address
// space) gives the same results in turn.
template <typename Work>
auto start(const Work& work) {
  std::future<decltype(work())> ahead;
#if SCABROSIMETER_THREADS
  try {
    ahead = std::async(std::launch::async, work);
  } catch (const std::system_error&) {
  }
#endif
  return ahead;
}

}  // namespace

Analysis run_passes(const LineSource& heights, const std::function<void()>& waiting) {
  const auto profile = [&] { return profile_pass(heights); };
  const auto neighbours = [&] { return rms_error_pass(heights); };
  auto profile_ahead = start(profile);
  auto neighbours_ahead = start(neighbours);
  const auto running = [](auto& ahead) {
    return ahead.valid() &&
           ahead.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready;
  };
  do {
    if (waiting) waiting();
  } while (running(profile_ahead) || running(neighbours_ahead));
  const ProfileSums profile_sums = profile_ahead.valid() ? profile_ahead.get() : profile();
  const NeighbourSums neighbour_sums =
      neighbours_ahead.valid() ? neighbours_ahead.get() : neighbours();
  // The regression's sums of the heights come from the profile pass (passes.h says why).
  return analysis_of(heights, profile_sums, neighbour_sums);
}

}  // namespace scab
