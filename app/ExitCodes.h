#pragma once
// How the program ends, for whoever started it. A service manager restarts after a port
// failure (the modem may come back) but not after a configuration error (the same file
// would fail again every time); 78 is EX_CONFIG of sysexits.h.
namespace zorvel::exitcode {

constexpr int ended = 0;         // the window closed, or SIGTERM/SIGINT
constexpr int portFailed = 1;    // the port is missing or cannot be opened
constexpr int usage = 2;         // a mistake on the command line
constexpr int configuration = 78; // zorvel.ini (or its Speed value) is unusable

} // namespace zorvel::exitcode
