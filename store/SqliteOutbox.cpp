// Opening the outbox, and what it reads.
#include "SqliteOutbox.h"

#include <limits>
#include <utility>

#include "ByteEscape.h"
#include "OutboxSession.h"
#include "SqliteStoreFile.h"

namespace zorvel {

namespace {

using Step = SqliteStatement::Step;

// LIMIT -1 is no limit.
std::int64_t sqlLimit(std::size_t limit)
{
    return limit > std::size_t(std::numeric_limits<std::int64_t>::max()) ? std::int64_t(-1)
                                                                          : static_cast<std::int64_t>(limit);
}

} // namespace

SqliteOutbox::SqliteOutbox(std::string folder, bool forListing)
    : folder_(std::move(folder)), path_(folder_ + "/zorvel.sqlite"), forListing_(forListing)
{
}

SqliteOutbox::~SqliteOutbox() = default;

OutboxOpening SqliteOutbox::open(const std::string& folder)
{
    OutboxOpening opening;
    std::unique_ptr<SqliteOutbox> outbox(new SqliteOutbox(folder, false));
    StoreFile file = OpenStoreFile(outbox->path_, true);
    opening.outcome = outbox->adopt(file, opening.text);
    if (opening.outcome != OutboxOpening::Outcome::Fatal)
        opening.outbox = std::move(outbox);
    return opening;
}

OutboxOpening SqliteOutbox::openForReading(const std::string& folder)
{
    OutboxOpening opening;
    std::unique_ptr<SqliteOutbox> outbox(new SqliteOutbox(folder, true));
    StoreFile file = OpenStoreFile(outbox->path_, false);
    opening.outcome = outbox->adopt(file, opening.text);
    if (opening.outcome == OutboxOpening::Outcome::Fatal)
        return opening;
    if (outbox->session_) {
        opening.outcome = OutboxOpening::Outcome::Ready;
        opening.text.clear();
    }
    opening.outbox = std::move(outbox);
    return opening;
}

OutboxOpening::Outcome SqliteOutbox::adopt(StoreFile& file, std::string& text)
{
    session_.reset();
    sessionWritable_ = false;
    text = file.text;
    if (file.outcome == StoreFile::Outcome::Fatal)
        return OutboxOpening::Outcome::Fatal;
    if (file.outcome == StoreFile::Outcome::Writable || file.outcome == StoreFile::Outcome::Readable) {
        auto session = std::make_unique<OutboxSession>(std::move(file.db));
        // Only a store from before the outbox, open for reading, lacks its tables.
        if (session->prepare() || file.outcome == StoreFile::Outcome::Readable) {
            session_ = std::move(session);
            sessionWritable_ = file.outcome == StoreFile::Outcome::Writable;
        } else {
            text = "cannot read " + EscapeBytes(path_) + ": " + session->db.error();
        }
    }
    problem_ = sessionWritable_ ? std::string() : text;
    return sessionWritable_ ? OutboxOpening::Outcome::Ready : OutboxOpening::Outcome::Unwritable;
}

// A store that was busy when the gateway opened it (a command line creating it at that
// moment) is opened again at the next read, as at the next write.
bool SqliteOutbox::readable()
{
    if (session_ == nullptr && !forListing_)
        writable();
    return session_ != nullptr && session_->prepared;
}

bool SqliteOutbox::writable()
{
    if (sessionWritable_)
        return true;
    if (forListing_) {
        problem_ = "cannot write " + EscapeBytes(path_) + ": it is open for listing only";
        return false;
    }
    StoreFile file = OpenStoreFile(path_, true);
    std::string text;
    if (adopt(file, text) == OutboxOpening::Outcome::Ready)
        return true;
    problem_ = text;
    return false;
}

template <typename Result>
Result SqliteOutbox::readFailed(Result empty)
{
    session_->db.noteError();
    problem_ = "cannot read " + EscapeBytes(path_) + ": " + session_->db.error();
    return empty;
}

std::vector<OutboxMessage> SqliteOutbox::readMessages(SqliteStatement& select, bool withText)
{
    std::vector<OutboxMessage> found;
    Step step;
    while ((step = select.step()) == Step::Row) {
        OutboxMessage m;
        m.id = select.text(0);
        m.recipient = select.text(1);
        m.parts = static_cast<int>(select.integer(2));
        // A row another program changed is shown as far as it can be, never guessed at.
        m.origin = OutboxOriginFromName(select.text(3)).value_or(OutboxOrigin::Api);
        const std::optional<OutboxState> state = OutboxStateFromName(select.text(4));
        if (!state) {
            problem_ = "cannot read " + EscapeBytes(path_) + ": message " + EscapeBytes(m.id) +
                       " has an unknown state \"" + EscapeBytes(select.text(4)) + "\"";
            return {};
        }
        m.state = *state;
        m.tries = static_cast<int>(select.integer(5));
        m.createdMs = select.integer(6);
        m.changedMs = select.integer(7);
        m.nextTryMs = select.integer(8);
        m.lastError = select.text(9);
        m.partsSent = static_cast<int>(select.integer(10));
        m.partsReported = static_cast<int>(select.integer(11));
        if (withText)
            m.text = select.text(12);
        found.push_back(std::move(m));
    }
    if (step == Step::Error)
        return readFailed(std::vector<OutboxMessage>{});
    problem_.clear();
    return found;
}

std::optional<OutboxMessage> SqliteOutbox::find(const std::string& id)
{
    if (!readable())
        return std::nullopt;
    SqliteStatement& select = session_->findMessage;
    StatementUse use(select);
    select.bindText(1, id);
    std::vector<OutboxMessage> found = readMessages(select, false);
    if (found.empty())
        return std::nullopt;
    return std::move(found.front());
}

std::vector<OutboxMessage> SqliteOutbox::list(std::size_t limit)
{
    if (!readable())
        return {};
    SqliteStatement& select = session_->listMessages;
    StatementUse use(select);
    select.bind(1, sqlLimit(limit));
    return readMessages(select, false);
}

std::optional<OutboxMessage> SqliteOutbox::nextDue(std::int64_t nowMs)
{
    if (!readable())
        return std::nullopt;
    SqliteStatement& select = session_->nextDue;
    StatementUse use(select);
    select.bind(1, nowMs);
    std::vector<OutboxMessage> found = readMessages(select, true);
    if (found.empty())
        return std::nullopt;
    return std::move(found.front());
}

std::optional<std::int64_t> SqliteOutbox::nextDueAt()
{
    if (!readable())
        return std::nullopt;
    SqliteStatement& select = session_->nextDueAt;
    StatementUse use(select);
    if (select.step() != Step::Row)
        return readFailed(std::optional<std::int64_t>{});
    problem_.clear();
    if (select.isNull(0))
        return std::nullopt;
    return select.integer(0);
}

std::optional<SentPart> SqliteOutbox::findSentPart(int reference, const std::string& recipient,
                                                   std::int64_t sinceMs)
{
    if (!readable())
        return std::nullopt;
    SqliteStatement& select = session_->findSentPart;
    StatementUse use(select);
    select.bind(1, reference).bindText(2, recipient).bind(3, sinceMs);
    const Step step = select.step();
    if (step == Step::Error)
        return readFailed(std::optional<SentPart>{});
    problem_.clear();
    if (step == Step::Done)
        return std::nullopt;
    return SentPart{select.text(0), static_cast<int>(select.integer(1)), static_cast<int>(select.integer(2)),
                    select.integer(3)};
}

int SqliteOutbox::partsSentSince(std::int64_t sinceMs)
{
    if (!readable())
        return 0;
    SqliteStatement& count = session_->partsSentSince;
    StatementUse use(count);
    count.bind(1, sinceMs);
    if (count.step() != Step::Row)
        return readFailed(0);
    problem_.clear();
    return static_cast<int>(count.integer(0));
}

std::vector<StateReport> SqliteOutbox::dueStateReports(std::int64_t nowMs, std::size_t limit)
{
    std::vector<StateReport> found;
    if (!readable())
        return found;
    SqliteStatement& select = session_->dueReports;
    StatementUse use(select);
    select.bind(1, nowMs).bind(2, sqlLimit(limit));
    Step step;
    while ((step = select.step()) == Step::Row) {
        StateReport report;
        report.seq = select.integer(0);
        report.id = select.text(1);
        const std::optional<OutboxState> state = OutboxStateFromName(select.text(2));
        if (!state) {
            problem_ = "cannot read " + EscapeBytes(path_) + ": state report " + std::to_string(report.seq) +
                       " has an unknown state";
            return {};
        }
        report.state = *state;
        report.changedMs = select.integer(3);
        report.detail = select.text(4);
        report.tries = static_cast<int>(select.integer(5));
        report.nextTryMs = select.integer(6);
        found.push_back(std::move(report));
    }
    if (step == Step::Error)
        return readFailed(std::vector<StateReport>{});
    problem_.clear();
    return found;
}

void SqliteOutbox::waitWhenBusy(int ms)
{
    if (session_)
        session_->db.exec(("PRAGMA busy_timeout = " + std::to_string(ms)).c_str());
}

} // namespace zorvel
