#include "OutboxAnswer.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <set>

#include "ByteEscape.h"
#include "SmsSubmit.h"

namespace zorvel {

namespace {

// An id that is no id is shown cut short, on one line: it is still the web's bytes.
std::string Shown(std::string_view id)
{
    const std::string escaped = EscapeBytes(id.substr(0, 32));
    return '"' + escaped + (id.size() > 32 ? "\"..." : "\"");
}

// "entry 3", with its id when it has a usable one.
std::string Entry(std::size_t index, const std::string& id)
{
    return "entry " + std::to_string(index + 1) + (id.empty() ? std::string() : " (id " + Shown(id) + ")");
}

std::string TypeName(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null: return "null";
    case QJsonValue::Bool: return "a boolean";
    case QJsonValue::Double: return "a number";
    case QJsonValue::String: return "a string";
    case QJsonValue::Array: return "an array";
    case QJsonValue::Object: return "an object";
    case QJsonValue::Undefined: break;
    }
    return "missing";
}

// One entry, or why it is left out.
std::string CheckEntry(const QJsonValue& entry, std::size_t index, int maxParts, OfferedMessage& message)
{
    if (!entry.isObject())
        return Entry(index, {}) + ": is " + TypeName(entry) + ", not an object";
    const QJsonObject object = entry.toObject();
    const QJsonValue id = object.value(QStringLiteral("id"));
    if (!id.isString())
        return Entry(index, {}) + ": id is " + TypeName(id) + ", not a string";
    const std::string idBytes = id.toString().toStdString();
    if (!IsOutboxId(idBytes))
        return Entry(index, {}) + ": id " + Shown(idBytes) + " is not 1 to 64 of A-Z a-z 0-9 - _ .";
    message.id = idBytes;
    const std::string where = Entry(index, message.id);

    const QJsonValue to = object.value(QStringLiteral("to"));
    if (!to.isString())
        return where + ": \"to\" is " + TypeName(to) + ", not a string";
    std::string whyNot;
    const std::optional<std::string> recipient = CheckRecipient(to.toString().toStdString(), &whyNot);
    if (!recipient)
        return where + ": the recipient is refused (" + whyNot + ")";
    message.recipient = *recipient;

    const QJsonValue text = object.value(QStringLiteral("text"));
    if (!text.isString())
        return where + ": \"text\" is " + TypeName(text) + ", not a string";
    message.text = text.toString().toStdString();
    // Qt's reader lets raw control bytes through in strings; a text has no use for them.
    if (std::any_of(message.text.begin(), message.text.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f';
        }))
        return where + ": the text holds a control character";
    const SubmitPlan plan = CountSubmitParts(message.text, maxParts);
    if (plan.partCount == 0)
        return where + ": " + plan.whyNot;
    message.parts = plan.partCount;
    return {};
}

} // namespace

bool IsOutboxId(std::string_view id)
{
    return !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
               c == '_' || c == '.';
    });
}

OutboxOffer ReadOutboxAnswer(std::string_view body, int maxParts)
{
    OutboxOffer offer;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(body.data(), static_cast<qsizetype>(body.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        offer.problems.push_back("the answer is not JSON (" + error.errorString().toStdString() + ")");
        return offer;
    }
    if (!document.isObject()) {
        offer.problems.push_back("the answer is not a JSON object");
        return offer;
    }
    const QJsonValue messages = document.object().value(QStringLiteral("messages"));
    if (!messages.isArray()) {
        offer.problems.push_back("the answer's \"messages\" is " + TypeName(messages) + ", not an array");
        return offer;
    }
    const QJsonArray entries = messages.toArray();
    const std::size_t count = static_cast<std::size_t>(entries.size());
    std::set<std::string> seen;
    for (std::size_t i = 0; i < std::min(count, outboxAnswerMostEntries); ++i) {
        OfferedMessage message;
        const std::string problem = CheckEntry(entries.at(static_cast<qsizetype>(i)), i, maxParts, message);
        if (!problem.empty()) {
            offer.problems.push_back(problem);
        } else if (!seen.insert(message.id).second) {
            offer.problems.push_back(Entry(i, message.id) + ": the same id came earlier in the answer");
        } else {
            offer.messages.push_back(std::move(message));
        }
    }
    if (count > outboxAnswerMostEntries) {
        const std::size_t left = count - outboxAnswerMostEntries;
        offer.problems.push_back(std::to_string(left) + (left == 1 ? " entry" : " entries") + " after the first "
                                 + std::to_string(outboxAnswerMostEntries) + " ignored until a later poll");
    }
    return offer;
}

} // namespace zorvel
