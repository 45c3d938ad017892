#pragma once
// The modem port over QSerialPort. The port number becomes a device path (see
// PortLocator.h) and the settings text is parsed into line settings before each open.
#include <QSerialPort>

#include "ModemPort.h"

namespace zorvel {

class QtSerialModemPort : public ModemPort {
public:
    // `workFolder` holds the optional ports/comN links; `settingsSource` names where the
    // settings text came from, for the message when it is unusable.
    QtSerialModemPort(std::string workFolder, std::string settingsSource);

    OpenResult open(int portNumber, const std::string& settings) override;
    // What the last open returned.
    const OpenResult& lastOpen() const { return lastOpen_; }
    void discardInput() override;
    void write(const std::string& bytes) override;
    std::string readAll() override;
    void close() override;

private:
    OpenResult settingsProblem(const std::string& settings, const std::string& why) const;
    OpenResult tryOpen(int portNumber, const std::string& settings);

    std::string workFolder_;
    std::string settingsSource_;
    QSerialPort port_;
    OpenResult lastOpen_;
};

} // namespace zorvel
