// The outbox: its states and the state reports they leave, ids, what is due, finding a
// part again by its reference, the caps' count, and writing beside a running gateway.
#include "SqliteStoreTest.h"

#include <sqlite3.h>

#include "SqliteOutbox.h"

using namespace zorvel;
using namespace storetest;

namespace {

std::unique_ptr<SqliteOutbox> openOutbox(const std::string& folder)
{
    OutboxOpening opening = SqliteOutbox::open(folder);
    if (opening.outcome != OutboxOpening::Outcome::Ready)
        qWarning("%s", opening.text.c_str());
    return std::move(opening.outbox);
}

NewOutgoing outgoing(const std::string& id, OutboxOrigin origin = OutboxOrigin::Web, int parts = 1,
                     const std::string& recipient = "+4917011")
{
    return NewOutgoing{id, recipient, "TEXT-OF-" + id, parts, origin};
}

// Runs one step on message "m": a leading '!' means the store must refuse it.
bool runStep(SqliteOutbox& outbox, QString step, std::int64_t now)
{
    const bool refused = step.startsWith('!');
    if (refused)
        step.remove(0, 1);
    const QStringList f = step.split(':');
    const std::string why = "why " + step.toStdString();
    bool done = false;
    if (f[0] == "sending")
        done = outbox.markSending("m", now);
    else if (f[0] == "part")
        done = outbox.partSent("m", f[1].toInt(), f[2].toInt(), now);
    else if (f[0] == "sent")
        done = outbox.markSent("m", now);
    else if (f[0] == "refused")
        done = outbox.sendRefused("m", why, now + 60'000, now);
    else if (f[0] == "failed")
        done = outbox.markFailed("m", why, now);
    else if (f[0] == "unknown")
        done = outbox.markUnknown("m", why, now);
    else if (f[0] == "crash")
        done = outbox.sendingBecomesUnknown(why, now) == 1;
    else if (f[0] == "resend")
        done = outbox.resend("m", now);
    else if (f[0] == "ok" || f[0] == "bad")
        done = outbox.partReported(SentPart{"m", f[1].toInt(), 0, now}, f[0] == "ok", why, now);
    else
        qFatal("unknown step %s", qPrintable(step));
    if (done == refused)
        qWarning("step %s: %s", qPrintable(step), outbox.problem().c_str());
    if (refused && outbox.problem().rfind("cannot write ", 0) != 0)
        return false;
    return done != refused;
}

// Every state report of the store, taking each as the web application accepts it.
QStringList takeReports(SqliteOutbox& outbox)
{
    QStringList states;
    for (int guard = 0; guard < 50; ++guard) {
        const std::vector<StateReport> due = outbox.dueStateReports(t0 + day, 1);
        if (due.empty())
            break;
        QString state = QString::fromStdString(std::string(OutboxStateName(due[0].state)));
        if (!due[0].detail.empty())
            state += ":" + QString::fromStdString(due[0].detail);
        states << state;
        if (!outbox.stateReportDelivered(due[0].seq))
            break;
    }
    return states;
}

} // namespace

void SqliteStoreTest::outboxStates_data()
{
    QTest::addColumn<int>("parts");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("tries");
    QTest::addColumn<QStringList>("reports"); // after "queued", for a message from the web

    QTest::newRow("sent, then delivered") << 1 << QStringList{"sending", "part:1:7", "sent", "ok:1"}
        << "delivered" << 0 << QStringList{"sending", "sent", "delivered:why ok:1"};
    QTest::newRow("a report before it was marked sent")
        << 1 << QStringList{"sending", "part:1:3", "ok:1", "sent"} << "delivered" << 0
        << QStringList{"sending", "sent", "delivered"};
    QTest::newRow("two parts, one delivered") << 2
        << QStringList{"sending", "part:1:255", "part:2:0", "sent", "ok:2"} << "sent" << 0
        << QStringList{"sending", "sent"};
    QTest::newRow("two parts, the second failed") << 2
        << QStringList{"sending", "part:1:7", "part:2:8", "sent", "ok:1", "bad:2"} << "failed" << 0
        << QStringList{"sending", "sent", "failed:why bad:2"};
    QTest::newRow("a report heard twice") << 1 << QStringList{"sending", "part:1:7", "sent", "bad:1", "ok:1"}
        << "failed" << 0 << QStringList{"sending", "sent", "failed:why bad:1"};
    QTest::newRow("a part failed while the next is sent")
        << 2 << QStringList{"sending", "part:1:7", "bad:1", "part:2:9", "sent"} << "failed" << 0
        << QStringList{"sending", "failed:why bad:1"};
    // The part the modem took is not sent again: the next try goes on from part 2.
    QTest::newRow("refused after a part: goes on from the next")
        << 2 << QStringList{"sending", "part:1:1", "refused", "sending", "part:2:3", "sent"}
        << "sent" << 1 << QStringList{"sending", "queued:why refused", "sending", "sent"};
    QTest::newRow("unknown, then its report came") << 1
        << QStringList{"sending", "part:1:5", "unknown", "ok:1"} << "delivered" << 0
        << QStringList{"sending", "unknown:why unknown", "delivered:why ok:1"};
    QTest::newRow("unknown, sent again") << 1
        << QStringList{"sending", "part:1:5", "crash", "resend", "sending", "part:1:6", "sent"} << "sent" << 0
        << QStringList{"sending", "unknown:why crash", "queued", "sending", "sent"};
    QTest::newRow("failed, sent again: tries cleared") << 1
        << QStringList{"sending", "refused", "failed", "resend"} << "queued" << 0
        << QStringList{"sending", "queued:why refused", "failed:why failed", "queued"};
    QTest::newRow("an old round's report after a resend") << 1
        << QStringList{"sending", "part:1:5", "unknown", "resend", "!ok:1"} << "queued" << 0
        << QStringList{"sending", "unknown:why unknown", "queued"};
    QTest::newRow("a queued message is not resent") << 1 << QStringList{"!resend"} << "queued" << 0
        << QStringList{};
    QTest::newRow("a delivered message stays") << 1
        << QStringList{"sending", "part:1:1", "sent", "ok:1", "!failed", "!unknown", "!sending", "bad:1"}
        << "delivered" << 0 << QStringList{"sending", "sent", "delivered:why ok:1"};
    QTest::newRow("sent with a part missing") << 2 << QStringList{"sending", "part:1:1", "!sent"} << "sending"
        << 0 << QStringList{"sending"};
    QTest::newRow("parts that do not fit") << 2
        << QStringList{"!part:1:1", "sending", "!part:3:1", "!part:0:1", "!part:1:256", "!part:1:-1", "part:1:1",
                       "!part:1:2", "!sending"}
        << "sending" << 0 << QStringList{"sending"};
    QTest::newRow("a report of a part not sent") << 2 << QStringList{"sending", "part:1:1", "!ok:2"} << "sending"
        << 0 << QStringList{"sending"};
    QTest::newRow("refused while not sending") << 1 << QStringList{"!refused"} << "queued" << 0 << QStringList{};
}

void SqliteStoreTest::outboxStates()
{
    QFETCH(int, parts);
    QFETCH(QStringList, steps);
    QFETCH(QString, state);
    QFETCH(int, tries);
    QFETCH(QStringList, reports);
    for (OutboxOrigin origin : {OutboxOrigin::Web, OutboxOrigin::CommandLine}) {
        QFile::remove(file());
        auto outbox = openOutbox(folder());
        QVERIFY(outbox);
        QCOMPARE(outbox->add(outgoing("m", origin, parts), t0), OutboxStore::Added::Added);
        std::int64_t now = t0;
        for (const QString& step : steps)
            QVERIFY2(runStep(*outbox, step, now += 1000), qPrintable(step));
        const std::optional<OutboxMessage> m = outbox->find("m");
        QVERIFY(m);
        QCOMPARE(QString::fromStdString(std::string(OutboxStateName(m->state))), state);
        QCOMPARE(m->tries, tries);
        // The text goes once it is delivered, and stays while it may be sent again.
        QCOMPARE(count(file(), "SELECT text IS NULL FROM outbox"), qint64(state == "delivered"));
        const QStringList expected = origin == OutboxOrigin::Web ? QStringList{"queued"} + reports : QStringList{};
        QCOMPARE(takeReports(*outbox), expected);
        outbox.reset();
        QFile::remove(file() + "-wal");
        QFile::remove(file() + "-shm");
    }
}

void SqliteStoreTest::outboxIds_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("valid");
    QTest::newRow("uuid") << "0f8c2e9a-3b1d-4c55-9e7a-1a2b3c4d5e6f" << true;
    QTest::newRow("64 characters") << QString(64, 'a') << true;
    QTest::newRow("dots and underscores") << "web_17.2" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("65 characters") << QString(65, 'a') << false;
    QTest::newRow("a control character") << "a\x1b[0m" << false;
    QTest::newRow("not ASCII") << QString::fromUtf8("caf\xC3\xA9") << false;
}

