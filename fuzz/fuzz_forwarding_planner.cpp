// The forwarding queue driven like a modem store over many cycles: the input picks the
// parts (sender, reference, count, sequence, UTF-16 text with stray surrogates), lists
// cut short, accepted or refused requests, failed deletes and passing time. Properties:
// no crash, every forwarded text is valid UTF-8, no entry appears twice in one message,
// and an entry once accepted is never forwarded again.
#include <map>
#include <set>

#include "Check.h"
#include "ForwardingPlanner.h"
#include "SmsDeliver.h"
#include "fakes/PduBuilder.h"

using namespace zorvel;
using fuzz::Require;

namespace {

struct Input {
    const unsigned char* data;
    std::size_t size;
    std::size_t at = 0;
    bool done() const { return at >= size; }
    unsigned next() { return at < size ? data[at++] : 0; }
};

bool validUtf8(const std::string& s)
{
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size())
            return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

std::string storedPdu(Input& in)
{
    const unsigned shape = in.next();
    if (shape % 8 == 0) { // any bytes as hex: what a broken modem might print
        std::string raw;
        for (unsigned n = in.next() % 40; n > 0; --n)
            raw += static_cast<char>(in.next());
        return testing::hexOctet(0) + HexDigits(raw);
    }
    testing::PduFields pdu;
    pdu.sender = shape & 0x10 ? "15550001234" : "15550009876";
    if (shape & 0x20) {
        pdu.reference = static_cast<int>(in.next() % 3);
        pdu.count = static_cast<int>(in.next() % 4);
        pdu.sequence = static_cast<int>(in.next() % 5);
        pdu.sixteenBitReference = shape & 0x40;
    }
    for (unsigned n = in.next() % 6; n > 0; --n) {
        const unsigned pick = in.next();
        pdu.text += pick < 32 ? static_cast<char16_t>(0xD800 + pick * 32)   // high halves
                   : pick < 64 ? static_cast<char16_t>(0xDC00 + pick * 16)   // low halves
                               : static_cast<char16_t>(pick * 131);
    }
    return testing::BuildPdu(pdu);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in{data, size};
    ForwardingPlanner queue(true, 60'000);
    std::map<int, std::string> store; // index -> PDU, as the modem holds it
    std::set<int> accepted;
    std::set<std::string> acceptedPdus; // an identical message stored again counts as the same
    int nextIndex = 1;
    std::int64_t now = 0;

    for (int cycle = 0; cycle < 64 && !in.done(); ++cycle) {
        for (unsigned n = in.next() % 4; n > 0 && store.size() < 16; --n)
            store[nextIndex++] = storedPdu(in);
        InboxList list;
        for (const auto& [index, hex] : store) {
            InboxEntry e;
            e.index = std::to_string(index);
            e.sender = e.stamp = "PDU";
            e.text = hex;
            e.complete = true;
            list.entries.push_back(e);
        }
        const unsigned action = in.next();
        list.whole = !(action & 1);
        if (!list.whole && !list.entries.empty())
            list.entries.pop_back(); // the reply window ended before the last entry
        now += (action >> 1) * 1000;

        const CyclePlan plan = queue.plan(list, now);
        std::set<std::string> seen;
        for (const PlannedDelete& again : plan.deleteAgain) {
            const std::string& index = again.index;
            Require(acceptedPdus.count(store[std::stoi(index)]) == 1, "deleted again, never accepted");
            store.erase(std::stoi(index));
        }
        if (!plan.forward)
            continue;
        const ListedMessage& m = *plan.forward;
        Require(validUtf8(m.text) && validUtf8(m.shownText), "text is not valid UTF-8");
        for (const std::string& index : m.indexes) {
            Require(seen.insert(index).second, "an entry twice in one message");
            Require(!accepted.count(std::stoi(index)), "an accepted entry forwarded again");
        }
        if (action & 0x40) {
            queue.refused(m, now);
            continue;
        }
        queue.accepted(m);
        for (const std::string& index : m.indexes) {
            accepted.insert(std::stoi(index));
            acceptedPdus.insert(store[std::stoi(index)]);
            if (!(action & 0x80)) // else the delete failed
                store.erase(std::stoi(index));
        }
    }
    return 0;
}
