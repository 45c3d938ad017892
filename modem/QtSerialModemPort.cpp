#include "QtSerialModemPort.h"

#include "LineSettings.h"
#include "PortLocator.h"

namespace zorvel {

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
        if (e == QSerialPort::ReadError || e == QSerialPort::ResourceError)
            port_.close();
    });
}

std::string QtSerialModemPort::settingsProblem(const std::string& settings,
                                               const std::string& why) const
{
    return "The \"Speed\" value \"" + settings + "\" in " + settingsSource_
        + " cannot be used: " + why
        + ". Expected baud rate, parity, data bits and stop bits, for example 9600,n,8,1.";
}

OpenResult QtSerialModemPort::open(int portNumber, const std::string& settings)
{
    const auto line = ParseLineSettings(settings);
    if (!line)
        return {false, settingsProblem(settings, "it is not in that form")};
    if (line->dataBits < 5)
        return {false, settingsProblem(settings, "this system's serial ports need 5 to 8 data bits")};
    if (line->stopBits == LineSettings::StopBits::OneAndHalf)
        return {false, settingsProblem(settings, "this system's serial ports have no 1.5 stop bits")};

    const std::string device = DeviceForPort(portNumber, workFolder_, PathExistsOnDisk);
    if (device.empty())
        return {};

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
    return {port_.open(QIODevice::ReadWrite), {}};
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
