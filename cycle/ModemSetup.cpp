#include "ModemSetup.h"

#include "ReplyShape.h"
#include "StatusDecoders.h"

namespace zorvel {

namespace {

constexpr int pinChecksAtMost = 3;

} // namespace

ModemSetup::ModemSetup(Exchange& exchange, SetupSettings settings)
    : exchange_(exchange), settings_(std::move(settings))
{
}

void ModemSetup::run(std::function<void()> done)
{
    done_ = std::move(done);
    pinChecks_ = 0;
    send(Step::Reset);
}

void ModemSetup::send(Step step)
{
    std::string command;
    switch (step) {
    case Step::Reset: command = "ATZ\r\n"; break;
    case Step::PinQuery:
    case Step::PinCheck: command = "AT+CPIN?\r\n"; break;
    case Step::PinEntry: command = "AT+CPIN=\"" + settings_.pin + "\"\r\n"; break;
    case Step::Format: command = settings_.formatCommand; break;
    case Step::TextLengths: command = "AT+CSDH=1\r\n"; break;
    case Step::Storage: {
        const std::string area = "\"" + settings_.storage + "\"";
        command = "AT+CPMS=" + area + "," + area + "," + area + "\r\n";
        break;
    }
    case Step::Announce: command = "AT+CNMI=2,1,0,0,0\r\n"; break;
    case Step::AnnounceFallback: command = "AT+CNMI=1,1,0,0,0\r\n"; break;
    case Step::OwnNumber: command = "AT+CNUM\r\n"; break;
    case Step::NetworkSummary: command = "AT^SYSINFO\r\n"; break;
    case Step::Imei: command = "AT+GSN\r\n"; break;
    case Step::Imsi: command = "AT+CIMI\r\n"; break;
    }
    exchange_.SendCommand({CommandKind::Query, command}, [this, step] { replyArrived(step); });
}

// The identity queries read the shown reply, as every status query does; the SIM's and
// the storage's steps read only their own exchange's bytes.
void ModemSetup::replyArrived(Step step)
{
    const std::string& answer = exchange_.shownReply();
    const std::string& own = exchange_.reply();
    switch (step) {
    case Step::Reset:
        return settings_.askPin ? send(Step::PinQuery) : send(Step::Format);
    case Step::PinQuery: return pinQueried(DecodePinState(own));
    case Step::PinEntry:
        pinSent_ = true;
        if (const std::string result = FinalResultOf(own); result != "OK")
            notice("the PIN was answered with " + (result.empty() ? std::string("nothing") : result));
        return send(Step::PinCheck);
    case Step::PinCheck: return pinChecked(DecodePinState(own));
    case Step::Format:
        return settings_.textLengths ? send(Step::TextLengths) : afterFormat();
    case Step::TextLengths:
        if (const std::string result = FinalResultOf(own); result != "OK")
            notice("the modem gives no text lengths (AT+CSDH=1 answered " +
                   (result.empty() ? std::string("nothing") : result) +
                   "); each list and read is confirmed with AT");
        return afterFormat();
    case Step::Storage: return afterStorage();
    case Step::Announce:
    case Step::AnnounceFallback:
        if (EndsWithOk(ReplyLines(own))) {
            notice("new messages are announced (" +
                   std::string(step == Step::Announce ? "AT+CNMI=2,1,0,0,0" : "AT+CNMI=1,1,0,0,0") + ")");
            return send(Step::OwnNumber);
        }
        if (step == Step::Announce)
            return send(Step::AnnounceFallback);
        notice("the modem announces no new messages; the inbox is listed every 10 s");
        return send(Step::OwnNumber);
    case Step::OwnNumber:
        read(&CycleReadings::ownNumber, DecodeCNUM(answer));
        return send(Step::NetworkSummary);
    case Step::NetworkSummary:
        read(&CycleReadings::networkSummary, DecodeSYSINFO(answer));
        return send(Step::Imei);
    case Step::Imei:
        read(&CycleReadings::imei, DecodeGSN(answer));
        return send(Step::Imsi);
    case Step::Imsi: {
        read(&CycleReadings::imsi, DecodeCIMI(answer));
        auto done = std::move(done_);
        done_ = nullptr;
        if (done)
            done();
        return;
    }
    }
}

void ModemSetup::pinQueried(const PinState& state)
{
    switch (state.kind) {
    case PinState::Kind::Ready: return afterPin();
    case PinState::Kind::SimPin:
        if (settings_.pin.empty())
            return stop(SimStop::Reason::NoPinConfigured, state.shown);
        // Never a second try of a PIN the SIM refused: three wrong ones lock it. One it
        // took is given again when the modem was reset and asks anew.
        if (pinSent_ && !pinAccepted_)
            return stop(SimStop::Reason::PinRefused, state.shown);
        return send(Step::PinEntry);
    case PinState::Kind::SimPuk: return stop(SimStop::Reason::PukNeeded, state.shown);
    case PinState::Kind::OtherLock:
        // The second PIN guards only phone book entries and the like, not messages.
        if (state.shown.starts_with("SIM PIN2") || state.shown.starts_with("SIM PUK2")) {
            notice("the SIM reports " + state.shown + "; messages do not need it");
            return afterPin();
        }
        return stop(SimStop::Reason::OtherLock, state.shown);
    case PinState::Kind::Unanswered:
        warning("the SIM's state was not given (AT+CPIN? answered " +
                (state.shown.empty() ? std::string("nothing") : state.shown) + "); going on");
        return afterPin();
    }
}

void ModemSetup::pinChecked(const PinState& state)
{
    switch (state.kind) {
    case PinState::Kind::Ready:
        pinAccepted_ = true;
        notice("the SIM took its PIN");
        return afterPin();
    case PinState::Kind::SimPin: return stop(SimStop::Reason::PinRefused, state.shown);
    case PinState::Kind::Unanswered:
        // A SIM may be busy for a moment after its PIN; the PIN itself is not sent again.
        if (++pinChecks_ < pinChecksAtMost)
            return send(Step::PinCheck);
        warning("the SIM's state after its PIN was not given; going on");
        return afterPin();
    case PinState::Kind::SimPuk:
    case PinState::Kind::OtherLock: return pinQueried(state);
    }
}

void ModemSetup::afterPin()
{
    send(Step::Format);
}

void ModemSetup::afterFormat()
{
    if (!settings_.storage.empty())
        return send(Step::Storage);
    afterStorage();
}

void ModemSetup::afterStorage()
{
    if (!settings_.storage.empty()) {
        fill_ = DecodeStorageFill(exchange_.reply());
        if (fill_)
            notice("message storage " + settings_.storage + ": " + std::to_string(fill_->used) +
                   " of " + std::to_string(fill_->total) + " used");
        else
            warning("message storage " + settings_.storage + " was not taken (AT+CPMS answered " +
                    [&] {
                        const std::string r = FinalResultOf(exchange_.reply());
                        return r.empty() ? std::string("nothing") : r;
                    }() + "); the modem's own choice stays");
    }
    send(settings_.announce ? Step::Announce : Step::OwnNumber);
}

void ModemSetup::stop(SimStop::Reason reason, const std::string& state)
{
    done_ = nullptr;
    if (onSimStopped)
        onSimStopped(SimStop{reason, state});
}

void ModemSetup::notice(const std::string& what)
{
    if (events && events->notice)
        events->notice(what);
}

void ModemSetup::warning(const std::string& what)
{
    if (events && events->warning)
        events->warning(what);
}

void ModemSetup::read(std::function<void(const std::string&)> CycleReadings::*hook,
                      const std::string& value)
{
    if (readings && readings->*hook)
        (readings->*hook)(value);
}

} // namespace zorvel