// The same id twice: the first message stays as it was.
void SqliteStoreTest::outboxIds()
{
    QFETCH(QString, id);
    QFETCH(bool, valid);
    auto outbox = openOutbox(folder());
    QVERIFY(outbox);
    NewOutgoing first = outgoing(id.toStdString());
    QCOMPARE(outbox->add(first, t0), valid ? OutboxStore::Added::Added : OutboxStore::Added::Failed);
    if (!valid) {
        QVERIFY2(outbox->problem().find("is not 1 to 64 of A-Z a-z 0-9 - _ .") != std::string::npos,
                 outbox->problem().c_str());
        for (unsigned char c : outbox->problem())
            QVERIFY(c >= 0x20 && c < 0x7F);
        QCOMPARE(count(file(), "SELECT count(*) FROM outbox"), qint64(0));
        return;
    }
    QVERIFY(outbox->markSending(first.id, t0 + 1));
    NewOutgoing second{first.id, "+3161", "OTHER", 3, OutboxOrigin::CommandLine};
    QCOMPARE(outbox->add(second, t0 + 2), OutboxStore::Added::AlreadyThere);
    QVERIFY(outbox->problem().empty());
    const std::optional<OutboxMessage> kept = outbox->find(first.id);
    QVERIFY(kept);
    QCOMPARE(kept->recipient, first.recipient);
    QCOMPARE(kept->state, OutboxState::Sending);
    QCOMPARE(count(file(), "SELECT count(*) FROM state_reports"), qint64(2));
}

