#include "AnswerPolicy.h"

#include "ByteText.h"
#include "QueryDecoding.h"

#include <QUrl>

namespace zorvel::web {

std::optional<QList<int>> parseStatusScript(const QString& text)
{
    QList<int> statuses;
    for (const QString& part : text.split(',')) {
        bool ok = false;
        const int status = part.trimmed().toInt(&ok);
        if (!ok || status < 100 || status > 599) return std::nullopt;
        statuses.append(status);
    }
    return statuses;
}

AnswerPolicy::AnswerPolicy(FaultOptions options)
    : options_(std::move(options)), random_(options_.seed)
{
    // An absolute target redirects away from every path but its own.
    if (options_.redirectTo.startsWith('/'))
        redirectPath_ = splitTarget(options_.redirectTo).path;
    else
        redirectPath_ = QUrl(QString::fromUtf8(options_.redirectTo)).path(QUrl::FullyEncoded).toUtf8();
}

bool AnswerPolicy::refusesContent(const QByteArray& query) const
{
    if (options_.refuseMessagesContaining.isEmpty()) return false;
    for (const QueryParameter& parameter : decodeQuery(query).parameters) {
        if (parameter.name != "message") continue;
        const QString text = readBytes(parameter.value).text;
        for (const QString& refused : options_.refuseMessagesContaining)
            if (text.contains(refused)) return true;
    }
    return false;
}

Answer AnswerPolicy::decide(const QByteArray& path, const QByteArray& query, bool hasQuery,
                            const ControlOverrides& control)
{
    Answer answer;
    answer.delayMs = control.delayMs.value_or(options_.delayMs);
    const int number = requests_++;
    if (number < options_.resetFirst || control.reset) {
        answer.kind = Answer::Kind::Reset;
        return answer;
    }
    if (control.status) {
        answer.status = *control.status;
        return answer;
    }
    if (!options_.redirectTo.isEmpty() && path != redirectPath_) {
        // The query goes along, so a client that follows the redirect loses nothing.
        answer.status = options_.redirectStatus;
        answer.location = options_.redirectTo;
        if (hasQuery && !answer.location.contains('?')) answer.location += '?' + query;
        return answer;
    }
    if (refusesContent(query)) {
        // A web application that rejects this one message every time it comes.
        answer.status = 400;
        answer.refused = true;
        return answer;
    }
    if (!options_.statusScript.isEmpty()) {
        const int last = int(options_.statusScript.size()) - 1;
        answer.status = options_.statusScript[std::min(scriptPosition_++, last)];
    }
    if (options_.failRate > 0 && random_.generateDouble() < options_.failRate) answer.status = 500;
    return answer;
}

} // namespace zorvel::web
