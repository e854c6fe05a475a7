#include "SearchQueries.h"

#include <QAtomicInteger>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <limits>
#include <vector>

#include "PgReader.h"
#include "SchemaCheck.h"
#include "SqlDialect.h"
#include "SqliteReader.h"

namespace tarnvale {

namespace {

using Outcome = SearchQueries::Outcome;

QString uniqueConnectionName(const char *prefix)
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("%1-%2").arg(QLatin1String(prefix)).arg(counter.fetchAndAddRelaxed(1));
}

// The ten fields of the search index in the server's trigram index: each in upper case, with
// the two characters Qt lower-cases to ASCII put as their ASCII capitals, one to a line.
QString serverIndexForm(const QString &value)
{
    return QStringLiteral("upper(replace(replace(%1, chr(304), 'I'), chr(8490), 'K'))").arg(value);
}

// Texts one to a line, as the server joins them.
QString oneToALine(const QStringList &parts)
{
    return parts.join(QLatin1String(" || chr(10) || "));
}

QString serverIndexedText()
{
    QStringList parts;
    for (const QString &column : SchemaCheck::searchIndexColumns())
        parts << QStringLiteral("coalesce(%1, '')").arg(column);
    return serverIndexForm(oneToALine(parts));
}

// The quick search's other text fields, in the form of the search index's: the text of the
// server's quick index.
QString serverQuickText()
{
    QStringList parts;
    for (TowField field : SchemaCheck::quickTextFields())
        parts << QStringLiteral("coalesce(%1, '')").arg(TowRecord::fieldName(field));
    return serverIndexForm(oneToALine(parts));
}

// The quick search's server rows are read this many at a time.
constexpr int kQuickPage = 200;

// The plate, VIN and phone in their key form, one to a line: the text of the server's key index.
QString serverKeysText()
{
    QStringList parts;
    for (TowField field : SchemaCheck::quickKeyFields())
        parts << SchemaCheck::quickKeyFormSql(TowRecord::fieldName(field), QStringLiteral("chr"));
    return oneToALine(parts);
}

QString likePattern(const QString &text)
{
    QString escaped = text;
    escaped.replace(u'\\', QLatin1String("\\\\"))
        .replace(u'%', QLatin1String("\\%"))
        .replace(u'_', QLatin1String("\\_"));
    return u'%' + escaped + u'%';
}

// A statement over the selection: its text and the values bound to it, in order.
struct Statement
{
    QString sql;
    QStringList values;
};

// "SELECT id, <columns> FROM wrecker" and the selection's conditions; `prefix` qualifies the
// columns of table wrecker.
Statement selectFrom(const SearchSelection &selection, const SqlDialect &dialect,
                                    const QString &from, const QString &prefix,
                                    QStringList &where)
{
    QStringList names{prefix + QStringLiteral("id")};
    for (TowField field : selection.columns)
        names << prefix + TowRecord::fieldName(field);
    Statement statement{QStringLiteral("SELECT ") + names.join(QLatin1String(", ")) +
                            QStringLiteral(" FROM ") + from,
                        {}};
    if (!selection.allGroups && selection.group.isEmpty()) {
        where << QStringLiteral("(%1groupname = '' OR %1groupname IS NULL)").arg(prefix);
    } else if (!selection.allGroups) {
        where << prefix + QStringLiteral("groupname = ? ") + dialect.exactCollation();
        statement.values << selection.group;
    }
    if (!selection.status.isEmpty()) {
        QString condition = QStringLiteral("%1id IN (SELECT vehicle_id FROM impound_status WHERE "
                                           "status = ?)")
                                .arg(prefix);
        statement.values << selection.status;
        const QString unkept =
            QStringLiteral(" OR (%1id NOT IN (SELECT vehicle_id FROM impound_status) AND "
                           "trim(COALESCE(%1towedrelease, '')) %2 '')")
                .arg(prefix);
        if (selection.unkept == SearchSelection::Unkept::WithoutRelease)
            condition += unkept.arg(QStringLiteral("="));
        else if (selection.unkept == SearchSelection::Unkept::WithRelease)
            condition += unkept.arg(QStringLiteral("<>"));
        where << u'(' + condition + u')';
    }
    return statement;
}

QString whereClause(const QStringList &where)
{
    return where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.join(QLatin1String(" AND "));
}

Statement scanOf(const SearchSelection &selection, const SqlDialect &dialect, qint64 after,
                 bool serverIndex = false, bool serverKeysIndex = false)
{
    QStringList where;
    Statement statement =
        selectFrom(selection, dialect, QStringLiteral("wrecker"), QString(), where);
    if (after > 0)
        where << QStringLiteral("id > %1").arg(after);
    if (serverIndex && !selection.serverMayHold.isEmpty()) {
        where << serverIndexedText() + QStringLiteral(" LIKE ") + serverIndexForm(QStringLiteral("?"));
        statement.values << likePattern(selection.serverMayHold);
    }
    if (serverKeysIndex && !selection.serverKeysMayHold.isEmpty()) {
        where << serverKeysText() + QStringLiteral(" LIKE ?");
        statement.values << likePattern(selection.serverKeysMayHold);
    }
    statement.sql += whereClause(where) + QStringLiteral(" ORDER BY id");
    return statement;
}

bool failWith(DbError *error, int number, const QString &description)
{
    if (error)
        *error = DbError{number == 0 ? 1 : number, description};
    return false;
}

bool failWith(DbError *error, const QSqlError &sqlError)
{
    const DbError converted = DbError::fromSql(sqlError);
    return failWith(error, converted.number, converted.description);
}

bool stopped(const std::atomic<bool> *cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

// A row of SqliteReader or PgReader, the id in column 0.
template <class Reader> class ReaderRow final : public SearchRow
{
  public:
    explicit ReaderRow(const Reader &reader) : m_reader(reader) {}
    qint64 id() const override { return m_reader.integer(0); }
    QByteArrayView text(int column) const override { return m_reader.text(column + 1); }

  private:
    const Reader &m_reader;
};

// A row of a QSqlQuery, its cells turned into UTF-8 as they are asked for.
class QueryRow final : public SearchRow
{
  public:
    QueryRow(const QSqlQuery &query, qsizetype columns) : m_query(query), m_cells(columns) {}
    qint64 id() const override { return m_query.value(0).toLongLong(); }
    QByteArrayView text(int column) const override
    {
        QByteArray &cell = m_cells[column];
        cell = m_query.value(column + 1).toString().toUtf8();
        return cell;
    }

  private:
    const QSqlQuery &m_query;
    mutable QList<QByteArray> m_cells;
};

// Steps through the rows of the statement run in the reader; *last is the id of the last row.
template <class Reader>
Outcome readRows(Reader &reader, const SearchQueries::RowFn &fn, DbError *error,
                 const std::atomic<bool> *cancel, qint64 *last = nullptr)
{
    const ReaderRow<Reader> row(reader);
    typename Reader::Step step;
    for (;;) {
        if (stopped(cancel))
            return Outcome::Cancelled;
        step = reader.step();
        if (step != Reader::Step::Row)
            break;
        if (last)
            *last = reader.integer(0);
        fn(row);
    }
    if (step == Reader::Step::Failed) {
        if (stopped(cancel))
            return Outcome::Cancelled;
        failWith(error, reader.errorCode(), reader.errorText());
        return Outcome::Failed;
    }
    return Outcome::Done;
}

// Through QSqlQuery.
Outcome readQuery(const QSqlDatabase &db, const Statement &statement, qsizetype columns,
                  const SearchQueries::RowFn &fn, DbError *error, const std::atomic<bool> *cancel)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(statement.sql))
        return failWith(error, query.lastError()), Outcome::Failed;
    const QueryRow row(query, columns);
    for (qsizetype i = 0; i < statement.values.size(); ++i)
        query.bindValue(int(i), statement.values.at(i));
    if (!query.exec())
        return failWith(error, query.lastError()), Outcome::Failed;
    while (query.next()) {
        if (stopped(cancel))
            return Outcome::Cancelled;
        fn(row);
    }
    if (query.lastError().isValid())
        return failWith(error, query.lastError()), Outcome::Failed;
    return Outcome::Done;
}

