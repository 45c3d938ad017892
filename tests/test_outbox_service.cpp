// The window's Send with the outbox: what the operator typed is queued in zorvel.sqlite
// in any alphabet, or refused with its reason, never sent half-checked.
#include <QTemporaryDir>
#include <QtTest>

#include "OutboxService.h"
#include "SqliteOutbox.h"
#include "fakes/FakeClock.h"

using namespace zorvel;

namespace {

class IdleExchange : public Exchange {
public:
    bool SendCommand(Command, std::function<void()>) override { return false; }
    void SetTimeoutFlag() override {}
    bool waiting() const override { return false; }
    const std::string& reply() const override { return none_; }
    bool replySettled() const override { return true; }

private:
    std::string none_;
};

class NoHttp : public HttpClient {
public:
    using HttpClient::get;
    void get(const std::string&, const HttpHeaders&, std::function<void(const HttpResult&)>) override {}
};

} // namespace

class OutboxServiceTest : public QObject {
    Q_OBJECT
private slots:
    void typedMessages_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("queuedTo"); // empty: refused
        QTest::addColumn<int>("parts");
        QTest::newRow("Cyrillic and emoji") << "+1 555 000-1234" << QString::fromUtf8("Привет 👋")
                                            << "+15550001234" << 1;
        QTest::newRow("long") << "5550001234" << QString(200, 'a') << "5550001234" << 2;
        QTest::newRow("letters in the number") << "+1555CALLME" << "Hi" << "" << 0;
        QTest::newRow("empty text") << "+15550001234" << "" << "" << 0;
        QTest::newRow("over SendMaxParts") << "+15550001234" << QString(1000, 'a') << "" << 0;
    }
    void typedMessages()
    {
        QFETCH(QString, number);
        QFETCH(QString, text);
        QFETCH(QString, queuedTo);
        QFETCH(int, parts);
        QTemporaryDir dir;
        Configuration config;
        config.SendMaxParts = 3;
        testing::FakeClock clock;
        IdleExchange exchange;
        NoHttp http;
        auto service = OutboxService::open(dir.path().toStdString(), config, clock, exchange, http);
        QVERIFY(service);
        service->queueTyped(number.toStdString(), text.toStdString());
        OutboxOpening listing = SqliteOutbox::openForReading(dir.path().toStdString());
        QVERIFY(listing.outbox);
        const std::vector<OutboxMessage> queued = listing.outbox->list(10);
        QCOMPARE(queued.size(), std::size_t(queuedTo.isEmpty() ? 0 : 1));
        if (queued.empty())
            return;
        QCOMPARE(QString::fromStdString(queued[0].recipient), queuedTo);
        QCOMPARE(queued[0].parts, parts);
        QCOMPARE(queued[0].origin, OutboxOrigin::Window);
        QCOMPARE(queued[0].state, OutboxState::Queued);
    }
};

QTEST_GUILESS_MAIN(OutboxServiceTest)
#include "test_outbox_service.moc"
