#pragma once
// A serial port that records what the exchange does with it and lets the test decide
// what arrives and when.
#include <functional>
#include <string>
#include <vector>

#include "ModemPort.h"

namespace zorvel::testing {

class FakePort : public ModemPort {
public:
    OpenResult open(int portNumber, const std::string& settings) override
    {
        log.push_back("open " + std::to_string(portNumber) + " " + settings);
        isOpen = openSucceeds;
        return {openSucceeds, settingsProblem, {}};
    }
    void discardInput() override
    {
        log.push_back("discard");
        waiting.clear();
    }
    void write(const std::string& bytes) override
    {
        log.push_back("write " + bytes);
        written.push_back(bytes);
        if (respond)
            arrive(respond(bytes));
    }
    std::string readAll() override
    {
        std::string out;
        out.swap(waiting);
        return out;
    }
    void close() override
    {
        log.push_back("close");
        isOpen = false;
    }

    // Bytes from the modem: they wait in the buffer and, when the port is open, the
    // exchange is told.
    void arrive(const std::string& bytes)
    {
        waiting += bytes;
        if (isOpen && onBytesArrived)
            onBytesArrived();
    }

    // The device went away under an open port: closed, and the owner is told.
    void fail(const std::string& why)
    {
        isOpen = false;
        log.push_back("failed");
        if (onFailure)
            onFailure(why);
    }

    // When set, the modem's answer to each write, arriving at once.
    std::function<std::string(const std::string& written)> respond;

    bool openSucceeds = true;
    std::string settingsProblem;
    bool isOpen = false;
    std::string waiting;
    std::vector<std::string> log;
    std::vector<std::string> written;
};

} // namespace zorvel::testing