bool prepareSqlite(SqliteReader &reader, const Statement &statement)
{
    if (!reader.prepare(statement.sql.toUtf8(),
                        statement.values.isEmpty() ? nullptr : &statement.values.first()))
        return false;
    for (qsizetype i = 1; i < statement.values.size(); ++i)
        if (!reader.bindText(int(i) + 1, statement.values.at(i)))
            return false;
    return true;
}

QString quickSelect(const QList<TowField> &fields)
{
    QStringList names{QStringLiteral("id")};
    for (TowField field : fields)
        names << TowRecord::fieldName(field);
    names << QStringLiteral("(SELECT status FROM impound_status WHERE vehicle_id = wrecker.id)");
    return QStringLiteral("SELECT ") + names.join(QLatin1String(", ")) +
           QStringLiteral(" FROM wrecker");
}

// The record of the query's row and its stored status; what `row` answers.
bool passQuickRow(const QSqlQuery &query, const QList<TowField> &fields,
                  const SearchQueries::QuickRowFn &row)
{
    TowRecord record;
    record.id = query.value(0).toLongLong();
    for (int i = 0; i < fields.size(); ++i)
        record.set(fields[i], query.value(i + 1).toString());
    const QVariant status = query.value(int(fields.size()) + 1);
    return row(record, status.isNull() ? std::nullopt : std::optional(status.toString()));
}