// Queued messages by their next try, ties in the order they came; nextDue gives the text.
void SqliteStoreTest::outboxDueOrder()
{
    auto outbox = openOutbox(folder());
    QVERIFY(outbox);
    QCOMPARE(outbox->nextDueAt(), std::optional<std::int64_t>());
    QVERIFY(!outbox->nextDue(t0 + day));
    for (const char* id : {"a", "b", "c", "d"})
        QCOMPARE(outbox->add(outgoing(id), t0), OutboxStore::Added::Added);
    QVERIFY(outbox->markSending("a", t0 + 1));
    QVERIFY(outbox->sendRefused("a", "ERROR", t0 + 500, t0 + 2));
    QVERIFY(outbox->markSending("c", t0 + 3));
    QCOMPARE(outbox->nextDueAt(), std::optional<std::int64_t>(t0));
    QVERIFY(!outbox->nextDue(t0 - 1));
    std::optional<OutboxMessage> due = outbox->nextDue(t0);
    QVERIFY(due);
    QCOMPARE(due->id, std::string("b"));
    QCOMPARE(due->text, std::string("TEXT-OF-b"));
    QVERIFY(outbox->markSending("b", t0 + 4));
    QVERIFY(outbox->markSending("d", t0 + 5));
    QCOMPARE(outbox->nextDueAt(), std::optional<std::int64_t>(t0 + 500));
    QVERIFY(!outbox->nextDue(t0 + 499));
    QCOMPARE(outbox->nextDue(t0 + 500)->lastError, std::string("ERROR"));
    // Newest first, without texts.
    std::vector<std::string> listed;
    for (const OutboxMessage& m : outbox->list(3)) {
        listed.push_back(m.id);
        QCOMPARE(m.text, std::string());
    }
    QCOMPARE(listed, (std::vector<std::string>{"d", "c", "b"}));
}

