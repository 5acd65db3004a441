// GDAL's errors on this thread, collected while an object of this class lives instead of being
// printed: the tool says what failed in its own words, with GDAL's last message.
#pragma once

#include <cpl_error.h>

#include <string>

namespace scab::map_tool {

class GdalErrors {
 public:
  GdalErrors() { CPLPushErrorHandlerEx(&GdalErrors::collect, this); }
  ~GdalErrors() { CPLPopErrorHandler(); }
  GdalErrors(const GdalErrors&) = delete;
  GdalErrors& operator=(const GdalErrors&) = delete;

  // Whether GDAL reported a failure since this object was made.
  bool failed() const { return failed_; }
  // ": " and the last message (a failure's, or a warning's when nothing failed), or nothing.
  std::string last_message() const { return message_.empty() ? "" : ": " + message_; }

 private:
  static void CPL_STDCALL collect(CPLErr level, CPLErrorNum, const char* message) {
    auto* self = static_cast<GdalErrors*>(CPLGetErrorHandlerUserData());
    if (level < CE_Warning || (self->failed_ && level < CE_Failure)) return;
    self->failed_ = self->failed_ || level >= CE_Failure;
    self->message_ = message ? message : "";
  }

  bool failed_ = false;
  std::string message_;
};

}  // namespace scab::map_tool
