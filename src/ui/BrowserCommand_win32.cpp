#include <windows.h>

#include "ui/LumoraURLLabel.h"

namespace {
// The default value of a key below HKEY_CLASSES_ROOT; empty when the key or value is missing.
std::string DefaultValue(const std::string& keyName) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::string();
  std::string value;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
    value.resize(size);
    if (RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                         &size) == ERROR_SUCCESS) {
      value.resize(size);
      while (!value.empty() && value.back() == '\0') value.pop_back();
    } else {
      value.clear();
    }
  }
  RegCloseKey(key);
  return value;
}
}  // namespace

std::string GetBrowserCommand() {
  for (const char* extension : {".html", ".htm", ".shtml", ".shtm"}) {
    const std::string fileType = DefaultValue(extension);
    if (fileType.empty()) continue;
    const std::string command = DefaultValue(fileType + "\\shell\\open\\command");
    if (!command.empty()) return command;
  }
  return std::string();
}
