// --send, --outbox and --resend end to end: the program itself on a temporary folder with
// a real zorvel.sqlite, beside a gateway holding it and a writer holding its lock.
#include <QtTest>

#include <sqlite3.h>

#include "SqliteOutbox.h"
#include "SqliteStore.h"

using namespace zorvel;

namespace {

constexpr std::int64_t t0 = 1'780'000'000'000;

struct Run {
    int exitCode = -1;
    QByteArray out, err;
};

Run runZorvel(const QString& folder, const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    process.start(QStringLiteral(ZORVEL_BUILD_DIR "/zorvel"), QStringList{"--folder", folder} + arguments);
    if (!process.waitForStarted(30000))
        return {};
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(30000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

qint64 count(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    qint64 n = -1;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        n = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return n;
}

} // namespace

class CommandLineOutboxTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString file() const { return dir_->path() + "/zorvel.sqlite"; }
    void writeIni(const QByteArray& lines)
    {
        QFile ini(dir_->path() + "/zorvel.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Zorvel]\nCOM=3\n" + lines);
    }

private slots:
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }
    void send_data();
    void send();
    void outboxListsWithoutTexts();
    void resend_data();
    void resend();
};

void CommandLineOutboxTest::send_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("beside"); // "gateway": one holds the folder; "writer": one writes
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said"); // standard error; for 0 the text stored
    const QByteArray both = "Store=1\nDecode=1\n";
    // With Store=1 and Decode=1, nothing beside it and nothing on standard input.
    const auto row = [&](const char* name, const QStringList& arguments, int exitCode, const QString& said) {
        QTest::newRow(name) << both << "" << arguments << QByteArray() << exitCode << said;
    };
    row("plain", QStringList{"--send", "+49 (170) 123-45", "Hello"}, 0, "Hello");
    QTest::newRow("beside a running gateway") << both << "gateway" << QStringList{"--send", "0170123", "Hi"}
                                              << QByteArray() << 0 << "Hi";
    QTest::newRow("standard input") << both << "" << QStringList{"--send", "0170123", "-"}
                                    << QByteArray("Gr\xC3\xBC\xC3\x9F" "e\nzwei\n") << 0
                                    << QString::fromUtf8("Grüße\nzwei");
    row("a text starting with a dash", QStringList{"--send", "0170", "--", "-5 C"}, 0, "-5 C");
    QTest::newRow("the file busy with a write") << both << "writer" << QStringList{"--send", "0170123", "Hi"}
        << QByteArray() << 1 << "/zorvel.sqlite: database is locked; nothing was added.\n";
    QTest::newRow("Store missing") << QByteArray("Decode=1\n") << "" << QStringList{"--send", "0170123", "Hi"}
        << QByteArray() << 78 << "--send needs Store=1 and Decode=1 in section [Zorvel] of %1/zorvel.ini; "
                                 "Store=1 is missing.\n";
    QTest::newRow("both missing") << QByteArray() << "" << QStringList{"--send", "0170123", "Hi"} << QByteArray()
                                  << 78 << "; Store=1 and Decode=1 is missing.\n";
    QTest::newRow("an unusable zorvel.ini") << both + "SendTries=0\n" << ""
        << QStringList{"--send", "0170123", "Hi"} << QByteArray() << 78 << "Key: SendTries\n";
    row("a number with letters", QStringList{"--send", "0170-CALL-ME", "Hi"}, 2,
        "The number \"0170-CALL-ME\" cannot be sent to: ");
    QTest::newRow("over SendMaxParts") << both + "SendMaxParts=1\n" << ""
        << QStringList{"--send", "0170123", QString(161, 'x')} << QByteArray() << 2 << "The text cannot be sent: ";
    QTest::newRow("two parts allowed") << both + "SendMaxParts=2\n" << ""
        << QStringList{"--send", "0170123", QString(161, 'x')} << QByteArray() << 0 << QString(161, 'x');
    row("an empty text", QStringList{"--send", "0170123", ""}, 2, "The text cannot be sent: ");
    QTest::newRow("input not UTF-8") << both << "" << QStringList{"--send", "0170123", "-"}
        << QByteArray("caf\xE9") << 2 << "The text on standard input is not UTF-8; nothing was added.\n";
    QTest::newRow("input over 64 KiB") << both << "" << QStringList{"--send", "0170123", "-"}
        << QByteArray(64 * 1024 + 1, 'a') << 2 << "longer than 64 KiB";
    row("no text", QStringList{"--send", "0170123"}, 2, "'--send' needs the text after the number");
    row("beside --outbox", QStringList{"--send", "0170123", "x", "--outbox"}, 2, "Use only one of");
}

