#include "PortLocator.h"

#include <filesystem>

namespace zorvel {

std::string DeviceForPort(int number, const std::string& workFolder, const PathExists& exists)
{
    if (number < 1)
        return {};
    const std::string own = workFolder + "/ports/com" + std::to_string(number);
    if (exists(own))
        return own;

    int remaining = number;
    for (const char* family : {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"}) {
        for (int i = 0;; ++i) {
            const std::string device = family + std::to_string(i);
            if (!exists(device))
                break;
            if (--remaining == 0)
                return device;
        }
    }
    return {};
}

bool PathExistsOnDisk(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

} // namespace zorvel
