#include "RecordSearch.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <vector>

#include "FindRules.h"
#include "ImpoundRules.h"
#include "PgReader.h"
#include "RecordStore.h"
#include "SchemaCheck.h"
#include "SqlDialect.h"
#include "SqliteReader.h"
#include "TextMatcher.h"

namespace tarnvale {

namespace {

// The columns every result needs, first in every statement, in this order.
enum ResultColumn { cId, cName, cYear, cMake, cModel, cStyle, cVin, cGroup, kResultColumns };
constexpr TowField kResultFields[] = {TowField::custname, TowField::vehyear,  TowField::vehmake,
                                      TowField::vehmodel, TowField::vehstyle, TowField::vehvin,
                                      TowField::groupname};

struct Plan
{
    QString sql;
    QString idsSql;     // the rows with the ids put for "@ids", same filters, in table order
    QString byIdSql;    // the statement for one record, its id bound after the group
    QString indexMatch; // the search index's query; empty when the index cannot serve it
    bool bindsGroup = false;
    QString group;
    QList<int> compared; // statement columns compared, in the order they are tried
    MatchMode mode = MatchMode::AnyCase;
    QString findText;
    bool matchAll = false; // a status alone: every row the statement gives
};

// The condition that keeps the vehicles of one status. A vehicle without a status of its own
// is released when its record has a release date, otherwise in storage. The word is one of
// the program's own (never typed text), checked before it is put in.
std::optional<QString> statusCondition(const QString &word)
{
    const std::optional<VehicleStatus> status = ImpoundRules::statusFromWord(word);
    if (!status)
        return std::nullopt;
    QString condition = QStringLiteral("id IN (SELECT vehicle_id FROM impound_status WHERE "
                                       "status = '%1')")
                            .arg(word);
    const QString unkept = QStringLiteral("id NOT IN (SELECT vehicle_id FROM impound_status) AND ");
    if (*status == VehicleStatus::InStorage)
        condition += QStringLiteral(" OR (") + unkept
                     + QStringLiteral("trim(COALESCE(towedrelease, '')) = '')");
    else if (*status == VehicleStatus::Released)
        condition += QStringLiteral(" OR (") + unkept
                     + QStringLiteral("trim(COALESCE(towedrelease, '')) <> '')");
    return u'(' + condition + u')';
}

std::optional<Plan> makePlan(const FindRequest &request, const SqlDialect &dialect = SqlDialect())
{
    std::optional<QString> byStatus;
    if (!request.status.isEmpty() && !(byStatus = statusCondition(request.status)))
        return std::nullopt;
    if (request.findText.isEmpty() && !byStatus)
        return std::nullopt;
    const std::optional<QList<TowField>> fields = FindRules::fieldsForKey(request.fieldText);
    if (!fields)
        return std::nullopt;

    Plan plan;
    plan.mode = FindRules::matchMode(request.wholeWord, request.matchCase);
    plan.findText = request.findText;
    plan.matchAll = request.findText.isEmpty();
    QList<TowField> columns(std::begin(kResultFields), std::end(kResultFields));
    for (TowField field : *fields) {
        qsizetype at = columns.indexOf(field);
        if (at < 0) {
            columns.append(field);
            at = columns.size() - 1;
        }
        plan.compared.append(int(at) + 1); // column 0 is id
    }
    QStringList names{QStringLiteral("id")};
    for (TowField field : columns)
        names << TowRecord::fieldName(field);
    plan.sql = QStringLiteral("SELECT ") + names.join(QLatin1String(", ")) +
               QStringLiteral(" FROM wrecker");

    QString groupWhere;
    const GroupFilter filter = FindRules::groupFilter(request.groupText);
    if (!filter.all && filter.name.isEmpty()) {
        groupWhere = QStringLiteral("(groupname = '' OR groupname IS NULL)");
    } else if (!filter.all) {
        plan.bindsGroup = true;
        plan.group = filter.name;
        groupWhere = QStringLiteral("groupname = ? ") + dialect.exactCollation();
    }
    QStringList where;
    if (!groupWhere.isEmpty())
        where << groupWhere;
    if (byStatus)
        where << *byStatus;
    plan.idsSql = plan.sql + QStringLiteral(" WHERE id IN (@ids)");
    for (const QString &condition : where)
        plan.idsSql += QStringLiteral(" AND ") + condition;
    plan.idsSql += QStringLiteral(" ORDER BY id");
    if (!where.isEmpty())
        plan.sql += QStringLiteral(" WHERE ") + where.join(QLatin1String(" AND "));
    plan.byIdSql = plan.sql + (where.isEmpty() ? QStringLiteral(" WHERE") : QStringLiteral(" AND"))
                   + QStringLiteral(" id = ?");
    plan.sql += QStringLiteral(" ORDER BY id");

    // The index holds trigrams, folded to one case: it finds every record that holds the
    // text, in the index's form, in one of the fields. That covers every match the rules find
    // when case counts (any text of three characters or more) and, when it does not, for an
    // ASCII text of three letters or more (see SchemaCheck::searchIndexColumns).
    QStringList indexColumns;
    for (TowField field : *fields) {
        if (!SchemaCheck::searchIndexColumns().contains(TowRecord::fieldName(field)))
            return plan;
        indexColumns << TowRecord::fieldName(field);
    }
    QString text = request.findText;
    if (FindRules::keepsCase(plan.mode)) {
        text = SchemaCheck::searchIndexForm(text);
        if (text.toUcs4().size() < 3)
            return plan;
    } else {
        const bool ascii =
            std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
        if (!ascii || text.size() < 3)
            return plan;
    }
    text.replace(u'"', QStringLiteral("\"\""));
    plan.indexMatch = u'{' + indexColumns.join(u' ') + QStringLiteral("} : \"") + text + u'"';
    return plan;
}

class Batcher
{
  public:
    Batcher(const RecordSearch::Sink &sink, int size) : m_sink(sink), m_size(qMax(1, size)) {}
    void add(FindResult &&row)
    {
        m_rows.append(std::move(row));
        if (m_rows.size() >= m_size)
            flush();
    }
    void flush()
    {
        if (m_rows.isEmpty())
            return;
        m_sink(std::move(m_rows));
        m_rows = QList<FindResult>();
    }

