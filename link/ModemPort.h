#pragma once
// The serial line as the command exchange sees it: open for one command, discard what
// waits, write, read what arrived, close. The program uses a QSerialPort behind it;
// the unit tests use a scripted fake.
#include <functional>
#include <string>

namespace zorvel {

struct OpenResult {
    bool opened = false;
    // Set when the layer refused the settings text before trying the device; the text is
    // what the user is told. Empty with opened == false means the port itself is missing.
    std::string settingsProblem;
    // Why the device did not open, for the log: "cannot open COM3 (/dev/ttyUSB0): locked
    // by process 812". The user is told only that the port is not available.
    std::string deviceProblem;
};

class ModemPort {
public:
    virtual ~ModemPort() = default;

    // Selects port `portNumber`, applies `settings` unchanged ("9600,n,8,1") and opens.
    virtual OpenResult open(int portNumber, const std::string& settings) = 0;
    virtual void discardInput() = 0;
    virtual void write(const std::string& bytes) = 0;
    // Everything waiting, removed from the port's buffer; empty when nothing waits.
    virtual std::string readAll() = 0;
    virtual void close() = 0;

    // Called whenever bytes arrive while the port is open.
    std::function<void()> onBytesArrived;
    // Called when the open port fails (the device vanished, a read or write error); the
    // port is closed by then.
    std::function<void(const std::string& why)> onFailure;
};

} // namespace zorvel
