// The schema of a database: the tables checked and made, the schema steps applied, and the
// search index made and kept in step.

#include "RecordStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>

#include "SchemaCheck.h"

namespace tarnvale {

namespace {

const QStringList kTables = {QStringLiteral("groups"), QStringLiteral("wrecker"),
                             QStringLiteral("reminders"), QStringLiteral("lb_type")};

} // namespace

bool RecordStore::hasVersionTable()
{
    QSqlQuery query(database());
    return exec(m_dialect.tableExists(), {QStringLiteral("wrecker_version")},
                QStringLiteral("reading the schema"), &query) &&
           query.next() && query.value(0).toInt() == 1;
}

bool RecordStore::checkTables()
{
    QSqlDatabase db = database();
    for (const QString &table : kTables) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT * FROM \"%1\" LIMIT 0").arg(table)))
            return fail(query, QStringLiteral("opening table ") + table);
    }
    return true;
}

bool RecordStore::createSchema()
{
    QSqlDatabase db = database();
    TransactionGuard guard(db);
    if (!guard.begun())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    const QStringList statements = m_dialect.createStatements(
        SchemaCheck::kVersion, !isServer() && SchemaCheck::engineHasFts5(db));
    for (const QString &sql : statements) {
        QSqlQuery query(db);
        if (!query.exec(sql))
            return fail(query, QStringLiteral("creating the tables"));
    }
    if (!guard.commit())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    return true;
}

bool RecordStore::migrate(bool applySteps)
{
    // Each schema step runs in its own transaction and raises user_version. Version 0 is a
    // database made elsewhere with the four tables: it is taken as version 1.
    QSqlDatabase db = database();
    QSqlQuery query(db);
    if (!query.exec(m_dialect.readVersion()) || !query.next())
        return fail(query, QStringLiteral("reading the schema version"));
    const int version = query.value(0).toInt();
    query = QSqlQuery();
    if (version > SchemaCheck::kVersion)
        return fail(DbError::kNewerSchema, QStringLiteral("The database was made by a newer version of the program "
                                         "(schema version %1).").arg(version));
    if (!applySteps)
        return true;
    // Version 2: the tables that keep more about a vehicle (holds, release, payments).
    // Version 3: the search index, made and filled by the store. Version 4: the tree's index.
    // Version 6: when and by whom each payment was taken, and what a refund gives back.
    // Version 7: the indexes of the vehicles still in the yard.
    // Version 9: the indexes of the releases and payments by their day.
    for (int step = std::max(version, 1) + 1; step <= SchemaCheck::kVersion; ++step) {
        if (step == 3) {
            if (!isServer() && !makeSearchIndex(3))
                return false;
            continue;
        }
        TransactionGuard guard(db, TransactionGuard::Lock::Writing);
        if (!guard.begun())
            return fail(guard.lastError(), QStringLiteral("writing to the database"));
        // Another program may have taken the step since this one read the version.
        QSqlQuery again(db);
        if (!again.exec(m_dialect.readVersion()) || !again.next())
            return fail(again, QStringLiteral("reading the schema version"));
        if (again.value(0).toInt() >= step)
            continue;
        again = QSqlQuery();
        QStringList statements = SchemaCheck::stepStatements(step);
        statements << m_dialect.writeVersion(step);
        for (const QString &sql : statements) {
            QSqlQuery change(db);
            if (!change.exec(m_dialect.schemaStatement(sql)))
                return fail(change, QStringLiteral("upgrading the tables to version %1").arg(step));
        }
        if (!guard.commit())
            return fail(guard.lastError(), QStringLiteral("writing to the database"));
    }
    // A file whose search index is missing or incomplete gets it made again; without FTS5 in
    // the engine, searches scan instead.
    if (version >= 3 && !isServer() && m_searchIndexMade && SchemaCheck::engineHasFts5(db) &&
        !SchemaCheck::hasSearchIndex(db))
        return makeSearchIndex(SchemaCheck::kVersion);
    return true;
}

