// What differs between the two engines the store runs on, SQLite (one file) and PostgreSQL (a
// server), in one place: every statement the store writes for both goes through here where
// the engines disagree.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <optional>

class QSqlQuery;

namespace tarnvale {

class SqlDialect
{
  public:
    enum class Engine { Sqlite, Postgres };

    explicit SqlDialect(Engine engine = Engine::Sqlite) : m_engine(engine) {}
    // The engine of an open (or configured) connection, from its driver.
    static SqlDialect of(const QSqlDatabase &db);
    static QString driverName(Engine engine);

    Engine engine() const { return m_engine; }
    bool isServer() const { return m_engine == Engine::Postgres; }

    // One of this program's schema statements, written for SQLite, in this engine's words:
    // 64-bit identity columns that never hand out an id twice; characters by code and trim.
    QString schemaStatement(const QString &sqliteStatement) const;
    // The statements that make the current schema on an empty database, version included.
    QStringList createStatements(int version, bool withSearchIndex) const;
    // Answers the number of tables, views and triggers in the database's own schema.
    QString countSchemaObjects() const;
    // Answers 1 when a table named by the one bound value exists.
    QString tableExists() const;
    // Reading and writing the schema version.
    QString readVersion() const;
    QString writeVersion(int version) const;

    // The INSERT statement made to answer the new row's id (read it with insertedId()).
    QString insertReturningId(const QString &insert, const QString &idColumn) const;
    std::optional<qint64> insertedId(QSqlQuery &query) const;

    // The statements that begin a transaction that will write: the engine's write lock taken
    // first, so that a read-then-write waits for another workstation's writer. `nested`: inside
    // a transaction begun by the caller.
    QStringList beginWriting(bool nested) const;
    // The write lock alone, inside a transaction already begun (empty: the engine holds it).
    QString takeWriteLock() const;
    // On a server, the same lock held by the session until released: while the schema is
    // made or brought up to date, no other program writes or makes it too.
    QString holdSchemaLock(bool hold) const;
    // The notification channel on which every committed write is announced to the other
    // connections, sent by taking the write lock (empty: the engine has none).
    QString changeChannel() const;

    // The collation that compares text exactly, character by character, case counting.
    QString exactCollation() const;

    // WHERE conditions that together hold at least every group name that is empty or starts
    // with a blank, each read from the group name's index.
    QStringList looseGroupConditions() const;

  private:
    Engine m_engine;
};

} // namespace tarnvale
