#include "ModelStore.h"

#include <algorithm>
#include <cstdint>
#include <map>

namespace zorvel::model {

namespace {

std::string requestKey(const Request& r)
{
    return r.sender + '\x1f' + r.time + '\x1f' + r.message;
}

std::string shownRequest(const Request& r)
{
    return "sender " + Trace::shown(r.sender) + " time " + Trace::shown(r.time) + " message " +
           Trace::shown(r.message);
}

} // namespace

std::string RenderedText(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (static_cast<unsigned char>(c) > 30 || c == '\n')
            out += c;
    return out;
}

ModelStore::ModelStore(Mode mode, Trace& trace, std::size_t slots)
    : mode_(mode), trace_(trace), capacity_(slots)
{
}

std::optional<int> ModelStore::add(StoredMessage message)
{
    int index = 1;
    while (slots_.count(index))
        ++index;
    if (static_cast<std::size_t>(index) > capacity_) {
        trace_.add("store full: new message not stored");
        return std::nullopt;
    }
    // The same sender, time stamp and text (the same PDU) is the same SMS, stored again:
    // the service centre stamps each one it takes in. Accepted if it ever was.
    if (acceptedContents_.count(content(message)))
        message.accepted = true;
    message.id = ++arrivals_;
    trace_.add("arrives at index " + std::to_string(index) + ": " + describe(message));
    slots_[index] = std::move(message);
    return index;
}

StoredMessage* ModelStore::at(int index)
{
    const auto it = slots_.find(index);
    return it == slots_.end() ? nullptr : &it->second;
}

void ModelStore::remove(int index)
{
    const auto it = slots_.find(index);
    if (it == slots_.end())
        return;
    if (!it->second.accepted && keptByGateway && keptByGateway(it->second)) {
        trace_.add("the gateway keeps message #" + std::to_string(it->second.id) + " on disk");
        owed_.push_back(it->second);
    } else if (keptByGateway && keptByGateway(it->second)) {
        // The same SMS again, accepted before: the gateway may deliver it once more as a
        // new message, and that answer is its own, not a repeat of a stored one.
        keptAgain_.push_back(it->second);
    } else if (!it->second.accepted)
        trace_.violation("AT+CMGD removed index " + std::to_string(index) + ", " +
                         describe(it->second) +
                         ", whose content no 2xx answer carried\n" + describe());
    trace_.add("deleted index " + std::to_string(index) + " (message #" +
               std::to_string(it->second.id) + ")");
    slots_.erase(it);
    // A request whose messages are all gone may be accepted afresh: a new message. An
    // empty decoded text, found in every request of its sender, keeps none alive.
    std::erase_if(tallies_, [this](const auto& item) {
        return std::none_of(slots_.begin(), slots_.end(), [&](const auto& slot) {
            const StoredMessage& m = slot.second;
            if (mode_ == Mode::Decoded && m.decodes && m.decodedText.empty() &&
                !item.second.request.message.empty())
                return false;
            if (mode_ == Mode::Decoded && m.decodes && !item.second.copies.empty() &&
                !countedParts(item.second).count(m.decodedSender + '\x1f' + m.decodedText))
                return false;
            return carries(item.second.request, m);
        });
    });
}

// One request may be accepted once for each distinct stored message it carries: two
// stored copies of one content are one message, while in decoded mode two different
// PDUs that decode alike are two. A long message counts as many times as its scarcest part.
void ModelStore::accepted(const Request& request)
{
    // Delivered from the gateway's store: of the deleted messages it carries, the oldest
    // of each text was owed this answer (a long message carries each of its parts; two
    // messages that read alike get one answer each, unless the text is there as often as
    // they are: parts of one long message may read alike). Copies of one content go with it.
    std::map<std::string, std::size_t> texts;
    std::set<std::string> resolved;
    for (const StoredMessage& m : owed_) {
        const std::string text = mode_ == Mode::Decoded ? m.decodedSender + '\x1f' + m.decodedText : content(m);
        if (resolved.count(content(m)))
            continue; // a copy of one already answered
        if (carries(request, m) && ++texts[text] <= timesCarried(request, m)) {
            resolved.insert(content(m));
            trace_.add("the 2xx is for message #" + std::to_string(m.id) + ", kept by the gateway");
        }
    }
    if (resolved.empty()) {
        const auto again = std::find_if(keptAgain_.begin(), keptAgain_.end(),
                                        [&](const StoredMessage& m) { return carries(request, m); });
        if (again != keptAgain_.end()) {
            trace_.add("the 2xx is for message #" + std::to_string(again->id) +
                       ", the same SMS again, kept by the gateway");
            resolved.insert(content(*again));
            keptAgain_.erase(again);
        }
    }
    if (!resolved.empty()) {
        acceptedContents_.insert(resolved.begin(), resolved.end());
        // The other copies go with it; the gateway may have stored them apart (one came
        // after the other was deleted), and each may then be answered once more.
        std::set<std::string> answered;
        for (const StoredMessage& m : owed_)
            if (resolved.count(content(m)) && !answered.insert(content(m)).second)
                keptAgain_.push_back(m);
        std::erase_if(owed_, [&](const StoredMessage& m) { return resolved.count(content(m)) > 0; });
        // What it carries of the messages still stored is accepted too (the other parts of
        // a long message), but this answer was not theirs to count twice.
        for (auto& [index, m] : slots_) {
            if (resolved.count(content(m)) || carries(request, m)) {
                m.accepted = true;
                acceptedContents_.insert(content(m));
            }
        }
        return;
    }
    Tally& tally = tallies_[requestKey(request)];
    tally.request = request;
    for (auto& [index, m] : slots_) {
        if (carries(request, m)) {
            m.accepted = true;
            acceptedContents_.insert(content(m));
            // An empty decoded text is found in every request of its sender: it tells
            // nothing of which message this answer was for.
            if (mode_ == Mode::Decoded && m.decodedText.empty() && !request.message.empty())
                continue;
            tally.copies[mode_ == Mode::Decoded ? m.decodedSender + '\x1f' + m.decodedText : ""]
                .insert(content(m));
        }
    }
    acceptedLog_.push_back(shownRequest(request));
    if (acceptedLog_.size() > 6)
        acceptedLog_.erase(acceptedLog_.begin());
    if (tally.copies.empty() && keptByGateway) {
        tallies_.erase(requestKey(request)); // delivered from the gateway's store
        return;
    }
    if (tally.copies.empty()) {
        trace_.add("the accepted request carries no stored message whole");
        tallies_.erase(requestKey(request));
        return;
    }
    std::size_t messages = SIZE_MAX;
    for (const std::string& part : countedParts(tally))
        messages = std::min(messages, tally.copies.at(part).size());
    if (++tally.answers > messages)
        trace_.violation("2xx number " + std::to_string(tally.answers) + " for " +
                         shownRequest(request) + " while what it carries stays stored (" +
                         std::to_string(messages) + " distinct message(s))\n" + describe());
}

bool ModelStore::carries(const Request& r, const StoredMessage& m) const
{
    switch (mode_) {
    case Mode::Text:
        return r.sender == m.oa && r.time == m.scts && r.message == RenderedText(m.text);
    case Mode::Pdu:
        return r.sender == "PDU" && r.time == "PDU" && r.message == m.hex;
    case Mode::Decoded:
        if (r.sender == "PDU" && r.time == "PDU" && r.message == m.hex)
            return true; // a PDU the gateway could not decode goes as listed
        return m.decodes && r.sender == m.decodedSender &&
               r.message.find(m.decodedText) != std::string::npos;
    }
    return false;
}

// How many messages reading as `m` one request can answer: in decoded mode as many as
// its text holds `m`'s text side by side, else one.
// The parts a tally counts: one whose text lies within another's may be found there by
// chance (" world" holds "ld").
std::set<std::string> ModelStore::countedParts(const Tally& tally)
{
    std::set<std::string> counted;
    for (const auto& item : tally.copies) {
        const std::string& part = item.first;
        const bool within = std::any_of(tally.copies.begin(), tally.copies.end(), [&](const auto& other) {
            return other.first != part && other.first.size() > part.size() &&
                   other.first.find(part.substr(part.find('\x1f') + 1)) != std::string::npos;
        });
        if (!within)
            counted.insert(part);
    }
    return counted;
}

std::size_t ModelStore::timesCarried(const Request& r, const StoredMessage& m) const
{
    if (mode_ != Mode::Decoded || !m.decodes || m.decodedText.empty() || r.message == m.hex)
        return 1;
    std::size_t times = 0;
    for (std::size_t at = r.message.find(m.decodedText); at != std::string::npos;
         at = r.message.find(m.decodedText, at + m.decodedText.size()))
        ++times;
    return std::max<std::size_t>(times, 1);
}

std::string ModelStore::content(const StoredMessage& m) const
{
    return mode_ == Mode::Text ? m.oa + '\x1f' + m.scts + '\x1f' + RenderedText(m.text) : m.hex;
}

std::string ModelStore::describe(const StoredMessage& m) const
{
    std::string out = "message #" + std::to_string(m.id);
    if (mode_ == Mode::Text)
        return out + " from " + Trace::shown(m.oa) + " at " + Trace::shown(m.scts) + " text " +
               Trace::shown(m.text);
    out += " PDU " + Trace::shown(m.hex);
    if (mode_ == Mode::Decoded && m.decodes)
        out += " (from " + Trace::shown(m.decodedSender) + ", text " + Trace::shown(m.decodedText) + ")";
    return out;
}

std::string ModelStore::describe() const
{
    std::string out = "stored now:";
    if (slots_.empty())
        out += " nothing";
    for (const auto& [index, m] : slots_)
        out += "\n  " + std::to_string(index) + ": " + describe(m) +
               (m.accepted ? " [accepted]" : "");
    for (const StoredMessage& m : owed_)
        out += "\n  deleted, kept by the gateway, never accepted: " + describe(m);
    out += "\nlast accepted requests:";
    if (acceptedLog_.empty())
        out += " none";
    for (const std::string& r : acceptedLog_)
        out += "\n  " + r;
    return out;
}

} // namespace zorvel::model