  private:
    const RecordSearch::Sink &m_sink;
    qsizetype m_size;
    QList<FindResult> m_rows;
};

bool cancelled(const RecordSearch::Options &options)
{
    return options.cancel && options.cancel->load(std::memory_order_relaxed);
}

template <class Reader> inline QString columnText(const Reader &reader, int column)
{
    const QByteArrayView text = reader.text(column);
    return text.data() ? QString::fromUtf8(text) : QString();
}

RecordSearch::Outcome failWith(DbError *error, int number, const QString &description)
{
    if (error)
        *error = DbError{number == 0 ? 1 : number, description};
    return RecordSearch::Outcome::Failed;
}

template <class Reader>
void considerRow(const Reader &reader, const Plan &plan, const TextMatcher &matcher,
                 Batcher &batch);

// The rows of the statement run in the reader (SqliteReader or PgReader), decided by the rules;
// on Done, the last rows may still wait in the batch.
template <class Reader>
RecordSearch::Outcome readRows(Reader &reader, const Plan &plan, Batcher &batch, DbError *error,
                               const RecordSearch::Options &options)
{
    const TextMatcher matcher(plan.findText, plan.mode);
    typename Reader::Step step;
    for (;;) {
        if (cancelled(options))
            return RecordSearch::Outcome::Cancelled;
        step = reader.step();
        if (step != Reader::Step::Row)
            break;
        considerRow(reader, plan, matcher, batch);
    }
    if (step == Reader::Step::Failed)
        return cancelled(options) ? RecordSearch::Outcome::Cancelled
                                  : failWith(error, reader.errorCode(), reader.errorText());
    return RecordSearch::Outcome::Done;
}

template <class Reader>
RecordSearch::Outcome readAllRows(Reader &reader, const Plan &plan, const RecordSearch::Sink &sink,
                                  DbError *error, const RecordSearch::Options &options)
{
    Batcher batch(sink, options.batchSize);
    const RecordSearch::Outcome outcome = readRows(reader, plan, batch, error, options);
    if (outcome == RecordSearch::Outcome::Done)
        batch.flush();
    return outcome;
}

RecordSearch::Outcome runNative(SqliteReader &reader, const Plan &plan,
                                const RecordSearch::Sink &sink, DbError *error,
                                const RecordSearch::Options &options)
{
    if (!reader.prepare(plan.sql.toUtf8(), plan.bindsGroup ? &plan.group : nullptr))
        return failWith(error, reader.errorCode(), reader.errorText());
    return readAllRows(reader, plan, sink, error, options);
}

// The records the index names, read by id in table order and decided by the rules; nullopt
// when the scan is the better way: the index cannot be read (damaged), or it names so many
// records that reading them here and there costs more than reading the table through.
std::optional<RecordSearch::Outcome> runIndexed(SqliteReader &reader, const Plan &plan,
                                                const RecordSearch::Sink &sink, DbError *error,
                                                const RecordSearch::Options &options)
{
    // Ids are never reused, so the highest one bounds the number of records from above.
    if (!reader.prepare("SELECT max(id) FROM wrecker") || reader.step() != SqliteReader::Step::Row)
        return std::nullopt;
    const qint64 limit = reader.integer(0) / options.indexShareLimit;
    std::vector<qint64> named;
    if (!reader.prepare("SELECT rowid FROM wrecker_fts WHERE wrecker_fts MATCH ?",
                        &plan.indexMatch))
        return std::nullopt;
    SqliteReader::Step step;
    while ((step = reader.step()) == SqliteReader::Step::Row) {
        named.push_back(reader.integer(0));
        if (qint64(named.size()) > limit && limit >= options.indexShareFloor)
            return std::nullopt;
    }
    if (step == SqliteReader::Step::Failed)
        return std::nullopt;

    // The index answered: the rows it names are read in table order, a few first so that
    // they come without waiting for the others, then in large runs.
    std::sort(named.begin(), named.end());
    Batcher batch(sink, options.batchSize);
    const qsizetype chunks[] = {16, 4096};
    for (qsizetype from = 0, size = chunks[0]; from < qsizetype(named.size()); from += size,
                   size = chunks[1]) {
        QByteArray ids;
        for (qsizetype i = from; i < qMin(from + size, qsizetype(named.size())); ++i)
            ids += QByteArray::number(named[i]) + ',';
        ids.chop(1);
        if (!reader.prepare(plan.idsSql.toUtf8().replace("@ids", ids),
                            plan.bindsGroup ? &plan.group : nullptr))
            return failWith(error, reader.errorCode(), reader.errorText());
        const RecordSearch::Outcome outcome = readRows(reader, plan, batch, error, options);
        if (outcome != RecordSearch::Outcome::Done)
            return outcome;
    }
    batch.flush();
    return RecordSearch::Outcome::Done;
}

// The statement on a server, its rows read through libpq.
RecordSearch::Outcome runServer(PgReader &reader, const Plan &plan, const RecordSearch::Sink &sink,
                                DbError *error, const RecordSearch::Options &options)
{
    QList<QByteArray> values;
    if (plan.bindsGroup)
        values << plan.group.toUtf8();
    if (!reader.exec(plan.sql.toUtf8(), values, options.cancel))
        return reader.cancelled() ? RecordSearch::Outcome::Cancelled
                                  : failWith(error, reader.errorCode(), reader.errorText());
    return readAllRows(reader, plan, sink, error, options);
}

template <class Reader>
void considerRow(const Reader &reader, const Plan &plan, const TextMatcher &matcher, Batcher &batch)
{
    bool found = plan.matchAll;
    for (int column : plan.compared) {
        if (found)
            break;
        const QByteArrayView text = reader.text(column);
        if (text.data() && matcher.matchesUtf8(text.data(), text.size())) {
            found = true;
            break;
        }
    }
    if (!found)
        return;
    FindResult row;
    row.id = reader.integer(cId);
    row.name = columnText(reader, cName);
    row.vehicleInfo = FindRules::vehicleInfo(columnText(reader, cYear), columnText(reader, cMake),
                                             columnText(reader, cModel), columnText(reader, cStyle),
                                             columnText(reader, cVin));
    row.group = columnText(reader, cGroup);
    batch.add(std::move(row));
}

RecordSearch::Outcome failWith(DbError *error, const QSqlError &sqlError)
{
    const DbError converted = DbError::fromSql(sqlError);
    return failWith(error, converted.number, converted.description);
}

// Through QSqlQuery: the statement once, or once for each of `ids` (in their order).
RecordSearch::Outcome runGeneric(const QSqlDatabase &db, const Plan &plan,
                                 const RecordSearch::Sink &sink, DbError *error,
                                 const RecordSearch::Options &options,
                                 const QList<qint64> *ids = nullptr)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(ids ? plan.byIdSql : plan.sql))
        return failWith(error, query.lastError());
    const TextMatcher matcher(plan.findText, plan.mode);
    Batcher batch(sink, options.batchSize);
    const QList<qint64> once{0};
    for (const qint64 id : ids ? *ids : once) {
        if (plan.bindsGroup)
            query.bindValue(0, plan.group);
        if (ids)
            query.bindValue(plan.bindsGroup ? 1 : 0, id);
        if (!query.exec())
            return failWith(error, query.lastError());
        while (query.next()) {
            if (cancelled(options))
                return RecordSearch::Outcome::Cancelled;
            bool found = plan.matchAll;
            for (int column : plan.compared) {
                if (found)
                    break;
                if (matcher.matches(query.value(column).toString())) {
                    found = true;
                    break;
                }
            }
            if (!found)
                continue;
            FindResult row;
            row.id = query.value(cId).toLongLong();
            row.name = query.value(cName).toString();
            row.vehicleInfo = FindRules::vehicleInfo(
                query.value(cYear).toString(), query.value(cMake).toString(),
                query.value(cModel).toString(), query.value(cStyle).toString(),
                query.value(cVin).toString());
            row.group = query.value(cGroup).toString();
            batch.add(std::move(row));
        }
        if (query.lastError().isValid())
            return failWith(error, query.lastError());
    }
    batch.flush();
    return RecordSearch::Outcome::Done;
}

} // namespace

