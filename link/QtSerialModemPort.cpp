#include "QtSerialModemPort.h"

#include <cerrno>
#include <filesystem>
#include <unistd.h>

#include "LineSettings.h"
#include "PortLocator.h"
#include "PortLock.h"

namespace zorvel {

namespace {

// "/home/sms/.config/zorvel/ports/com3 -> /dev/serial/by-id/usb-..." for a link.
std::string ShownDevice(const std::string& device)
{
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::read_symlink(device, ec);
    return ec ? device : device + " -> " + target.string();
}

// QSerialPort reports a held lock and a refused open() alike as a permission error.
std::string WhyNotOpened(const QSerialPort& port, const std::string& device)
{
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return "not found";
    case QSerialPort::PermissionError:
        if (const std::optional<long> holder = FindLockHolder(device))
            return "locked by process " + std::to_string(*holder);
        if (::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
            return "permission denied (is the user in the dialout group?)";
        return "in use or not permitted (" + port.errorString().toStdString() + ")";
    default:
        return port.errorString().toStdString();
    }
}

} // namespace

QtSerialModemPort::QtSerialModemPort(std::string workFolder, std::string settingsSource)
    : workFolder_(std::move(workFolder)), settingsSource_(std::move(settingsSource))
{
    QObject::connect(&port_, &QSerialPort::readyRead, [this] {
        if (onBytesArrived)
            onBytesArrived();
    });
    QObject::connect(&port_, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError e) {
        // When the far end vanishes the port reports a read error again and again, as fast
        // as it can, until it is closed. Close it; the exchange simply hears nothing more.
        // A held port also gives up on a failed write, so that it is opened afresh.
        const bool failed = e == QSerialPort::ReadError || e == QSerialPort::ResourceError ||
                            (e == QSerialPort::WriteError && onFailure);
        if (failed && port_.isOpen()) {
            // The error text may still be an earlier, harmless one (a pty refuses the
            // modem-control ioctls), so the kind of failure is named.
            const std::string why = e == QSerialPort::ResourceError ? "the device went away"
                                    : e == QSerialPort::ReadError   ? "reading from it failed"
                                                                    : "writing to it failed";
            port_.close();
            if (onFailure)
                onFailure(why);
        }
    });
}

OpenResult QtSerialModemPort::settingsProblem(const std::string& settings,
                                              const std::string& why) const
{
    OpenResult refused;
    refused.settingsProblem = "The \"Speed\" value \"" + settings + "\" in " + settingsSource_
        + " cannot be used: " + why
        + ". Expected baud rate, parity, data bits and stop bits, for example 9600,n,8,1.";
    return refused;
}

OpenResult QtSerialModemPort::open(int portNumber, const std::string& settings)
{
    lastOpen_ = tryOpen(portNumber, settings);
    return lastOpen_;
}

OpenResult QtSerialModemPort::tryOpen(int portNumber, const std::string& settings)
{
    const auto line = ParseLineSettings(settings);
    if (!line)
        return settingsProblem(settings, "it is not in that form");
    if (line->dataBits < 5)
        return settingsProblem(settings, "this system's serial ports need 5 to 8 data bits");
    if (line->stopBits == LineSettings::StopBits::OneAndHalf)
        return settingsProblem(settings, "this system's serial ports have no 1.5 stop bits");

    const std::string device = DeviceForPort(portNumber, workFolder_, PathExistsOnDisk);
    const std::string number = std::to_string(portNumber);
    OpenResult result;
    if (device.empty()) {
        result.deviceProblem = "cannot open COM" + number + ": no " + workFolder_ + "/ports/com" + number
            + ", and fewer than " + number + " serial devices";
        return result;
    }

    port_.setPortName(QString::fromStdString(device));
    port_.setBaudRate(line->baud);
    port_.setDataBits(static_cast<QSerialPort::DataBits>(line->dataBits));
    switch (line->parity) {
    case LineSettings::Parity::None: port_.setParity(QSerialPort::NoParity); break;
    case LineSettings::Parity::Even: port_.setParity(QSerialPort::EvenParity); break;
    case LineSettings::Parity::Odd: port_.setParity(QSerialPort::OddParity); break;
    case LineSettings::Parity::Mark: port_.setParity(QSerialPort::MarkParity); break;
    case LineSettings::Parity::Space: port_.setParity(QSerialPort::SpaceParity); break;
    }
    port_.setStopBits(line->stopBits == LineSettings::StopBits::Two ? QSerialPort::TwoStop
                                                                     : QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    result.opened = port_.open(QIODevice::ReadWrite);
    if (!result.opened)
        result.deviceProblem =
            "cannot open COM" + number + " (" + ShownDevice(device) + "): " + WhyNotOpened(port_, device);
    return result;
}

void QtSerialModemPort::discardInput()
{
    port_.clear(QSerialPort::Input);
    port_.readAll(); // anything Qt had already taken in
}

void QtSerialModemPort::write(const std::string& bytes)
{
    port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::string QtSerialModemPort::readAll()
{
    if (!port_.isOpen())
        return {}; // closed after the far end vanished
    const QByteArray bytes = port_.readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void QtSerialModemPort::close()
{
    if (port_.isOpen())
        port_.close();
}

} // namespace zorvel
