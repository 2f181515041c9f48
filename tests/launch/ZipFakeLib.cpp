// Stand-ins for UNZIPLIB.DLL: each build leaves out an entry point or reports another version,
// and tells through the callback what record it was given.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "unziplib/UnzipLibApi.h"

namespace {

template <typename TParams>
void Describe(TParams* p, char* out, std::size_t size) {
  std::snprintf(
      out, size,
      "version=%d seven=%d flag40=%d trace=%d verbose=%d test=%d dirnames=%d "
      "overwrite=%d update=%d freshen=%d specs=%d password=%s archive=%s",
      static_cast<int>(p->Version), static_cast<int>(p->Seven), static_cast<int>(p->Flag40),
      static_cast<int>(p->TraceEnabled), static_cast<int>(p->Verbose), static_cast<int>(p->Test),
      static_cast<int>(p->DirNames), static_cast<int>(p->Overwrite), static_cast<int>(p->Update),
      static_cast<int>(p->Freshen), static_cast<int>(p->FileSpecCount),
      p->Password ? p->Password : "(null)", p->ArchiveName ? p->ArchiveName : "(null)");
}

}  // namespace

extern "C" {

#if defined(FAKE_FOREIGN)
// A foreign library: extracts through the unzip program into the working directory (bare names,
// nothing replaced) and tells the caller nothing about what it wrote.
UNZIPLIB_EXPORT int32_t UNZIPLIB_CALL UnzipLibExec(TUnzipParams* params) {
  const std::string command = std::string("unzip -j -n -q '") + params->ArchiveName + "'";
  return std::system(command.c_str()) == 0 ? 1 : 0;
}
#elif !defined(FAKE_NO_EXEC)
UNZIPLIB_EXPORT int32_t UNZIPLIB_CALL UnzipLibExec(TUnzipParams* params) {
  TUnzipCallbackInfo info;
  std::memset(&info, 0, sizeof info);
  info.Caller = params->Caller;
  info.ActionCode = UNZIP_ACTION_MESSAGE;
#if FAKE_VERSION >= 152
  Describe(params, info.Message, sizeof info.Message);
#else
  Describe(reinterpret_cast<TUnzipParamsOld*>(params), info.Message, sizeof info.Message);
#endif
  params->Callback(&info);
  return 42;
}
#endif

#ifndef FAKE_NO_VERSION
UNZIPLIB_EXPORT int32_t UNZIPLIB_CALL GetUnzipLibVersion(void) {
  return FAKE_VERSION;
}
#endif
}
