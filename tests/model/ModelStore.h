#pragma once
// The modem's message store and the rule it is checked against: a delete only ever
// removes a message whose own, whole content the web application accepted with a 2xx,
// and no message is accepted twice while it stays stored. A new message takes the
// lowest free index, so a freed slot soon holds another message. Two stored messages
// with the same content count as one while either stays.
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Trace.h"

namespace zorvel::model {

// What the gateway is set to: text mode, plain PDU mode (each PDU forwarded as its hex),
// or decoded PDU mode (parts decoded and joined).
enum class Mode { Text, Pdu, Decoded };

struct StoredMessage {
    std::string oa, scts, text; // as text mode shows it
    std::string hex;            // as PDU mode shows it
    // Decoded mode: the sender and the text a request must hold to carry this PDU.
    std::string decodedSender, decodedText;
    bool read = false;
    int id = 0; // arrival number, for the report
    bool accepted = false; // a 2xx carried its content (or that of a stored copy)
    // Decoded mode: an SMS-DELIVER the gateway decodes (its sender may be empty); when
    // not, it goes as listed.
    bool decodes = true;
};

struct Request {
    std::string sender, time, message;
};

// The text as the gateway forwards a text-mode body: line breaks as LF, the bytes
// 0..30 other than LF dropped.
std::string RenderedText(const std::string& text);

class ModelStore {
public:
    ModelStore(Mode mode, Trace& trace, std::size_t slots);

    Mode mode() const { return mode_; }
    // The lowest free index, or nothing when the store is full (the network keeps it).
    std::optional<int> add(StoredMessage message);
    StoredMessage* at(int index);
    const std::map<int, StoredMessage>& messages() const { return slots_; }
    bool empty() const { return slots_.empty(); }

    // The modem runs AT+CMGD on an occupied slot.
    void remove(int index);
    // The web application answered 2xx.
    void accepted(const Request& request);

    std::string describe() const;

    // With the gateway's local store: whether the gateway holds this message on disk. A
    // delete may then remove a message no 2xx carried yet; it is owed one from then on.
    std::function<bool(const StoredMessage& m)> keptByGateway;
    bool owesNothing() const { return owed_.empty(); }
    bool carries(const Request& request, const StoredMessage& m) const;

private:
    // How often one request was accepted while something it carries stays stored, and
    // which distinct stored messages it carried, by the part of the text each holds.
    struct Tally {
        Request request;
        std::size_t answers = 0;
        std::map<std::string, std::set<std::string>> copies;
    };

    static std::set<std::string> countedParts(const Tally& tally);
    std::size_t timesCarried(const Request& r, const StoredMessage& m) const;
    std::string content(const StoredMessage& m) const;
    std::string describe(const StoredMessage& m) const;

    Mode mode_;
    Trace& trace_;
    std::size_t capacity_;
    std::map<int, StoredMessage> slots_;
    int arrivals_ = 0;
    std::map<std::string, Tally> tallies_;
    std::set<std::string> acceptedContents_; // every content a 2xx carried
    std::vector<std::string> acceptedLog_; // the last few accepted requests, for reports
    std::vector<StoredMessage> owed_;      // deleted while kept by the gateway, not yet accepted
    std::vector<StoredMessage> keptAgain_; // the same, of content accepted before: may be answered
};

} // namespace zorvel::model
