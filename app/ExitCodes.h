#pragma once
// How the program ends, for whoever started it. A service manager restarts after a port
// failure (the modem may come back) but not after a configuration error (the same file
// would fail again every time), a damaged store (a person must look at the file) or a
// locked SIM; 78 is EX_CONFIG, 65 EX_DATAERR and 77 EX_NOPERM of sysexits.h.
namespace zorvel::exitcode {

constexpr int ended = 0;         // the window closed, or SIGTERM/SIGINT
constexpr int portFailed = 1;    // the port is missing or cannot be opened
constexpr int usage = 2;         // a mistake on the command line
constexpr int configuration = 78; // zorvel.ini (or its Speed value) is unusable
constexpr int storeDamaged = 65;  // zorvel.sqlite is damaged or of a newer version (EX_DATAERR)
// The SIM cannot be used without a person (no PIN, a wrong one, PUK). Never restarted by a
// service manager: a new run would try the same wrong PIN again, and the third locks the SIM.
constexpr int simLocked = 77;     // EX_NOPERM

} // namespace zorvel::exitcode
