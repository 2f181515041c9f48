#pragma once

#include <string>

// Run-time loading of shared modules. The names avoid the Windows macros LoadLibrary and
// FreeLibrary so that callers may include <windows.h> too.

namespace platform {

using TLibraryHandle = void*;

/// Loads the module at path (with a separator: that file; without one: the platform's library
/// search). Never shows a system error box. Returns nullptr on failure.
TLibraryHandle OpenLibrary(const std::string& path);

/// Address of an exported symbol, or nullptr.
void* LibrarySymbol(TLibraryHandle library, const char* name);

/// Unloads a module opened by OpenLibrary; a nullptr does nothing.
void CloseLibrary(TLibraryHandle library);

}  // namespace platform