// A status report names a reference (0..255, so it comes round again) and a recipient.
void SqliteStoreTest::sentPartByReference()
{
    auto outbox = openOutbox(folder());
    QVERIFY(outbox);
    auto send = [&](const std::string& id, const std::string& to, int reference, std::int64_t at) {
        return outbox->add(outgoing(id, OutboxOrigin::Web, 1, to), at) == OutboxStore::Added::Added &&
               outbox->markSending(id, at) && outbox->partSent(id, 1, reference, at) && outbox->markSent(id, at);
    };
    QVERIFY(send("old", "+4917011", 255, t0));
    QVERIFY(send("other", "+4917022", 255, t0 + 1000));
    QVERIFY(send("next", "+4917011", 0, t0 + 2000));
    QVERIFY(send("new", "+4917011", 255, t0 + day));
    auto found = [&](int reference, const std::string& to, std::int64_t since) {
        const std::optional<SentPart> part = outbox->findSentPart(reference, to, since);
        return part ? part->messageId : std::string("-");
    };
    QCOMPARE(found(255, "+4917011", t0), std::string("new"));
    QCOMPARE(found(255, "+4917011", t0 + day + 1), std::string("-"));
    QCOMPARE(found(255, "+4917022", t0), std::string("other"));
    QCOMPARE(found(0, "+4917011", t0), std::string("next"));
    QCOMPARE(found(7, "+4917011", t0), std::string("-"));
    const std::optional<SentPart> part = outbox->findSentPart(255, "+4917011", t0);
    QCOMPARE(part->sentMs, t0 + day);
    // Given up and sent again: the old reference finds nothing any more.
    QVERIFY(outbox->markUnknown("new", "no answer", t0 + day + 1));
    QVERIFY(outbox->resend("new", t0 + day + 2));
    QCOMPARE(found(255, "+4917011", t0 + 1), std::string("-"));
    QVERIFY(outbox->problem().empty());
}

