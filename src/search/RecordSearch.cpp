#include "RecordSearch.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include "FindRules.h"
#include "RecordStore.h"
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
    bool bindsGroup = false;
    QString group;
    QList<int> compared; // statement columns compared, in the order they are tried
    MatchMode mode = MatchMode::AnyCase;
    QString findText;
};

std::optional<Plan> makePlan(const FindRequest &request)
{
    if (request.findText.isEmpty())
        return std::nullopt;
    const std::optional<QList<TowField>> fields = FindRules::fieldsForKey(request.fieldText);
    if (!fields)
        return std::nullopt;

    Plan plan;
    plan.mode = FindRules::matchMode(request.wholeWord, request.matchCase);
    plan.findText = request.findText;
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

    const GroupFilter filter = FindRules::groupFilter(request.groupText);
    if (!filter.all && filter.name.isEmpty()) {
        plan.sql += QStringLiteral(" WHERE (groupname = '' OR groupname IS NULL)");
    } else if (!filter.all) {
        plan.bindsGroup = true;
        plan.group = filter.name;
        plan.sql += QStringLiteral(" WHERE groupname = ? COLLATE BINARY");
    }
    plan.sql += QStringLiteral(" ORDER BY id");
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

inline QString columnText(const SqliteReader &reader, int column)
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

RecordSearch::Outcome runNative(SqliteReader &reader, const Plan &plan,
                                const RecordSearch::Sink &sink, DbError *error,
                                const RecordSearch::Options &options)
{
    if (!reader.prepare(plan.sql.toUtf8(), plan.bindsGroup ? &plan.group : nullptr))
        return failWith(error, reader.errorCode(), reader.errorText());

    const TextMatcher matcher(plan.findText, plan.mode);
    Batcher batch(sink, options.batchSize);
    SqliteReader::Step step;
    for (;;) {
        if (cancelled(options))
            return RecordSearch::Outcome::Cancelled;
        step = reader.step();
        if (step != SqliteReader::Step::Row)
            break;
        bool found = false;
        for (int column : plan.compared) {
            const QByteArrayView text = reader.text(column);
            if (text.data() && matcher.matchesUtf8(text.data(), text.size())) {
                found = true;
                break;
            }
        }
        if (!found)
            continue;
        FindResult row;
        row.id = reader.integer(cId);
        row.name = columnText(reader, cName);
        row.vehicleInfo = FindRules::vehicleInfo(
            columnText(reader, cYear), columnText(reader, cMake), columnText(reader, cModel),
            columnText(reader, cStyle), columnText(reader, cVin));
        row.group = columnText(reader, cGroup);
        batch.add(std::move(row));
    }
    if (step == SqliteReader::Step::Failed)
        return failWith(error, reader.errorCode(), reader.errorText());
    batch.flush();
    return RecordSearch::Outcome::Done;
}

RecordSearch::Outcome failWith(DbError *error, const QSqlError &sqlError)
{
    const DbError converted = DbError::fromSql(sqlError);
    return failWith(error, converted.number, converted.description);
}

RecordSearch::Outcome runGeneric(const QSqlDatabase &db, const Plan &plan,
                                 const RecordSearch::Sink &sink, DbError *error,
                                 const RecordSearch::Options &options)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(plan.sql))
        return failWith(error, query.lastError());
    if (plan.bindsGroup)
        query.addBindValue(plan.group);
    if (!query.exec())
        return failWith(error, query.lastError());
    const TextMatcher matcher(plan.findText, plan.mode);
    Batcher batch(sink, options.batchSize);
    while (query.next()) {
        if (cancelled(options))
            return RecordSearch::Outcome::Cancelled;
        bool found = false;
        for (int column : plan.compared) {
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
        row.vehicleInfo =
            FindRules::vehicleInfo(query.value(cYear).toString(), query.value(cMake).toString(),
                                   query.value(cModel).toString(), query.value(cStyle).toString(),
                                   query.value(cVin).toString());
        row.group = query.value(cGroup).toString();
        batch.add(std::move(row));
    }
    if (query.lastError().isValid())
        return failWith(error, query.lastError());
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

RecordSearch::Outcome RecordSearch::run(const QSqlDatabase &db, const FindRequest &request,
                                        const Sink &sink, DbError *error, const Options &options)
{
    if (!db.isOpen())
        return failWith(error, 3420, QStringLiteral("The database is not open."));
    const std::optional<Plan> plan = makePlan(request);
    if (!plan)
        return cancelled(options) ? Outcome::Cancelled : Outcome::Done;
    if (options.reader == Reader::Native) {
        SqliteReader reader(db);
        if (reader.isOpen())
            return runNative(reader, *plan, sink, error, options);
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

} // namespace tarnvale
