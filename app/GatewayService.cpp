#include "GatewayService.h"

#include <filesystem>

#include "ConfigFileMode.h"
#include "ReplyWindow.h"
#include "EventLog.h"
#include "HeldLink.h"
#include "ExitCodes.h"
#include "LogCategories.h"
#include "PortLocator.h"
#include "QtClock.h"
#include "QtHttpClient.h"
#include "QtSerialModemPort.h"
#include "SimReplies.h"
#include "OutboxService.h"
#include "StoreService.h"
#include "Version.h"

namespace zorvel {

GatewayService::GatewayService(std::string workFolder) : workFolder_(std::move(workFolder))
{
    // What the message fields show until the first message is listed.
    fields_.setText(Field::lblSMSstamp, "None");
    fields_.setText(Field::lblSMS, "");
}

GatewayService::~GatewayService()
{
    // The cycle refers to the exchange, the HTTP client and the store, the exchange to
    // the port; no answer reaches delivery once the HTTP client has gone.
    cycle_.reset();
    outbox_.reset();
    exchange_.reset();
    http_.reset();
    store_.reset();
}

bool GatewayService::loadConfiguration()
{
    qCInfo(lcApp, "Zorvel %s starting in %s", versionNumber, workFolder_.c_str());
    ConfigurationResult loaded = LoadConfiguration(workFolder_);
    if (!loaded.config) {
        qCCritical(lcConfig, "%s", loaded.error.c_str());
        if (onFatal)
            onFatal(loaded.error, exitcode::configuration);
        return false;
    }
    config_ = std::move(*loaded.config);
    // From here on no log line, window text or stop message shows it, whatever a modem says.
    SetPinToHide(config_.PIN);
    WarnIfOpenToOthers(config_.iniPath);
    return true;
}

void GatewayService::start(std::function<OutgoingInput()> readOutgoingInput)
{
    fields_.setText(Field::txtPDUmode, config_.Mode == MessageMode::Decoded ? "Decoded Mode"
                                       : config_.Mode == MessageMode::Pdu   ? "PDU Mode"
                                                                            : "ASCII Mode");

    clock_ = std::make_unique<QtClock>();
    port_ = std::make_unique<QtSerialModemPort>(workFolder_, config_.iniPath);
    createExchange();
    http_ = std::make_unique<QtHttpClient>();
    cycle_ = std::make_unique<PollCycle>(
        *exchange_, *http_, *clock_, ForwardingSettingsOf(config_),
        SetupSettings{{}, config_.AskPin || config_.FastLink, config_.PIN, config_.Storage,
                      config_.FastLink, config_.FastLink && config_.Mode == MessageMode::Text},
        LinkPace{config_.FastLink});
    cycle_->onSimStopped = [this](const SimStop& stop) { simStopped(stop); };
    presenter_.showReadings(cycle_->readings);
    if (config_.Store) {
        StoreService::Opened opened = StoreService::open(workFolder_, config_, *clock_, *http_, fields_);
        if (!opened.service) {
            qCCritical(lcForward, "%s", opened.error.c_str());
            if (onFatal)
                onFatal(opened.error, opened.exitCode);
            return;
        }
        store_ = std::move(opened.service);
        store_->attach(*cycle_);
        if (config_.Mode == MessageMode::Decoded) {
            outbox_ = OutboxService::open(workFolder_, config_, *clock_, *exchange_, *http_);
            if (outbox_)
                outbox_->attach(*cycle_, store_->intake());
        }
    }
    cycle_->readOutgoingInput = std::move(readOutgoingInput);
    cycle_->forwardedCount = 0;
    cycle_->sendPending = false;
    cycle_->setupDue = true;
    LogCycleEvents(cycle_->events);
    LogExchange(*exchange_);

    for (Field bar : {Field::picS1, Field::picS2, Field::picS3, Field::picS4, Field::picS5})
        fields_.setColour(bar, colours::darkGrey);
    fields_.setText(Field::txtSignal, "");
    fields_.setVisible(Field::txtSignal, false);

    logSettings();
    if (heldLink_) {
        heldLink_->onAnnounced = [this] { cycle_->messageAnnounced(); };
        if (!heldLink_->start())
            return; // reported as with the reply window: the program ends
    }
    tmrMain_.setInterval(1000);
    connect(&tmrMain_, &QTimer::timeout, this, [this] { cycle_->tick(); });
    tmrMain_.start();
    if (store_)
        store_->start();
    if (outbox_)
        outbox_->start();
}

void GatewayService::createExchange()
{
    const PortSettings settings{config_.COMport, config_.COMspeed};
    if (!config_.FastLink) {
        exchange_ = std::make_unique<ReplyWindow>(*port_, *clock_, settings);
    } else {
        HeldLinkTimes times;
        if (config_.Mode == MessageMode::Text) {
            times.textMode = true;
            times.textLingerMs = 200; // a text's own "OK" line is followed at once by more
        }
        auto held = std::make_unique<HeldLink>(*port_, *clock_, settings, times);
        heldLink_ = held.get();
        held->onLinkLost = [this](const std::string& why) {
            ++linkLosses_;
            qCWarning(lcModem, "port COM%d lost: %s; opening it again every 5 s (%d time(s) since start)",
                      int(config_.COMport), EscapeBytes(why).c_str(), linkLosses_);
        };
        held->onLinkBack = [this] {
            qCWarning(lcModem, "port COM%d open again; the modem is set up anew", int(config_.COMport));
            if (cycle_)
                cycle_->linkReopened();
        };
        exchange_ = std::move(held);
    }
    exchange_->onPortUnavailable = [this](const std::string& message) { portUnavailable(message); };
    presenter_.showLink(*exchange_, *clock_);
}

void GatewayService::simStopped(const SimStop& stop)
{
    tmrMain_.stop();
    std::string why;
    switch (stop.reason) {
    case SimStop::Reason::NoPinConfigured:
        why = "the SIM asks for its PIN (" + stop.state + ") and " + config_.iniPath +
              " gives none: write it in the line PIN=<digits> of section [Zorvel].";
        break;
    case SimStop::Reason::PinRefused:
        why = "the SIM did not take the PIN of " + config_.iniPath + " (it now reports " + stop.state +
              "). It is not tried again: three wrong PINs lock the SIM. Correct the line PIN= first.";
        break;
    case SimStop::Reason::PukNeeded:
        why = "the SIM is locked (" + stop.state + ") after three wrong PINs: unlock it with its PUK "
              "in a phone, then start Zorvel again.";
        break;
    case SimStop::Reason::OtherLock:
        why = "the SIM reports " + stop.state + ", which Zorvel cannot answer: unlock it in a phone.";
        break;
    }
    const std::string text = "Zorvel stopped polling the modem: " + why;
    qCCritical(lcModem, "%s", text.c_str());
    if (onFatal)
        onFatal(text, exitcode::simLocked);
}

namespace {

const char* messageMode(const Configuration& config)
{
    switch (config.Mode) {
    case MessageMode::Decoded: return "decoded PDU";
    case MessageMode::Pdu: return "PDU";
    case MessageMode::Text: break;
    }
    return "text";
}

} // namespace

void GatewayService::logSettings() const
{
    std::string device = DeviceForPort(config_.COMport, workFolder_, PathExistsOnDisk);
    std::error_code ec;
    if (device.empty()) {
        device = "no device";
    } else if (std::filesystem::is_symlink(device, ec)) {
        const auto target = std::filesystem::canonical(device, ec);
        device += " -> " + (ec ? std::string("nowhere (the link is broken)") : target.string());
    }
    qCInfo(lcConfig, "read %s: COM%d is %s, line %s, %s mode, forwarding to %s",
           config_.iniPath.c_str(), int(config_.COMport), device.c_str(),
           EscapeBytes(config_.COMspeed).c_str(), messageMode(config_),
           DestinationForLog(config_.Dest).c_str());
}

void GatewayService::stop()
{
    tmrMain_.stop();
    if (exchange_ && exchange_->waiting())
        qCInfo(lcModem, "exchange cut short, port closed");
    if (exchange_)
        exchange_->SetTimeoutFlag();
    if (http_ && http_->requestInFlight())
        qCInfo(lcForward, "request in flight abandoned; its message stays %s",
               store_ ? "in the store" : "on the modem");
    // Gone, not paused: an answer that is already waiting in the event queue finds no
    // one to run its delete.
    cycle_.reset();
    outbox_.reset();
    heldLink_ = nullptr;
    exchange_.reset();
    http_.reset();
    store_.reset();
    port_.reset();
}

void GatewayService::sendClicked()
{
    if (cycle_)
        cycle_->sendRequested();
}

void GatewayService::queueTyped(const std::string& number, const std::string& text)
{
    if (outbox_)
        outbox_->queueTyped(number, text);
}

void GatewayService::portUnavailable(const std::string& message)
{
    // Nothing more goes to the modem; the owner ends the program.
    tmrMain_.stop();
    const OpenResult& failed = port_->lastOpen();
    if (!failed.deviceProblem.empty())
        qCCritical(lcModem, "%s", failed.deviceProblem.c_str());
    qCCritical(lcModem, "%s", message.c_str());
    // An unusable Speed value is in zorvel.ini: starting again would not help.
    if (onFatal)
        onFatal(message, failed.settingsProblem.empty() ? exitcode::portFailed : exitcode::configuration);
}

} // namespace zorvel
