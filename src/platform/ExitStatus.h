#pragma once

#include <string>

namespace platform {

/// What an exit status says beyond its number where the platform gives it a meaning: on POSIX a
/// status above 128 is what a program ended by a signal returns ("signal 11, Segmentation
/// fault"), on Windows a status from 0xC0000000 on is an exception code. Empty otherwise.
std::string ExitStatusMeaning(int status);

}  // namespace platform