QString phrase(const QString &text)
{
    return u'"' + QString(text).replace(u'"', QLatin1String("\"\"")) + u'"';
}

} // namespace

SearchQueries::SearchQueries(const QSqlDatabase &db, Reader reader,
                             const std::atomic<bool> *cancel)
    : m_db(db), m_reader(reader), m_cancel(cancel)
{
}

Outcome SearchQueries::scan(const SearchSelection &selection, const RowFn &row, DbError *error,
                            qint64 after)
{
    const SqlDialect dialect = SqlDialect::of(m_db);
    // Without the server's trigram index its filter would only cost the server a scan of its
    // own: the rows then come as they are.
    const bool serverIndex = dialect.isServer() && !selection.serverMayHold.isEmpty() &&
                             hasServerIndex(m_db);
    const bool serverKeysIndex = dialect.isServer() && !selection.serverKeysMayHold.isEmpty() &&
                                 hasServerIndex(m_db, kServerKeysIndex);
    const Statement statement = scanOf(selection, dialect, after, serverIndex, serverKeysIndex);
    if (m_reader == Reader::Native) {
        SqliteReader reader(m_db);
        if (reader.isOpen()) {
            reader.stopWhen(m_cancel);
            if (!prepareSqlite(reader, statement))
                return failWith(error, reader.errorCode(), reader.errorText()), Outcome::Failed;
            return readRows(reader, row, error, m_cancel);
        }
        PgReader server(m_db);
        if (server.isOpen()) {
            QList<QByteArray> values;
            for (const QString &value : statement.values)
                values << value.toUtf8();
            if (!server.exec(statement.sql.toUtf8(), values, m_cancel)) {
                if (server.cancelled())
                    return Outcome::Cancelled;
                return failWith(error, server.errorCode(), server.errorText()), Outcome::Failed;
            }
            return readRows(server, row, error, m_cancel);
        }
    }
    return readQuery(m_db, statement, selection.columns.size(), row, error, m_cancel);
}

std::optional<Outcome> SearchQueries::indexed(const SearchSelection &selection,
                                              const QString &match, const RowFn &row,
                                              DbError *error)
{
    SqliteReader reader(m_db);
    if (!reader.isOpen())
        return std::nullopt;
    reader.stopWhen(m_cancel);
    // The index gives its records in rowid order, the table's, and each is read by its id.
    QStringList where{QStringLiteral("wrecker_fts MATCH ?")};
    Statement statement =
        selectFrom(selection, SqlDialect::of(m_db),
                   QStringLiteral("wrecker_fts JOIN wrecker ON wrecker.id = wrecker_fts.rowid"),
                   QStringLiteral("wrecker."), where);
    statement.values.prepend(match);
    statement.sql += whereClause(where) + QStringLiteral(" ORDER BY wrecker_fts.rowid");
    if (!prepareSqlite(reader, statement))
        return std::nullopt;
    qint64 last = 0;
    const Outcome outcome = readRows(reader, row, nullptr, m_cancel, &last);
    if (outcome != Outcome::Failed)
        return outcome;
    if (last == 0) // nothing read yet: the caller scans
        return std::nullopt;
    return scan(selection, row, error, last);
}

Outcome SearchQueries::among(const SearchSelection &selection, const QList<qint64> &ids,
                             const RowFn &row, DbError *error)
{
    QStringList where;
    Statement statement = selectFrom(selection, SqlDialect::of(m_db), QStringLiteral("wrecker"),
                                     QString(), where);
    QStringList listed; // whole numbers, written out
    for (const qint64 id : ids)
        listed << QString::number(id);
    where << QStringLiteral("id IN (%1)").arg(listed.join(u','));
    statement.sql += whereClause(where) + QStringLiteral(" ORDER BY id");
    return readQuery(m_db, statement, selection.columns.size(), row, error, m_cancel);
}

