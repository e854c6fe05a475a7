// The scans of the tree's columns of many records (the hot path of the tree rebuild).

#include "RecordStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "PgReader.h"
#include "SqliteReader.h"

namespace tarnvale {

bool RecordStore::scanVehicleBriefs(const std::function<void(const VehicleBrief &)> &visit)
{
    return scanBriefs(QString(), {}, visit);
}

bool RecordStore::scanGroupBriefs(const QString &groupName,
                                  const std::function<void(const VehicleBrief &)> &visit)
{
    return scanBriefs(QStringLiteral(" WHERE groupname = ?"), {groupName}, visit);
}

bool RecordStore::scanLooseBriefs(const std::function<void(const VehicleBrief &)> &visit)
{
    // Each range is read from the tree's index alone; an order asked of SQLite would make it
    // read the whole table instead.
    for (const QString &condition : m_dialect.looseGroupConditions())
        if (!scanBriefs(QStringLiteral(" WHERE ") + condition, {}, visit, false))
            return false;
    return true;
}

bool RecordStore::scanBriefsById(const QList<qint64> &ids,
                                 const std::function<void(const VehicleBrief &)> &visit)
{
    if (ids.isEmpty())
        return true;
    QVariantList binds;
    binds.reserve(ids.size());
    for (const qint64 id : ids)
        binds.append(id);
    return scanBriefs(QStringLiteral(" WHERE id = ?"), binds, visit);
}

bool RecordStore::scanBriefs(const QString &where, const QVariantList &binds,
                             const std::function<void(const VehicleBrief &)> &visit, bool inOrder)
{
    const QByteArray sql = QByteArray("SELECT id, groupname, vehyear, vehmake, vehmodel, vehcolor "
                                      "FROM wrecker") +
                           where.toUtf8() + (inOrder ? " ORDER BY id" : "");
    if (!isOpen())
        return failNotOpen();
    QSqlDatabase db = database();
    // The rows of the statement run in a reader (SqliteReader or PgReader) visited; false when
    // reading failed.
    const auto visitRows = [&visit](auto &reader) {
        VehicleBrief brief;
        auto step = reader.step();
        for (; step == decltype(step)::Row; step = reader.step()) {
            brief.id = reader.integer(0);
            brief.groupname = reader.text(1);
            brief.vehyear = reader.text(2);
            brief.vehmake = reader.text(3);
            brief.vehmodel = reader.text(4);
            brief.vehcolor = reader.text(5);
            visit(brief);
        }
        return step != decltype(step)::Failed;
    };
    const qsizetype runs = binds.isEmpty() ? 1 : binds.size();
    SqliteReader reader(db);
    if (reader.isOpen()) {
        if (!reader.prepare(sql))
            return fail(reader.errorCode(), reader.errorText());
        for (qsizetype run = 0; run < runs; ++run) {
            if (!binds.isEmpty()) {
                const QVariant &value = binds.at(run);
                const bool bound = value.typeId() == QMetaType::LongLong
                                       ? reader.rebind(value.toLongLong())
                                       : reader.rebind(value.toString());
                if (!bound)
                    return fail(reader.errorCode(), reader.errorText());
            }
            if (!visitRows(reader))
                return fail(reader.errorCode(), reader.errorText());
        }
        return true;
    }
    PgReader server(db);
    if (server.isOpen()) {
        for (qsizetype run = 0; run < runs; ++run) {
            if (!server.exec(sql, binds.isEmpty() ? QList<QByteArray>()
                                                  : QList{binds.at(run).toString().toUtf8()}) ||
                !visitRows(server))
                return fail(server.errorCode(), server.errorText());
        }
        return true;
    }

    // Any other driver, or another SQLite build: the same rows through Qt SQL.
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QString::fromUtf8(sql));
    QByteArray columns[5];
    VehicleBrief brief;
    for (qsizetype run = 0; run < runs; ++run) {
        if (!binds.isEmpty())
            query.bindValue(0, binds.at(run));
        if (!exec(query, QStringLiteral("reading the vehicles")))
            return false;
        while (query.next()) {
            brief.id = query.value(0).toLongLong();
            for (int c = 0; c < 5; ++c)
                columns[c] = query.value(c + 1).toString().toUtf8();
            brief.groupname = columns[0];
            brief.vehyear = columns[1];
            brief.vehmake = columns[2];
            brief.vehmodel = columns[3];
            brief.vehcolor = columns[4];
            visit(brief);
        }
        if (query.lastError().isValid())
            return fail(query, QStringLiteral("reading the vehicles"));
    }
    return true;
}

} // namespace tarnvale
