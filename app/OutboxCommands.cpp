#include "OutboxCommands.h"

#include <QThread>

#include <sys/stat.h>

#include <QStringDecoder>

#include "ByteEscape.h"
#include "Configuration.h"
#include "ExitCodes.h"
#include "OutboxReport.h"
#include "SendKeys.h"
#include "SmsSubmit.h"
#include "SqliteOutbox.h"

namespace zorvel {

namespace {

CommandOutcome failed(int exitCode, const std::string& text)
{
    return CommandOutcome{exitCode, {}, text + "\n"};
}

// The folder's settings, when they allow the outbox: else why not.
std::optional<Configuration> sendingConfiguration(const std::string& folder, const char* option,
                                                  CommandOutcome& refusal)
{
    ConfigurationResult result = LoadConfiguration(folder);
    if (!result.config) {
        refusal = failed(exitcode::configuration, result.error);
        return std::nullopt;
    }
    const std::string missing = MissingForSending(*result.config);
    if (!missing.empty()) {
        refusal = failed(exitcode::configuration,
                         std::string(option) + " needs Store=1 and Decode=1 in section [Zorvel] of " +
                             EscapeBytes(result.config->iniPath) + "; " + missing + " is missing.");
        return std::nullopt;
    }
    return std::move(result.config);
}

bool storeExists(const std::string& folder)
{
    struct stat info;
    return ::lstat((folder + "/zorvel.sqlite").c_str(), &info) == 0;
}

// The outbox open for writing, or the outcome that says why not.
std::unique_ptr<SqliteOutbox> openForWriting(const std::string& folder, CommandOutcome& refusal)
{
    OutboxOpening opening = SqliteOutbox::open(folder);
    // A gateway starting in the folder may be creating or upgrading the store right now:
    // a command line can wait for that, as it waits for the gateway's writes.
    for (int i = 0; i < 50 && opening.outcome == OutboxOpening::Outcome::Unwritable &&
                    opening.text.find("locked") != std::string::npos;
         ++i) {
        QThread::msleep(100);
        opening = SqliteOutbox::open(folder);
    }
    switch (opening.outcome) {
    case OutboxOpening::Outcome::Ready:
        opening.outbox->waitWhenBusy(5000); // the gateway's writes are short
        return std::move(opening.outbox);
    case OutboxOpening::Outcome::Unwritable: refusal = failed(exitcode::portFailed, opening.text); break;
    case OutboxOpening::Outcome::Fatal: refusal = failed(exitcode::storeDamaged, opening.text); break;
    }
    return nullptr;
}

} // namespace

CommandOutcome SendFromCommandLine(const std::string& folder, const std::string& recipient,
                                   const std::string& text, std::int64_t nowMs, const MessageIdSource& newId)
{
    CommandOutcome refusal;
    const std::optional<Configuration> config = sendingConfiguration(folder, "--send", refusal);
    if (!config)
        return refusal;
    std::string why;
    const std::optional<std::string> number = CheckRecipient(recipient, &why);
    if (!number)
        return failed(exitcode::usage, "The number \"" + EscapeBytes(recipient.substr(0, 40)) +
                                           "\" cannot be sent to: " + why);
    const SubmitPlan plan = CountSubmitParts(text, config->SendMaxParts);
    if (plan.partCount == 0)
        return failed(exitcode::usage, "The text cannot be sent: " + plan.whyNot);
    std::unique_ptr<SqliteOutbox> outbox = openForWriting(folder, refusal);
    if (!outbox)
        return refusal;
    const NewOutgoing message{newId(), *number, text, plan.partCount, OutboxOrigin::CommandLine};
    switch (outbox->add(message, nowMs)) {
    case OutboxStore::Added::Added: return CommandOutcome{0, message.id + "\n", {}};
    case OutboxStore::Added::AlreadyThere:
        return failed(exitcode::portFailed, "The new id " + EscapeBytes(message.id) + " is taken already; nothing was added.");
    case OutboxStore::Added::Failed: break;
    }
    return failed(exitcode::portFailed, outbox->problem() + "; nothing was added.");
}

CommandOutcome ListOutboxFromCommandLine(const std::string& folder, std::int64_t nowMs)
{
    CommandOutcome refusal;
    if (!sendingConfiguration(folder, "--outbox", refusal))
        return refusal;
    const PendingListing listing = ListOutbox(folder, nowMs);
    return CommandOutcome{listing.unreadable ? exitcode::storeDamaged : 0, listing.output, listing.error};
}

CommandOutcome ResendFromCommandLine(const std::string& folder, const std::string& id, std::int64_t nowMs)
{
    CommandOutcome refusal;
    if (!sendingConfiguration(folder, "--resend", refusal))
        return refusal;
    const std::string shownId = EscapeBytes(id.substr(0, 80));
    if (!storeExists(folder))
        return failed(exitcode::usage, "No message " + shownId + " to send again: there is no store in " +
                                           EscapeBytes(folder) + " (zorvel.sqlite not found).");
    std::unique_ptr<SqliteOutbox> outbox = openForWriting(folder, refusal);
    if (!outbox)
        return refusal;
    const std::optional<OutboxMessage> message = outbox->find(id);
    if (!message) {
        if (!outbox->problem().empty())
            return failed(exitcode::storeDamaged, outbox->problem());
        return failed(exitcode::usage, "No message " + shownId + " in the outbox of " + EscapeBytes(folder) +
                                           " (see --outbox).");
    }
    if (message->state != OutboxState::Unknown && message->state != OutboxState::Failed)
        return failed(exitcode::usage, "Message " + shownId + " is " + std::string(OutboxStateName(message->state)) +
                                           ": only an unknown or failed message is sent again.");
    if (!outbox->resend(id, nowMs))
        return failed(exitcode::portFailed, outbox->problem() + "; nothing changed.");
    return CommandOutcome{0, "Message " + shownId + " is queued to be sent again.\n", {}};
}

std::optional<std::string> ReadInputText(std::FILE* input, std::string& why)
{
    std::string text;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, input)) > 0) {
        text.append(buffer, got);
        if (text.size() > longestInputText) {
            why = "The text on standard input is longer than " + std::to_string(longestInputText / 1024) +
                  " KiB; nothing was added.";
            return std::nullopt;
        }
    }
    if (std::ferror(input)) {
        why = "Standard input could not be read; nothing was added.";
        return std::nullopt;
    }
    // The line end that echo and a text editor put after the last line is no part of it.
    if (text.size() >= 1 && text.back() == '\n')
        text.pop_back();
    if (text.size() >= 1 && text.back() == '\r')
        text.pop_back();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(QByteArrayView(text.data(), qsizetype(text.size())));
    if (utf8.hasError()) {
        why = "The text on standard input is not UTF-8; nothing was added.";
        return std::nullopt;
    }
    return text;
}

} // namespace zorvel