void CommandLineOutboxTest::send()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, beside);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    writeIni(ini);
    std::unique_ptr<SqliteStore> gateway;
    sqlite3* writer = nullptr;
    if (beside == "gateway") {
        gateway = std::move(SqliteStore::open(dir_->path().toStdString()).store);
        QVERIFY(gateway);
    } else if (beside == "writer") {
        QVERIFY(SqliteOutbox::open(dir_->path().toStdString()).outbox);
        QCOMPARE(sqlite3_open(file().toUtf8().constData(), &writer), SQLITE_OK);
        QCOMPARE(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    const Run run = runZorvel(dir_->path(), arguments, input);
    sqlite3_close(writer);
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode != 0) {
        QVERIFY2(QString::fromUtf8(run.err).contains(said.arg(dir_->path())), run.err.constData());
        QCOMPARE(run.out, QByteArray());
        // Nothing added, and no store made where the settings refuse.
        QVERIFY(count(file(), "SELECT count(*) FROM outbox") <= 0);
        if (exitCode == 78)
            QVERIFY(!QFile::exists(file()));
        return;
    }
    QCOMPARE(run.err, QByteArray());
    const QByteArray id = run.out.trimmed();
    QVERIFY2(QRegularExpression("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[0-9a-f]{4}-[0-9a-f]{12}$")
                 .match(QString::fromLatin1(id)).hasMatch(), run.out.constData());
    QCOMPARE(run.out, id + "\n");
    auto outbox = SqliteOutbox::open(dir_->path().toStdString()).outbox;
    const std::optional<OutboxMessage> due = outbox->nextDue(std::numeric_limits<std::int64_t>::max());
    QVERIFY(due);
    QCOMPARE(QByteArray::fromStdString(due->id), id);
    QCOMPARE(QString::fromStdString(due->text), said);
    QCOMPARE(due->origin, OutboxOrigin::CommandLine);
    QCOMPARE(due->parts, said.size() > 160 ? 2 : 1);
    // Not the web application's: no state report for it.
    QCOMPARE(count(file(), "SELECT count(*) FROM state_reports"), qint64(0));
}

void CommandLineOutboxTest::outboxListsWithoutTexts()
{
    writeIni("Store=1\nDecode=1\n");
    QCOMPARE(runZorvel(dir_->path(), {"--outbox"}).out,
             "No store in " + dir_->path().toUtf8() + " (zorvel.sqlite not found).\n");
    QCOMPARE(runZorvel(dir_->path(), {"--send", "+31 6 1234", "SECRET-TEXT"}).exitCode, 0);
    auto gateway = SqliteStore::open(dir_->path().toStdString()).store;
    QVERIFY(gateway);
    const Run run = runZorvel(dir_->path(), {"--outbox"});
    QCOMPARE(run.exitCode, 0);
    const QList<QByteArray> lines = run.out.split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].startsWith("id  "), run.out.constData());
    QVERIFY2(lines[0].contains("recipient  parts  sent  reported  state   added"), run.out.constData());
    QVERIFY2(lines[1].contains("  +3161234   1      0     0         queued  "), run.out.constData());
    QVERIFY(!run.out.contains("SECRET"));
    gateway.reset();

    QFile::remove(file());
    QFile damaged(file());
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(100, '\x01'));
    damaged.close();
    const Run broken = runZorvel(dir_->path(), {"--outbox"});
    QCOMPARE(broken.exitCode, 65);
    QVERIFY(broken.err.contains("zorvel.sqlite is damaged (file is not a database)"));
}

void CommandLineOutboxTest::resend_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    QTest::newRow("unknown") << "unknown" << "m1" << 0 << "Message m1 is queued to be sent again.\n";
    QTest::newRow("failed") << "failed" << "m1" << 0 << "Message m1 is queued to be sent again.\n";
    QTest::newRow("queued") << "queued" << "m1" << 2
                            << "Message m1 is queued: only an unknown or failed message is sent again.\n";
    QTest::newRow("no such id") << "unknown" << "m2" << 2 << "No message m2 in the outbox of %1 (see --outbox).\n";
    QTest::newRow("a hostile id") << "unknown" << "m\x1b[2J" << 2 << "No message m\\x1B[2J in the outbox";
    QTest::newRow("no store") << "" << "m1" << 2 << "there is no store in %1 (zorvel.sqlite not found).\n";
}

void CommandLineOutboxTest::resend()
{
    QFETCH(QString, state);
    QFETCH(QString, id);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    writeIni("Store=1\nDecode=1\n");
    if (!state.isEmpty()) {
        auto outbox = SqliteOutbox::open(dir_->path().toStdString()).outbox;
        QVERIFY(outbox);
        QCOMPARE(outbox->add({"m1", "+4917011", "text", 1, OutboxOrigin::Web}, t0), OutboxStore::Added::Added);
        if (state != "queued")
            QVERIFY(outbox->markSending("m1", t0 + 1));
        if (state == "unknown")
            QVERIFY(outbox->markUnknown("m1", "no answer", t0 + 2));
        if (state == "failed")
            QVERIFY(outbox->markFailed("m1", "+CMS ERROR: 38", t0 + 2));
    }
    // A gateway holds the folder all along (where there is a store).
    std::unique_ptr<SqliteStore> gateway;
    if (!state.isEmpty())
        QVERIFY(gateway = std::move(SqliteStore::open(dir_->path().toStdString()).store));
    const Run run = runZorvel(dir_->path(), {"--resend", id});
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(exitCode == 0 ? run.out : run.err).contains(said.arg(dir_->path())),
             (run.out + run.err).constData());
    if (state.isEmpty())
        return;
    auto outbox = SqliteOutbox::openForReading(dir_->path().toStdString()).outbox;
    const std::optional<OutboxMessage> m = outbox->find("m1");
    QVERIFY(m);
    QCOMPARE(QString::fromStdString(std::string(OutboxStateName(m->state))), exitCode == 0 ? "queued" : state);
    if (exitCode == 0) {
        QCOMPARE(m->lastError, std::string());
        QCOMPARE(m->tries, 0);
        // The web application hears of it.
        QCOMPARE(count(file(), "SELECT count(*) FROM state_reports WHERE state = 'queued'"), qint64(2));
    }
}

QTEST_GUILESS_MAIN(CommandLineOutboxTest)
#include "test_command_line_outbox.moc"
