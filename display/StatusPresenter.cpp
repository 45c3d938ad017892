#include "StatusPresenter.h"

namespace zorvel {

void StatusPresenter::showLink(Exchange& exchange, Clock& clock)
{
    exchange.onState = [this](LinkState state) { showLinkState(state); };
    exchange.onChecked = [this, &clock] {
        fields_.setText(Field::txtLastCheck, clock.timeStamp());
        fields_.setColour(Field::txtLastCheck, colours::white);
    };
    exchange.onReplyShown = [this](const std::string& shown) { fields_.setText(Field::txtStatus, shown); };
}

// Each text is as short as READY: the field is narrow.
void StatusPresenter::showLinkState(LinkState state)
{
    switch (state) {
    case LinkState::Ready:
        fields_.setText(Field::txtReady, "READY");
        fields_.setColour(Field::txtReady, colours::white);
        return;
    case LinkState::Busy:
        fields_.setText(Field::txtReady, "BUSY");
        fields_.setColour(Field::txtReady, colours::red);
        return;
    case LinkState::Down:
        fields_.setText(Field::txtReady, "DOWN");
        fields_.setColour(Field::txtReady, colours::red);
        return;
    case LinkState::Unavailable:
        fields_.setText(Field::txtReady, "BUSY"); // the program is ending: only the word changes
        return;
    }
}

void StatusPresenter::showReadings(CycleReadings& readings)
{
    const auto text = [this](Field field) {
        return [this, field](const std::string& value) { fields_.setText(field, value); };
    };
    readings.ownNumber = text(Field::txtPhoneNo);
    readings.networkSummary = text(Field::txtSYSINFO);
    readings.imei = text(Field::txtIMEI);
    readings.imsi = text(Field::txtIMSI);
    readings.operatorName = text(Field::txtNetName);
    readings.signal = [this](const SignalBars& signal) { showSignal(signal); };
    readings.message = [this](const std::string& stamp, const std::string& shortened) {
        fields_.setText(Field::lblSMSstamp, stamp);
        fields_.setText(Field::lblSMS, shortened);
    };
    readings.notForwarded = [this](const std::string& why) {
        fields_.setText(Field::lblForwardProblem, why.empty() ? why : "Not forwarded: " + why);
    };
    readings.count = [this](std::int32_t forwarded, int waiting) { showCount(forwarded, waiting); };
    readings.simStopped = [this] { fields_.setText(Field::txtReady, "SIM"); };
}

void StatusPresenter::showSignal(const SignalBars& signal)
{
    fields_.setText(Field::txtSignal, signal.text);
    const Field boxes[] = {Field::picS1, Field::picS2, Field::picS3, Field::picS4, Field::picS5};
    for (std::size_t i = 0; i < signal.lit.size(); ++i)
        fields_.setColour(boxes[i], signal.lit[i] ? colours::white : colours::darkGrey);
}

void StatusPresenter::showCount(std::int32_t forwarded, int waiting)
{
    std::string counter = "Msgs: " + std::to_string(forwarded);
    if (waiting > 0)
        counter += " (" + std::to_string(waiting) + " waiting)";
    fields_.setText(Field::txtCounter, counter);
}

} // namespace zorvel
