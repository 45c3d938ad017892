#include "PollCycle.h"

#include "ForwardUrl.h"
#include "StatusDecoders.h"

namespace zorvel {

PollCycle::PollCycle(CommandExchange& exchange, StatusFields& fields, HttpClient& http,
                     ForwardingSettings settings)
    : exchange_(exchange), fields_(fields), http_(http), settings_(std::move(settings))
{
}

void PollCycle::tmrMain_Timer()
{
    if (fields_.text(Field::txtReady) == "READY" && !running()) {
        if (StartupFlag) {
            StartupFlag = false; // before the first command: the block never runs twice
            run(Step::Reset);
        } else {
            run(afterFirstCycleBlock());
        }
    }
    fields_.setText(Field::txtCounter, "Msgs: " + std::to_string(txtCount));
}

// Sends the command of `step`; its reply is decoded in replyArrived().
void PollCycle::run(Step step)
{
    step_ = step;
    switch (step) {
    case Step::Idle: return;
    case Step::Reset: return send("ATZ\r\n");
    case Step::FirstFormat: return send(formatCommand());
    case Step::OwnNumber: return send("AT+CNUM\r\n");
    case Step::NetworkSummary: return send("AT^SYSINFO\r\n");
    case Step::Imei: return send("AT+GSN\r\n");
    case Step::Imsi: return send("AT+CIMI\r\n");
    case Step::OutgoingFormat: return send(outgoing_.format);
    case Step::OutgoingRecipient: return send(outgoing_.recipient);
    case Step::OutgoingText: return send(outgoing_.body);
    case Step::Signal: return send("AT+CSQ\r\n");
    case Step::Operator: return send("AT+COPS?\r\n");
    case Step::Format: return send(formatCommand());
    case Step::List: return send(ListCommand(messageFormat()));
    case Step::Forward: return forwardEntry();
    case Step::Delete: return send(DeleteCommand(entry_->index));
    }
}

// The reply of the step just run stands in txtStatus (or, when the modem said nothing,
// the reply before it, which is then what gets decoded).
void PollCycle::replyArrived()
{
    const std::string& answer = fields_.text(Field::txtStatus);
    switch (step_) {
    case Step::Idle: return;
    case Step::Reset: return run(Step::FirstFormat);
    case Step::FirstFormat: return run(Step::OwnNumber);
    case Step::OwnNumber:
        fields_.setText(Field::txtPhoneNo, DecodeCNUM(answer));
        return run(Step::NetworkSummary);
    case Step::NetworkSummary:
        fields_.setText(Field::txtSYSINFO, DecodeSYSINFO(answer));
        return run(Step::Imei);
    case Step::Imei:
        fields_.setText(Field::txtIMEI, DecodeGSN(answer));
        return run(Step::Imsi);
    case Step::Imsi:
        fields_.setText(Field::txtIMSI, DecodeCIMI(answer));
        return run(afterFirstCycleBlock());
    case Step::OutgoingFormat: return run(Step::OutgoingRecipient);
    case Step::OutgoingRecipient: return run(Step::OutgoingText);
    case Step::OutgoingText: return run(Step::Signal);
    case Step::Signal: {
        const SignalBars signal = DecodeCSQ(answer);
        fields_.setText(Field::txtSignal, signal.txtSignal);
        const Field bars[] = {Field::picS1, Field::picS2, Field::picS3, Field::picS4, Field::picS5};
        for (std::size_t i = 0; i < 5; ++i)
            fields_.setColour(bars[i], signal.bars[i]);
        return run(Step::Operator);
    }
    case Step::Operator:
        fields_.setText(Field::txtNetName, DecodeCOPS(answer));
        return run(Step::Format);
    case Step::Format: return run(Step::List);
    case Step::List:
        entry_ = DecodeCMGL(answer, messageFormat());
        if (!entry_) {
            step_ = Step::Idle;
            return;
        }
        fields_.setText(Field::lblSMSstamp, entry_->lblSMSstamp);
        fields_.setText(Field::lblSMS, entry_->lblSMS);
        if (!entry_->complete) {
            // The list was cut off inside this message's text: forwarding it now would
            // send (and delete) a shortened message. It stays for the next cycle.
            fields_.setText(Field::lblForwardProblem, "Not forwarded: list cut short");
            step_ = Step::Idle;
            return;
        }
        return run(Step::Forward);
    case Step::Forward: return; // ends in forwardingEnded()
    case Step::Delete: step_ = Step::Idle; return;
    }
}

// Step 3 of every cycle: the operator's message when Send was pressed, else the signal.
PollCycle::Step PollCycle::afterFirstCycleBlock()
{
    if (!SendFlag)
        return Step::Signal;
    SendFlag = false;
    const OutgoingInput input = readOutgoingInput ? readOutgoingInput() : OutgoingInput{};
    outgoing_ = BuildOutgoingCommands(input.number, input.text);
    return Step::OutgoingFormat;
}

void PollCycle::forwardEntry()
{
    const std::string url = BuildForwardUrl(settings_.Dest, settings_.SecKey, entry_->sender,
                                            entry_->stamp, entry_->text);
    // No command goes out while the request runs: the cycle holds the gate until it ends.
    http_.get(url, [this](const HttpResult& result) { forwardingEnded(result); });
}

void PollCycle::forwardingEnded(const HttpResult& result)
{
    if (!result.accepted()) {
        // Kept on the modem: it is listed first again next cycle and tried again.
        fields_.setText(Field::lblForwardProblem, "Not forwarded: " + result.describe());
        step_ = Step::Idle;
        return;
    }
    fields_.setText(Field::lblForwardProblem, "");
    ++txtCount;
    if (entry_->index.empty()) {
        step_ = Step::Idle;
        return;
    }
    run(Step::Delete);
}

void PollCycle::send(const std::string& command)
{
    exchange_.SendCommand(command, [this] { replyArrived(); });
}

std::string PollCycle::formatCommand() const
{
    // Only "0" and "1" reach here; the configuration turns anything else into "0".
    return settings_.PDUmode == "1" ? "AT+CMGF=0\r\n" : "AT+CMGF=1\r\n";
}

MessageFormat PollCycle::messageFormat() const
{
    return settings_.PDUmode == "1" ? MessageFormat::Pdu : MessageFormat::Text;
}

} // namespace zorvel
