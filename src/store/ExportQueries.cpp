#include "ExportQueries.h"

#include "QtSqlRows.h"
#include "SqlDialect.h"
#include "SqliteReader.h"
#include "TowRecord.h"

namespace tarnvale {

namespace {

QByteArray groupCondition(const QString *group)
{
    return group ? QByteArray(" WHERE groupname = ?") : QByteArray();
}

} // namespace

template <class Reader>
bool ExportQueries::begin(Reader &db)
{
    return db.exec("BEGIN");
}

template <class Reader>
std::optional<qint64> ExportQueries::count(Reader &db, const QString *group)
{
    if (!db.prepare("SELECT count(*) FROM wrecker" + groupCondition(group), group) ||
        db.step() == SqliteReader::Step::Failed)
        return std::nullopt;
    return db.integer(0);
}

template <class Reader>
bool ExportQueries::readImpound(Reader &db, const SqlDialect &dialect, Impound &impound)
{
    const std::optional<bool> present = ExportQueries::hasTable(db, dialect, QStringLiteral("impound_status"));
    if (!present || !*present)
        return present.has_value();
    const auto text = [&db](int column) { return QString::fromUtf8(db.text(column)); };
    const auto scan = [&db](const char *sql, const auto &visit) {
        return ExportQueries::scan(db, sql, visit);
    };
    return scan("SELECT vehicle_id, status FROM impound_status",
                [&] { impound.statusWords.insert(db.integer(0), text(1)); }) &&
           scan("SELECT vehicle_id, amount_cents FROM impound_payments",
                [&] { impound.paidCents[db.integer(0)] += db.integer(1); }) &&
           scan("SELECT vehicle_id, step_name, done_on FROM lien_steps_done", [&] {
               impound.stepsDone[db.integer(0)].append(
                   {text(1), QDate::fromString(text(2), Qt::ISODate)});
           });
}

template <class Reader>
bool ExportQueries::selectRecords(Reader &db, const QString *group)
{
    QByteArray columns = "id";
    for (int i = 0; i < kTowFieldCount; ++i)
        columns += ", " + TowRecord::fieldName(TowField(i)).toLatin1();
    return db.prepare("SELECT " + columns + " FROM wrecker" + groupCondition(group) + " ORDER BY id",
                      group);
}

template bool ExportQueries::begin(SqliteReader &);
template bool ExportQueries::begin(QtSqlRows &);
template std::optional<qint64> ExportQueries::count(SqliteReader &, const QString *);
template std::optional<qint64> ExportQueries::count(QtSqlRows &, const QString *);
template bool ExportQueries::readImpound(SqliteReader &, const SqlDialect &, Impound &);
template bool ExportQueries::readImpound(QtSqlRows &, const SqlDialect &, Impound &);
template bool ExportQueries::selectRecords(SqliteReader &, const QString *);
template bool ExportQueries::selectRecords(QtSqlRows &, const QString *);

} // namespace tarnvale
