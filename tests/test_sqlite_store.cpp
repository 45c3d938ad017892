// The SQLite store on a temporary folder: what a write leaves (all or nothing), the order
// of delivery, what stays after delivery and purge, a restart, files it must not touch, a
// second gateway, a folder it cannot write, and the --pending listing. The tests are in
// tests/test_sqlite_store/, by topic.
#include "test_sqlite_store/SqliteStoreTest.h"

QTEST_GUILESS_MAIN(SqliteStoreTest)
