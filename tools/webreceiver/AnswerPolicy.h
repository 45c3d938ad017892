#pragma once
// Which answer each request gets: the fault options and the control file's overrides.
// Pure and deterministic for a given seed, so tests can script a server's bad day.
#include "ControlFile.h"

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <optional>

namespace zorvel::web {

struct FaultOptions {
    QList<int> statusScript;  // successive statuses; the last one repeats
    double failRate = 0;      // share of scripted/200 answers turned into 500
    quint32 seed = 1;
    int delayMs = 0;
    int resetFirst = 0;       // the first N requests get their connection closed, no answer
    QByteArray redirectTo;    // a path, or an absolute http(s) URL
    int redirectStatus = 302;
    QStringList refuseMessagesContaining;  // 400 for a "message" value holding one of these
};

struct Answer {
    enum class Kind { Respond, Reset };
    Kind kind = Kind::Respond;
    int status = 200;
    int delayMs = 0;
    QByteArray location;  // set for a redirect
    bool refused = false; // 400 for the message's content
};

// "500,500,200" → {500, 500, 200}; nothing for an empty list or a value outside 100-599.
std::optional<QList<int>> parseStatusScript(const QString& text);

class AnswerPolicy {
public:
    explicit AnswerPolicy(FaultOptions options);

    // Order: reset (first N, or the control file), the control file's status, the
    // redirect of other paths, the refusal by content, then the status script or 200,
    // then the random failure. A redirect, a refusal or an override does not use up a
    // script entry.
    Answer decide(const QByteArray& path, const QByteArray& query, bool hasQuery,
                  const ControlOverrides& control);

private:
    bool refusesContent(const QByteArray& query) const;

    FaultOptions options_;
    QByteArray redirectPath_;
    int requests_ = 0;
    int scriptPosition_ = 0;
    QRandomGenerator random_;
};

} // namespace zorvel::web
