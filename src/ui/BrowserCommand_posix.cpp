#include "ui/LumoraURLLabel.h"

// There is no registry here; the desktop's handler for the address's scheme opens links.
std::string GetBrowserCommand() {
  return std::string();
}
