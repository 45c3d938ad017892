#pragma once
// The SQLite store's test program: the test class, shared by its source files, and the
// helpers they use on a temporary folder.
#include <QtTest>

#include <sys/resource.h>

#include <csignal>
#include <functional>
#include <memory>

#include "SqliteStore.h"

using Write = std::function<bool(zorvel::SqliteStore&, std::int64_t firstPartId)>;
Q_DECLARE_METATYPE(Write)

namespace storetest {

constexpr std::int64_t day = 24LL * 60 * 60 * 1000;
constexpr std::int64_t t0 = 1'780'000'000'000; // 2026-05-28 20:26:40 UTC

zorvel::NewMessage message(const std::string& id, const std::string& text = "text",
                           const std::string& sender = "+4917012345");
QByteArray fileBytes(const QString& path);
// Runs SQL on a file with the plain SQLite API, as another program would.
void runSql(const QString& path, const char* sql);
// What the file holds, as the sqlite3 tool would count it.
qint64 count(const QString& path, const char* sql);
QByteArray hexOf(const QString& path, const char* sql);
extern QStringList warnings;
void keepWarnings(QtMsgType type, const QMessageLogContext&, const QString& text);
std::vector<std::string> waitingIds(zorvel::SqliteStore& store);

// A file size limit, as a full disk: writes past it fail (with SIGXFSZ ignored).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

} // namespace storetest

class SqliteStoreTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::string folder() const { return dir_->path().toStdString(); }
    QString file() const { return dir_->path() + "/zorvel.sqlite"; }
    std::unique_ptr<zorvel::SqliteStore> openReady();

private slots:
    void init();
    void initTestCase();

    // Writes, their order, delivery and purge (StoreWritesTest.cpp).
    void digest_data();
    void digest();
    void entries();
    void keyedEntries();
    void failedWriteLeavesNothing_data();
    void failedWriteLeavesNothing();
    void waitingOrderAndRestart();
    void deliveredLeavesNoText();
    void purge_data();
    void purge();
    void joinReplacesItsParts();

    // Files it must not touch, the folder lock, and the listing (StoreFilesTest.cpp).
    void fatal_data();
    void fatal();
    void fileGuards_data();
    void fileGuards();
    void secondGatewayOnTheFolder();
    void unwritable_data();
    void unwritable();
    void pendingListing();
    void programListsPending();

    // An older schema (SchemaUpgradeTest.cpp).
    void schemaUpgrade_data();
    void schemaUpgrade();

    // The outbox (OutboxTest.cpp).
    void outboxStates_data();
    void outboxStates();
    void outboxIds_data();
    void outboxIds();
    void outboxDueOrder();
    void sentPartByReference();
    void partsSentSince();
    void stateReportsInOrder();
    void outboxBesideGateway();
    void outboxPurge();
};