QString SearchQueries::scanStatement(const SearchSelection &selection)
{
    return scanOf(selection, SqlDialect(), 0).sql;
}

bool SearchQueries::fileIndexUsable(const QSqlDatabase &db)
{
    // A file holding objects of another program may hold an index of its making.
    return !SqlDialect::of(db).isServer() && SchemaCheck::hasSearchIndex(db) &&
           SchemaCheck::foreignObjects(db).value_or(QStringList{QStringLiteral("?")}).isEmpty();
}

QString SearchQueries::indexMatch(const QList<TowField> &fields, const QString &indexText)
{
    QStringList columns;
    for (TowField field : fields)
        columns << TowRecord::fieldName(field);
    return u'{' + columns.join(u' ') + QStringLiteral("} : ") + phrase(indexText);
}

bool SearchQueries::serverMayHold(const QString &text, bool keepsCase)
{
    // The same change of each character on both sides keeps every occurrence; without case,
    // the server's upper case agrees with the rule's lower case on ASCII text only.
    return keepsCase || std::all_of(text.cbegin(), text.cend(),
                                    [](QChar c) { return c.unicode() < 0x80; });
}

const std::optional<QString> &SearchQueries::indexFoldsApart()
{
    static const std::optional<QString> apart = []() -> std::optional<QString> {
        const QString name = uniqueConnectionName("tarnvale-fold-probe");
        std::optional<QString> found;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(QStringLiteral(":memory:"));
            QSqlQuery query(db);
            // Each character whose lower case differs, between two letters, in the index's
            // form: found by its lower case when the index folds it so too.
            std::vector<std::pair<char32_t, QString>> cased;
            QString multiple;
            for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
                if (c >= 0xD800 && c <= 0xDFFF)
                    continue;
                const QString text = QString::fromUcs4(&c, 1);
                const QString lower = text.toLower();
                if (lower == text)
                    continue;
                const QList<uint> points = lower.toUcs4();
                if (points.size() == 1) {
                    cased.emplace_back(c, lower);
                    continue;
                }
                // U+0130 is an ASCII capital in the index, which the first letter of its
                // lower case is; what follows that letter is not in the index.
                const QString form = SchemaCheck::searchIndexForm(text);
                for (qsizetype i = form != text && form.toLower() == lower.left(1) ? 1 : 0;
                     i < points.size(); ++i)
                    multiple += QString::fromUcs4(reinterpret_cast<const char32_t *>(&points[i]), 1);
            }
            bool ok = db.open() &&
                      query.exec(QStringLiteral("CREATE VIRTUAL TABLE probe USING fts5(t, "
                                                "tokenize='trigram')")) &&
                      db.transaction() &&
                      query.prepare(QStringLiteral("INSERT INTO probe(rowid, t) VALUES (?, ?)"));
            for (size_t i = 0; ok && i < cased.size(); ++i) {
                query.bindValue(0, qint64(i));
                query.bindValue(1, u'a' + SchemaCheck::searchIndexForm(QString::fromUcs4(
                                              &cased[i].first, 1)) + u'a');
                ok = query.exec();
            }
            ok = ok && db.commit() &&
                 query.prepare(QStringLiteral("SELECT 1 FROM probe WHERE probe MATCH ? AND "
                                              "rowid = ?"));
            QString apart = multiple;
            for (size_t i = 0; ok && i < cased.size(); ++i) {
                query.bindValue(0, phrase(u'a' + cased[i].second + u'a'));
                query.bindValue(1, qint64(i));
                ok = query.exec();
                if (ok && !query.next() && !apart.contains(cased[i].second))
                    apart += cased[i].second;
            }
            if (ok)
                found = apart;
        }
        QSqlDatabase::removeDatabase(name);
        return found;
    }();
    return apart;
}

bool SearchQueries::hasServerIndex(const QSqlDatabase &db, const char *name)
{
    QSqlQuery query(db);
    return query.prepare(QStringLiteral("SELECT 1 FROM pg_indexes WHERE schemaname = "
                                        "current_schema() AND indexname = ?")) &&
           (query.addBindValue(QString::fromLatin1(name)), query.exec()) && query.next();
}