// Every part the modem took counts, also those of a round an operator gave up.
void SqliteStoreTest::partsSentSince()
{
    auto outbox = openOutbox(folder());
    QVERIFY(outbox);
    QCOMPARE(outbox->partsSentSince(0), 0);
    QCOMPARE(outbox->add(outgoing("m", OutboxOrigin::Web, 3), t0), OutboxStore::Added::Added);
    QVERIFY(outbox->markSending("m", t0));
    QVERIFY(outbox->partSent("m", 1, 1, t0 + 1000));
    QVERIFY(outbox->partSent("m", 2, 2, t0 + 2000));
    QVERIFY(outbox->markUnknown("m", "no answer", t0 + 2500));
    QVERIFY(outbox->resend("m", t0 + 3000));
    QVERIFY(outbox->markSending("m", t0 + 3000));
    QVERIFY(outbox->partSent("m", 1, 3, t0 + 61'000));
    QCOMPARE(outbox->partsSentSince(t0), 3);
    QCOMPARE(outbox->partsSentSince(t0 + 1001), 2);
    QCOMPARE(outbox->partsSentSince(t0 + 61'000), 1);
    QCOMPARE(outbox->partsSentSince(t0 + 61'001), 0);
    QCOMPARE(outbox->find("m")->partsSent, 1);
}

// A message's reports go in the order of its changes, whatever became of the one before.
void SqliteStoreTest::stateReportsInOrder()
{
    auto outbox = openOutbox(folder());
    QVERIFY(outbox);
    QCOMPARE(outbox->add(outgoing("a"), t0), OutboxStore::Added::Added);
    QCOMPARE(outbox->add(outgoing("b"), t0 + 1), OutboxStore::Added::Added);
    QVERIFY(outbox->markSending("a", t0 + 2));
    auto due = [&](std::int64_t now) {
        std::vector<std::string> found;
        for (const StateReport& r : outbox->dueStateReports(now, 10))
            found.push_back(r.id + "/" + std::string(OutboxStateName(r.state)));
        return found;
    };
    QCOMPARE(due(t0 + 2), (std::vector<std::string>{"a/queued", "b/queued"}));
    const std::int64_t first = outbox->dueStateReports(t0 + 2, 1).at(0).seq;
    QVERIFY(outbox->stateReportRefused(first, "HTTP 503", t0 + 9000));
    // a's "sending" waits behind its refused "queued".
    QCOMPARE(due(t0 + 3), std::vector<std::string>{"b/queued"});
    const StateReport again = outbox->dueStateReports(t0 + 9000, 1).at(0);
    QCOMPARE(again.seq, first);
    QCOMPARE(again.tries, 1);
    QCOMPARE(again.nextTryMs, t0 + 9000);
    QVERIFY(outbox->stateReportDelivered(first));
    QVERIFY(outbox->stateReportDelivered(first)); // asked again: done already
    QCOMPARE(due(t0 + 9000), (std::vector<std::string>{"b/queued", "a/sending"}));
    QVERIFY(!outbox->stateReportRefused(first, "late", t0));
    QVERIFY(outbox->problem().find("state report " + std::to_string(first) + " is not waiting") !=
            std::string::npos);
}

// The command line writes while the gateway holds the folder; a write that finds the
// file busy fails at once, loses nothing, and works when tried again.
void SqliteStoreTest::outboxBesideGateway()
{
    auto gateway = openReady();
    QVERIFY(gateway);
    auto outbox = openOutbox(folder());
    QVERIFY(outbox);
    QCOMPARE(outbox->add(outgoing("m1"), t0), OutboxStore::Added::Added);

    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open(file().toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    QCOMPARE(outbox->add(outgoing("m2"), t0), OutboxStore::Added::Failed);
    QVERIFY2(outbox->problem() == "cannot write " + folder() + "/zorvel.sqlite: database is locked",
             outbox->problem().c_str());
    QVERIFY(!outbox->markSending("m1", t0));
    QVERIFY(outbox->find("m1"));
    QCOMPARE(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);

    QCOMPARE(outbox->add(outgoing("m2"), t0), OutboxStore::Added::Added);
    QVERIFY(outbox->markSending("m1", t0));
    QCOMPARE(outbox->list(10).size(), std::size_t(2));
    QCOMPARE(count(file(), "SELECT count(*) FROM state_reports"), qint64(3));
    Intake intake;
    intake.messages = {message("in1")};
    QVERIFY(gateway->keep(intake, t0));
}

// Finished messages leave after 7 days; what may still be sent stays.
void SqliteStoreTest::outboxPurge()
{
    auto outbox = openOutbox(folder());
    QVERIFY(outbox);
    for (const char* id : {"delivered", "failed", "unknown", "queued", "reported"})
        QCOMPARE(outbox->add(outgoing(id, OutboxOrigin::CommandLine), t0), OutboxStore::Added::Added);
    QCOMPARE(outbox->add(outgoing("web"), t0), OutboxStore::Added::Added);
    QVERIFY(outbox->markSending("delivered", t0) && outbox->partSent("delivered", 1, 1, t0) &&
            outbox->markSent("delivered", t0) &&
            outbox->partReported({"delivered", 1, 1, t0}, true, "", t0));
    QVERIFY(outbox->markFailed("failed", "no", t0));
    QVERIFY(outbox->markUnknown("unknown", "no", t0));
    QVERIFY(outbox->markFailed("web", "no", t0)); // its reports still wait
    QVERIFY(outbox->purge(t0 + 7 * day));
    QCOMPARE(outbox->list(10).size(), std::size_t(6));
    QVERIFY(outbox->purge(t0 + 7 * day + 1));
    std::vector<std::string> left;
    for (const OutboxMessage& m : outbox->list(10))
        left.push_back(m.id);
    QCOMPARE(left, (std::vector<std::string>{"web", "reported", "queued", "unknown"}));
    QCOMPARE(count(file(), "SELECT count(*) FROM outbox_parts"), qint64(0));
    QCOMPARE(outbox->partsSentSince(0), 0);
}