QString RecordSearch::statement(const FindRequest &request, bool *bindsGroup)
{
    const std::optional<Plan> plan = makePlan(request);
    if (bindsGroup)
        *bindsGroup = plan && plan->bindsGroup;
    return plan ? plan->sql : QString();
}

bool RecordSearch::indexServes(const FindRequest &request)
{
    const std::optional<Plan> plan = makePlan(request);
    return plan && !plan->indexMatch.isEmpty();
}

RecordSearch::Outcome RecordSearch::run(const QSqlDatabase &db, const FindRequest &request,
                                        const Sink &sink, DbError *error, const Options &options)
{
    if (!db.isOpen())
        return failWith(error, 3420, QStringLiteral("The database is not open."));
    const std::optional<Plan> plan = makePlan(request, SqlDialect::of(db));
    if (!plan)
        return cancelled(options) ? Outcome::Cancelled : Outcome::Done;
    if (options.reader == Reader::Native) {
        SqliteReader reader(db);
        if (reader.isOpen()) {
            reader.stopWhen(options.cancel);
            // A file holding objects of another program may hold an index of its making.
            if (options.useIndex && !plan->indexMatch.isEmpty() && SchemaCheck::hasSearchIndex(db)
                && SchemaCheck::foreignObjects(db).value_or(QStringList{"?"}).isEmpty()) {
                if (const auto outcome = runIndexed(reader, *plan, sink, error, options))
                    return *outcome;
            }
            return runNative(reader, *plan, sink, error, options);
        }
        PgReader server(db);
        if (server.isOpen())
            return runServer(server, *plan, sink, error, options);
    }
    return runGeneric(db, *plan, sink, error, options);
}

std::optional<QList<FindResult>> RecordSearch::find(RecordStore &store, const FindRequest &request,
                                                    DbError *error)
{
    QList<FindResult> results;
    const Outcome outcome = run(
        store.database(), request,
        [&results](QList<FindResult> &&rows) { results.append(std::move(rows)); }, error);
    if (outcome != Outcome::Done)
        return std::nullopt;
    return results;
}

std::optional<QList<FindResult>> RecordSearch::findAmong(RecordStore &store,
                                                         const FindRequest &request,
                                                         QList<qint64> ids, DbError *error)
{
    QList<FindResult> results;
    const QSqlDatabase db = store.database();
    if (!db.isOpen()) {
        failWith(error, 3420, QStringLiteral("The database is not open."));
        return std::nullopt;
    }
    const std::optional<Plan> plan = makePlan(request, SqlDialect::of(db));
    if (!plan || ids.isEmpty())
        return results;
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    const Outcome outcome = runGeneric(
        db, *plan, [&results](QList<FindResult> &&rows) { results.append(std::move(rows)); },
        error, Options(), &ids);
    if (outcome != Outcome::Done)
        return std::nullopt;
    return results;
}

} // namespace tarnvale
