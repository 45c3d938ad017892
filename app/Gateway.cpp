#include "Gateway.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include "QtClock.h"
#include "QtHttpClient.h"
#include "QtNotificationArea.h"
#include "QtSerialModemPort.h"
#include "WindowTray.h"
#include "frmMain.h"

namespace zorvel {

namespace {
const char* const versionText = "V 1.24";
const char* const copyrightText = "\u00a9 2026 the Zorvel authors";
} // namespace

Gateway::Gateway(std::string workFolder)
    : workFolder_(std::move(workFolder)), window_(std::make_unique<frmMain>(fields_))
{
    endProgram = [](int code) { QCoreApplication::exit(code); };
    showMessage = [this](const std::string& text, std::function<void()> afterOk) {
        auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Zorvel"),
                                    QString::fromStdString(text), QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(box, &QMessageBox::finished, this, [afterOk] { afterOk(); });
        box->open();
    };
    makeNotificationArea = [] { return std::make_unique<QtNotificationArea>(); };
    connect(window_.get(), &frmMain::unloadRequested, this, &Gateway::Form_Unload);
    connect(window_.get(), &frmMain::sendClicked, this, [this] {
        if (cycle_)
            cycle_->cmdSendText_Click();
    });
}

Gateway::~Gateway()
{
    // The cycle refers to the exchange and the HTTP client, the exchange to the port.
    cycle_.reset();
    exchange_.reset();
    http_.reset();
}

bool Gateway::Form_Load()
{
    fields_.setText(Field::lblSMSstamp, "None");
    fields_.setText(Field::lblSMS, "");
    tray_ = std::make_unique<WindowTray>(*window_, makeNotificationArea());
    QCoreApplication::processEvents(); // one pass of waiting events before the timer exists
    tray_->Init(QStringLiteral("Zorvel"));
    window_->lblCopyright->setText(QString::fromUtf8(copyrightText));
    window_->lblVersion->setText(QString::fromLatin1(versionText));

    ConfigurationResult loaded = LoadConfiguration(workFolder_);
    if (!loaded.config) {
        showMessage(loaded.error, [this] { endProgram(1); });
        return false;
    }
    config_ = std::move(*loaded.config);

    fields_.setText(Field::txtPDUmode, "ASCII Mode");
    if (config_.PDUmode == "1")
        fields_.setText(Field::txtPDUmode, "PDU Mode");
    if (config_.Decode)
        fields_.setText(Field::txtPDUmode, "Decoded Mode"); // PDU format, whatever PDUmode says
    startMinimised_ = config_.StartMinimised == "1";

    clock_ = std::make_unique<QtClock>();
    port_ = std::make_unique<QtSerialModemPort>(workFolder_, config_.iniPath);
    exchange_ = std::make_unique<CommandExchange>(*port_, *clock_, fields_,
                                                  PortSettings{config_.COMport, config_.COMspeed});
    exchange_->onPortUnavailable = [this](const std::string& message) { portUnavailable(message); };
    http_ = std::make_unique<QtHttpClient>();
    cycle_ = std::make_unique<PollCycle>(
        *exchange_, fields_, *http_, *clock_,
        ForwardingSettings{config_.PDUmode, config_.Dest, config_.SecKey, config_.Decode,
                           std::int64_t{config_.MultipartWait} * 60 * 1000});
    cycle_->readOutgoingInput = [this] {
        // Read when the send step runs, exactly as typed; Latin-1 on the line.
        return OutgoingInput{Utf8ToLatin1(window_->txtSendNumber->text().toStdString()),
                             Utf8ToLatin1(window_->txtSendMsg->text().toStdString())};
    };
    cycle_->txtCount = 0;
    cycle_->SendFlag = false;
    cycle_->StartupFlag = true;

    for (Field bar : {Field::picS1, Field::picS2, Field::picS3, Field::picS4, Field::picS5})
        fields_.setColour(bar, colours::darkGrey);
    fields_.setText(Field::txtSignal, "");
    fields_.setVisible(Field::txtSignal, false);

    tmrMain_.setInterval(1000);
    connect(&tmrMain_, &QTimer::timeout, this, [this] { cycle_->tmrMain_Timer(); });
    tmrMain_.start();
    return true;
}

void Gateway::showWindow()
{
    // Started minimised, the window is never shown, not even for a moment: only the tray
    // icon is there, and a left click on it brings the window up.
    if (!startMinimised_)
        window_->show();
}

void Gateway::Form_Unload()
{
    if (exchange_)
        exchange_->SetTimeoutFlag();
    tray_.reset(); // removes the tray icon
    tmrMain_.stop();
    endProgram(0);
}

void Gateway::portUnavailable(const std::string& message)
{
    // Nothing more goes to the modem; the program ends when the box is dismissed.
    tmrMain_.stop();
    showMessage(message, [this] { endProgram(1); });
}

} // namespace zorvel
