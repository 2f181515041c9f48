#include <windows.h>

#include "Library.h"

namespace platform {

TLibraryHandle OpenLibrary(const std::string& path) {
  if (path.empty()) return nullptr;
  // A missing or damaged module must not raise the system's critical-error or fault boxes.
  const UINT old = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = ::LoadLibraryA(path.c_str());
  ::SetErrorMode(old);
  return reinterpret_cast<TLibraryHandle>(module);
}

void* LibrarySymbol(TLibraryHandle library, const char* name) {
  if (!library) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(TLibraryHandle library) {
  if (library) ::FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace platform
