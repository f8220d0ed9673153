#pragma once
// The device file a COM port number stands for: a com<n> link in the DITA folder when the
// operator made one, else COM 1-32 = /dev/ttyS0-31, 33-64 = /dev/ttyUSB0-31,
// 65-96 = /dev/ttyACM0-31. Any thread.
#include <filesystem>
#include <string>

namespace dita {

// Empty when the number stands for no device (0, negative or above 96 without a link).
std::string comPortDevicePath(int comPortNumber, const std::filesystem::path& ditaFolder);

} // namespace dita
