#include <windows.h>

#include <cctype>
#include <filesystem>

#include "ZipDrive.h"

namespace zip {

int VolumeLabelNumber(const std::string& root) {
  char label[MAX_PATH + 1] = {};
  if (!::GetVolumeInformationA(root.c_str(), label, sizeof label, nullptr, nullptr, nullptr,
                               nullptr, 0))
    return -1;
  const std::string text(label);
  if (text.size() < 11 || text.compare(0, 8, "PKBACK# ") != 0) return -1;
  for (int i = 8; i < 11; ++i)
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
  return std::stoi(text.substr(8, 3));
}

TDriveCheck CheckDrive(const std::string& path) {
  TDriveCheck check;
  std::error_code ec;
  const std::string full = std::filesystem::absolute(path, ec).string();
  if (full.empty() || full[0] == '\\') return check;  // network form: no letter to test
  check.Root = full.substr(0, 1) + ":\\";
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(full[0])));
  if (letter < 'A' || letter > 'Z' || full.size() < 2 || full[1] != ':') {
    check.Error = 11003;
    return check;
  }
  if (!(::GetLogicalDrives() & (1u << (letter - 'A')))) {
    check.Error = 11004;
    return check;
  }
  if (!::GetVolumeInformationA(check.Root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr,
                               0)) {
    check.Error = 11004;
    return check;
  }
  check.LabelVolume = VolumeLabelNumber(check.Root);
  const UINT type = ::GetDriveTypeA(check.Root.c_str());
  check.Fixed = type == DRIVE_FIXED || type == DRIVE_REMOTE;
  return check;
}

}  // namespace zip
