#pragma once
// Which device a port number means. Port N is `ports/comN` in the working folder when
// that entry exists (usually a symbolic link to /dev/serial/by-id/...); otherwise N counts
// the serial devices in the order Wine gives them COM numbers: /dev/ttyS0, /dev/ttyS1, ...
// up to the first missing one, then /dev/ttyUSB0, ..., then /dev/ttyACM0, ...
#include <functional>
#include <string>

namespace zorvel {

using PathExists = std::function<bool(const std::string& path)>;

// The device path for port `number`, or empty when there is none.
std::string DeviceForPort(int number, const std::string& workFolder, const PathExists& exists);

// The real file system; a dangling link counts as existing (opening it will fail).
bool PathExistsOnDisk(const std::string& path);

} // namespace zorvel
