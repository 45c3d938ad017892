#pragma once
// Who holds a serial port. QSerialPort, like minicom and the uucp tools, keeps a lock file
// "LCK..<name>" in the first usable lock folder while it has a port open; the file
// starts with the holder's process id. Read only to tell the user who is in the way.
#include <optional>
#include <string>
#include <string_view>

namespace zorvel {

// The lock file's name as QSerialPort makes it: "/dev/ttyUSB0" -> "LCK..ttyUSB0",
// "/dev/pts/3" -> "LCK..pts_3", "/home/sms/ports/com3" -> "LCK.._home_sms_ports_com3".
std::string LockFileName(const std::string& device);

// The process id a lock file starts with: decimal digits after optional blanks, then the
// end or a line break ("812\nzorvel\nhost\n", "       812\n"); 1 to 4194304, the
// largest a Linux kernel hands out. Nothing for anything else.
std::optional<long> LockHolder(std::string_view content);

// The living process that locks `device`, by the lock of the path as given or of the
// device it leads to (another program may lock /dev/ttyUSB0 while we open a link to it).
std::optional<long> FindLockHolder(const std::string& device);

} // namespace zorvel
