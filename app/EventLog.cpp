#include "EventLog.h"

#include <QUrl>

#include "LogCategories.h"
#include "SimReplies.h"

namespace zorvel {

std::string DescribeForward(const ForwardReport& report)
{
    std::string line = report.failure.empty() ? "forwarded" : "not forwarded";
    if (!report.indexes.empty()) {
        line += report.indexes.size() == 1 ? " index " : " indexes ";
        for (std::size_t i = 0; i < report.indexes.size(); ++i)
            line += (i ? ", " : "") + report.indexes[i];
    }
    // A sender may be a name with any bytes in it; escaped, the line stays one line.
    line += " from " + EscapeBytes(report.sender) + ", " + std::to_string(report.parts)
        + (report.parts == 1 ? " part, " : " parts, ") + std::to_string(report.textLength)
        + (report.textLength == 1 ? " character" : " characters");
    const std::string ms = std::to_string(report.elapsedMs) + " ms";
    if (report.failure.empty())
        return line + ", HTTP " + std::to_string(report.status) + " in " + ms;
    line += ": " + EscapeBytes(report.failure) + " after " + ms;
    // Its own back-off: it is tried again in its next turn, or after the wait.
    if (report.nextTryMs > 0)
        line += "; next try in " + std::to_string(report.nextTryMs / 1000) + " s";
    return line;
}

std::string DestinationForLog(const std::string& dest)
{
    const QUrl url(QString::fromUtf8(dest.data(), static_cast<qsizetype>(dest.size())),
                   QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != "http" && scheme != "https") || url.host().isEmpty())
        return "no usable http or https address";
    // Never the user, password, path or query: the key may sit in any of them.
    return url
        .adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
        .toString(QUrl::FullyEncoded)
        .toStdString();
}

void LogCycleEvents(CycleEvents& events)
{
    events.forwarded = [](const ForwardReport& report) {
        if (report.failure.empty())
            qCInfo(lcForward, "%s", DescribeForward(report).c_str());
        else
            qCWarning(lcForward, "%s", DescribeForward(report).c_str());
    };
    events.deleting = [](const std::string& index, bool alreadyForwarded) {
        qCInfo(lcForward, "deleting index %s%s", EscapeBytes(index).c_str(),
               alreadyForwarded ? ", forwarded in an earlier cycle" : "");
    };
    // Built from escaped values: one line, whatever a sender's name holds.
    events.notice = [](const std::string& what) { qCInfo(lcForward, "%s", what.c_str()); };
    events.detail = [](const std::string& what) { qCDebug(lcForward, "%s", what.c_str()); };
    events.warning = [](const std::string& what) { qCWarning(lcModem, "%s", what.c_str()); };
}

void LogExchange(Exchange& exchange)
{
    // The check comes first: with debug off, no byte is escaped.
    exchange.onCommandSent = [](const std::string& command) {
        if (lcModem().isDebugEnabled())
            qCDebug(lcModem, "sent \"%s\"", EscapeBytes(HidePin(command)).c_str());
    };
    exchange.onReplyComplete = [](const std::string& reply) {
        if (lcModem().isDebugEnabled())
            qCDebug(lcModem, "reply \"%s\"", EscapeBytes(HidePin(reply)).c_str());
    };
}

} // namespace zorvel