bool RecordStore::makeSearchIndex(int version)
{
    QSqlDatabase db = database();
    TransactionGuard guard(db, TransactionGuard::Lock::Writing);
    if (!guard.begun())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    QStringList statements{QStringLiteral("DROP TRIGGER IF EXISTS wrecker_fts_insert"),
                           QStringLiteral("DROP TRIGGER IF EXISTS wrecker_fts_delete"),
                           QStringLiteral("DROP TRIGGER IF EXISTS wrecker_fts_update"),
                           QStringLiteral("DROP TABLE IF EXISTS wrecker_fts")};
    const bool fts5 = SchemaCheck::engineHasFts5(db);
    if (fts5)
        statements << SchemaCheck::searchIndexStatements();
    statements << QStringLiteral("PRAGMA user_version = %1").arg(version);
    for (const QString &sql : statements) {
        QSqlQuery query(db);
        if (!query.exec(sql))
            return fail(query, QStringLiteral("making the search index"));
    }
    if (fts5) {
        QSqlQuery range(db);
        if (!range.exec(QStringLiteral("SELECT min(id), max(id), count(*) FROM wrecker")) ||
            !range.next())
            return fail(range, QStringLiteral("making the search index"));
        const qint64 first = range.value(0).toLongLong(), last = range.value(1).toLongLong();
        const qint64 total = range.value(2).toLongLong();
        range = QSqlQuery();
        QSqlQuery fill(db);
        fill.prepare(SchemaCheck::searchIndexFill());
        constexpr qint64 kChunk = 20000;
        for (qint64 from = first; total > 0 && from <= last; from += kChunk) {
            fill.bindValue(0, from);
            fill.bindValue(1, qMin(last, from + kChunk - 1));
            if (!exec(fill, QStringLiteral("making the search index")))
                return false;
            if (m_progress)
                m_progress(qMin(last, from + kChunk - 1) - first + 1, last - first + 1);
        }
    }
    if (!guard.commit())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    return true;
}

bool RecordStore::rebuildSearchIndex()
{
    if (!isOpen())
        return failNotOpen();
    if (isServer() || !SchemaCheck::engineHasFts5(database()))
        return true;
    return makeSearchIndex(SchemaCheck::kVersion);
}

// Whether the search index holds what the table does, at little cost whatever its size: as
// many rows as the table, a sample of records found under their own text, and for up to
// 50,000 records FTS5's own check of the index. A damaged index fails one of them.
bool RecordStore::searchIndexMatches()
{
    QSqlDatabase db = database();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT count(*), min(id), max(id) FROM wrecker")) ||
        !query.next())
        return false;
    const qint64 count = query.value(0).toLongLong();
    const qint64 first = query.value(1).toLongLong(), last = query.value(2).toLongLong();
    // The index's own row count opens its "averages" record: an SQLite varint.
    if (!query.exec(QStringLiteral("SELECT block FROM wrecker_fts_data WHERE id = 1")))
        return false;
    const QByteArray averages = query.next() ? query.value(0).toByteArray() : QByteArray();
    qint64 indexed = 0;
    for (int i = 0; i < averages.size() && i < 8; ++i) {
        indexed = (indexed << 7) | (averages[i] & 0x7f);
        if (!(averages[i] & 0x80))
            break;
    }
    if (indexed != count)
        return false;
    if (count <= 50000 &&
        !query.exec(QStringLiteral("INSERT INTO wrecker_fts(wrecker_fts) VALUES ('integrity-check')")))
        return false;
    const QStringList columns = SchemaCheck::searchIndexColumns();
    QSqlQuery row(db), found(db);
    row.setForwardOnly(true);
    found.setForwardOnly(true);
    row.prepare(QStringLiteral("SELECT %1 FROM wrecker WHERE id >= ? ORDER BY id LIMIT 1")
                    .arg(columns.join(QLatin1String(", "))));
    found.prepare(QStringLiteral("SELECT count(*) FROM wrecker_fts WHERE wrecker_fts MATCH ? AND "
                                 "rowid = (SELECT id FROM wrecker WHERE id >= ? ORDER BY id LIMIT 1)"));
    constexpr int kSamples = 16;
    for (int k = 0; k < kSamples && count > 0; ++k) {
        const qint64 from = first + (last - first) * k / (kSamples - 1);
        row.bindValue(0, from);
        if (!row.exec() || !row.next())
            return false;
        for (int c = 0; c < columns.size(); ++c) {
            const QList<uint> text = SchemaCheck::searchIndexForm(row.value(c).toString()).toUcs4();
            if (text.size() < 3)
                continue;
            // One trigram of the record's text, in that column.
            const QString trigram = QString::fromUcs4(reinterpret_cast<const char32_t *>(text.data()), 3);
            found.bindValue(0, QStringLiteral("{%1} : \"%2\"")
                                   .arg(columns[c], QString(trigram).replace(u'"', QLatin1String("\"\""))));
            found.bindValue(1, from);
            if (!found.exec() || !found.next() || found.value(0).toLongLong() != 1)
                return false;
            break;
        }
    }
    return true;
}

} // namespace tarnvale
