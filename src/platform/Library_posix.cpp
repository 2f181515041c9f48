#include <dlfcn.h>

#include "Library.h"

namespace platform {

TLibraryHandle OpenLibrary(const std::string& path) {
  if (path.empty()) return nullptr;
  return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* LibrarySymbol(TLibraryHandle library, const char* name) {
  if (!library) return nullptr;
  return ::dlsym(library, name);
}

void CloseLibrary(TLibraryHandle library) {
  if (library) ::dlclose(library);
}

}  // namespace platform
