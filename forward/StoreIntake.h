#pragma once
// With the local store, what a cycle does with the inbox: everything listed is written
// to the store in one transaction, and only after that commit is each entry deleted from
// the modem, so the SIM is emptied every cycle whatever the web application does.
//
// In text mode a list cannot say for sure where a text ends, nor whether an entry is
// one (a text can imitate a header): each listed slot is read on its own and what the
// read shows is what is stored and then deleted. A PDU list is exact. In decoded mode the
// parts of a long message are stored as parts and joined from the store once all are
// there, or once the first has waited longer than the limit ("[...]" for each missing).
// An entry stored earlier whose delete did not take is deleted, not stored again.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Clock.h"
#include "InboxDecoder.h"
#include "LocalStore.h"
#include "MessageId.h"
#include "MessageKey.h"
#include "MessageRead.h"

namespace zorvel {

struct IntakeSettings {
    MessageFormat format = MessageFormat::Text;
    bool decode = false; // PDUs decoded, long messages joined
    std::int64_t multipartWaitMs = 10 * 60 * 1000;
};

// What intake reports, for the log and the window. Every hook may be left empty.
struct IntakeEvents {
    // A message is in the store, ready for delivery: its id, sender, parts, slots.
    std::function<void(const NewMessage& message, const std::vector<std::string>& indexes)> stored;
    // Anything else worth a line (a part waiting for the others, a slot left for later).
    std::function<void(const std::string& what)> notice;
    // Worth a line at debug level: why a PDU did not decode.
    std::function<void(const std::string& what)> detail;
    // The store could not be written (`problem`), or, with an empty text, it can again.
    std::function<void(const std::string& problem)> storeProblem;
    // The deletes of a cycle are planned: `index` goes out as "AT+CMGD=".
    std::function<void(const std::string& index)> deleting;
    // Worth a warning: a slot the modem keeps refusing to delete.
    std::function<void(const std::string& what)> warning;
};

class StoreIntake {
public:
    StoreIntake(LocalStore& store, Clock& clock, IntakeSettings settings,
                MessageIdSource newId = NewMessageId);

    // A cycle's list arrived (`settled`: the modem had fallen quiet before its window
    // closed). Returns the slots to read on their own before anything is kept: in text
    // mode every listed slot once; in PDU mode none.
    std::vector<std::string> listed(const InboxList& list, bool settled = true);
    // Text mode: a read's reply tells which slot it belongs to only by coming in that
    // slot's window. A window may also hold the late reply of the command before, so the
    // reads start only after a window known to hold its own reply alone: a whole list
    // that settled, or else a plain "AT" answered with a lone "OK" (`settleCommand`).
    bool needsSettling() const { return !anchored_; }
    static constexpr const char* settleCommand = "AT\r\n";
    // The reply to settleCommand; true when it anchors the reads.
    bool settleAnswered(const std::string& reply, bool settled);
    // Text mode: the reply to the read of `index`. False when it breaks the chain (no
    // reply of its own, a header this slot's list entries do not have, or the same
    // message as the read before): its reply may be another's, and so may every later
    // one, so reading stops for this cycle.
    bool slotRead(const std::string& index, const std::string& reply, bool settled);
    // Writes what this cycle took in, in one transaction. Returns the slots to delete,
    // each once: those just stored and those stored before whose delete had not taken.
    // None when the store could not be written: then everything stays on the modem.
    std::vector<std::string> commit();
    // The modem's answer to one of those deletes (`reply` as it came, for the log).
    void deleteAnswered(const std::string& index, bool ok, const std::string& reply = {});
    // After the deletes: forgets what no longer needs recognising, joins long messages
    // that are complete or have waited long enough. Runs every cycle, listed or not.
    void finishCycle();

    // PDU mode with the outbox: a status report about a part the outbox sent is recorded
    // there (true once committed) and its slot deleted; it is never stored as a message.
    std::function<bool(const std::string& pdu)> takeStatusReport;

    bool storeFailing() const { return failing_; }

    IntakeEvents events;

private:
    struct Taken {
        std::string index;
        ContentKey content;
        std::optional<NewMessage> message;
        std::optional<NewPart> part;
        std::string sender; // a part's, for the log
        bool storedBefore = false; // in the store already (or a copy of one taken now)
    };
    void take(const std::string& index, const ContentKey& content, NewMessage asListed,
              const std::string& pdu);
    void joinWaitingParts();
    void reportProblem(bool failed);

    LocalStore& store_;
    Clock& clock_;
    IntakeSettings settings_;
    MessageIdSource newId_;
    std::vector<Taken> taken_;
    std::vector<std::string> reportSlots_; // status reports the outbox recorded, this cycle
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> headers_; // index -> sender, time
    bool anchored_ = true;
    std::optional<ContentKey> previousRead_;
    std::map<std::string, ContentKey> deleting_; // index -> content, this cycle
    std::vector<ContentKey> deleted_;            // contents whose delete took
    std::map<ContentKey, int> listedContents_;   // content -> entries listed with it
    // Deleted from the modem and forgotten by the store, yet maybe stored on it again
    // (the same SMS twice): known until a whole list no longer shows it. Memory only.
    std::set<ContentKey> recentlyDeleted_;
    // Listed since the last purge: still on the modem, so kept however old. None while
    // no list came (a modem away says nothing about what it holds).
    std::optional<std::set<ContentKey>> listedSincePurge_;
    struct RefusedDelete {
        int times = 0;
        std::int64_t warnedMs = -1;
    };
    std::map<std::string, RefusedDelete> refusedDeletes_; // index -> refused cycles in a row
    bool failing_ = false;
    std::int64_t lastPurgeMs_ = 0;
};

} // namespace zorvel
