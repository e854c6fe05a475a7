// A test folder whose database is on the engine the test run is for: the SQLite file data.dll,
// or, when TARNVALE_TEST_ENGINE is "postgresql", a database of its own on the test server
// (TARNVALE_TEST_PG, made by scripts/pg-test.sh), created for this folder and dropped with it.
// Tests that use it call SKIP_WITHOUT_ENGINE() in init(), and SQLITE_ONLY() in a case about
// the file itself.
#pragma once

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include "ServerAddress.h"
#include "TestFolder.h"

namespace tarnvale::test {

inline bool onServer()
{
    return qgetenv("TARNVALE_TEST_ENGINE") == "postgresql";
}

// Runs `sql` on the test server's maintenance database; the engine's reason when it fails.
inline QString runOnTestServer(const QString &sql)
{
    const std::optional<ServerAddress> server =
        ServerAddress::parse(QString::fromUtf8(qgetenv("TARNVALE_TEST_PG")));
    if (!server)
        return QStringLiteral("TARNVALE_TEST_PG is not set (run the tests through "
                              "scripts/pg-test.sh to start a PostgreSQL server)");
    static QAtomicInteger<int> uses;
    const QString name = QStringLiteral("test-server-%1").arg(uses.fetchAndAddRelaxed(1));
    QString reason;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        server->applyTo(db);
        if (!db.open())
            reason = QStringLiteral("the PostgreSQL test server does not answer: ") +
                     db.lastError().text();
        else if (QSqlQuery query(db); !query.exec(sql))
            reason = query.lastError().text();
    }
    QSqlDatabase::removeDatabase(name);
    return reason;
}

// Why the engine of this run cannot be tested here; empty when it can.
inline QString engineMissing()
{
    return onServer() ? runOnTestServer(QStringLiteral("SELECT 1")) : QString();
}

class StoreFolder : public TestFolder
{
  public:
    ~StoreFolder()
    {
        if (!m_database.isEmpty())
            runOnTestServer(
                QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_database));
    }
    // The SQLite file, or the URI of this folder's own database on the test server.
    QString databasePath()
    {
        if (!onServer())
            return TestFolder::databasePath();
        if (m_database.isEmpty()) {
            static QAtomicInteger<int> made;
            m_database = QStringLiteral("tarnvale_%1_%2")
                             .arg(QCoreApplication::applicationPid())
                             .arg(made.fetchAndAddRelaxed(1));
            runOnTestServer(QStringLiteral("CREATE DATABASE %1").arg(m_database));
        }
        return ServerAddress::parse(QString::fromUtf8(qgetenv("TARNVALE_TEST_PG")))
            ->withDatabase(m_database)
            .uri();
    }

  private:
    QString m_database;
};

} // namespace tarnvale::test

#define SKIP_WITHOUT_ENGINE()                                                                      \
    do {                                                                                           \
        if (const QString missing = tarnvale::test::engineMissing(); missing.isEmpty()) {         \
        } else if (qEnvironmentVariableIsSet("TARNVALE_TEST_PG_STARTED")) {                        \
            QFAIL(qPrintable(QStringLiteral("the test server runs, but: ") + missing));             \
        } else {                                                                                   \
            QSKIP(qPrintable(QStringLiteral("PostgreSQL case skipped: ") + missing));              \
        }                                                                                          \
    } while (false)

#define SQLITE_ONLY()                                                                              \
    do {                                                                                           \
        if (tarnvale::test::onServer())                                                            \
            QSKIP("about the SQLite file itself");                                                 \
    } while (false)