void SearchQueries::makeServerIndex(const QSqlDatabase &db)
{
    if (!SqlDialect::of(db).isServer() ||
        (hasServerIndex(db) && hasServerIndex(db, kServerKeysIndex) &&
         hasServerIndex(db, kServerQuickIndex)))
        return;
    // Each statement on its own: a refusal (the extension needs rights the yard's user may
    // not have) leaves nothing half made, and the searches scan.
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm")))
        return;
    const std::pair<const char *, QString> indexes[] = {{kServerIndex, serverIndexedText()},
                                                        {kServerKeysIndex, serverKeysText()},
                                                        {kServerQuickIndex, serverQuickText()}};
    for (const auto &[name, text] : indexes)
        if (!query.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON wrecker USING "
                                       "gin ((%2) gin_trgm_ops)")
                            .arg(QLatin1String(name), text)))
            return;
}

bool SearchQueries::quickIndexed(const QSqlDatabase &db, const QList<TowField> &fields,
                                 const QString &match, int candidates, const QuickRowFn &row)
{
    QSqlQuery named(db), record(db);
    named.setForwardOnly(true);
    record.setForwardOnly(true);
    if (!named.prepare(QStringLiteral("SELECT rowid FROM wrecker_fts WHERE wrecker_fts "
                                      "MATCH ? ORDER BY rowid DESC")) ||
        !record.prepare(quickSelect(fields) + QStringLiteral(" WHERE id = ?")))
        return false;
    named.addBindValue(match);
    if (!named.exec())
        return false;
    for (int read = 0; read < candidates && named.next(); ++read) {
        record.bindValue(0, named.value(0));
        if (!record.exec())
            return false;
        if (record.next() && !passQuickRow(record, fields, row))
            return true;
    }
    return !named.lastError().isValid();
}

bool SearchQueries::quickScan(const QSqlDatabase &db, const QList<TowField> &fields,
                              const QString &text, const QString &keyText, const QuickRowFn &row,
                              DbError *error)
{
    // On a server, a filter the server applies first, so that only rows that may match come
    // over the connection: every row the rule finds passes it (ASCII text only, where the
    // server's upper() and the rule's folding agree on what they must). Each of its parts is
    // the text of one of the server's trigram indexes, so that a rare text is found through
    // them; it is read a page at a time, newest first, so that a common one is not gathered
    // whole before its first rows.
    QStringList tests;
    QStringList values;
    const bool ascii =
        std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0x7f; });
    if (SqlDialect::of(db).isServer() && ascii) {
        if (!text.isEmpty()) {
            tests << serverIndexedText() + QStringLiteral(" LIKE ?")
                  << serverQuickText() + QStringLiteral(" LIKE ?");
            values << likePattern(text.toUpper()) << likePattern(text.toUpper());
        }
        if (!keyText.isEmpty()) {
            tests << serverKeysText() + QStringLiteral(" LIKE ?");
            values << likePattern(keyText);
        }
    }
    const auto failed = [&](const QSqlQuery &query) {
        if (error)
            *error = DbError::fromSql(query.lastError(), QStringLiteral("searching the vehicles"));
        return false;
    };
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const bool paged = !tests.isEmpty();
    const QString sql = quickSelect(fields) +
                        (paged ? QStringLiteral(" WHERE (") + tests.join(QLatin1String(" OR ")) +
                                     QStringLiteral(") AND id < ? ORDER BY id DESC LIMIT %1")
                                         .arg(kQuickPage)
                               : QStringLiteral(" ORDER BY id DESC"));
    if (!query.prepare(sql))
        return failed(query);
    qint64 before = std::numeric_limits<qint64>::max();
    for (;;) {
        for (const QString &value : std::as_const(values))
            query.addBindValue(value);
        if (paged)
            query.addBindValue(before);
        if (!query.exec())
            return failed(query);
        int read = 0;
        for (; query.next(); ++read) {
            before = query.value(0).toLongLong();
            if (!passQuickRow(query, fields, row))
                return true;
        }
        if (query.lastError().isValid())
            return failed(query);
        if (!paged || read < kQuickPage)
            return true;
    }
}

QString SearchQueries::quickIndexMatch(const QString &text, const QString &keyText)
{
    QStringList parts;
    if (!text.isEmpty()) {
        QStringList columns = SchemaCheck::searchIndexColumns();
        columns << SchemaCheck::quickSearchColumns().at(1);
        parts << u'{' + columns.join(u' ') + QStringLiteral("} : ") +
                     phrase(SchemaCheck::searchIndexForm(text));
    }
    if (!keyText.isEmpty())
        parts << u'{' + SchemaCheck::quickSearchColumns().at(0) + QStringLiteral("} : ") +
                     phrase(keyText);
    return parts.join(QLatin1String(" OR "));
}

} // namespace tarnvale
