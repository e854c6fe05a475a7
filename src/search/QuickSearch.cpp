#include "QuickSearch.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include "FindRules.h"
#include "ImpoundRules.h"
#include "RecordStore.h"
#include "SchemaCheck.h"

namespace tarnvale {

namespace {

// The index names candidates the rule then decides; past this many read without filling the
// list, the search ends with what it found.
constexpr int kMaxCandidates = 2000;

QList<TowField> textFields()
{
    return *FindRules::fieldsForKey(u"<All>") + SchemaCheck::quickTextFields();
}

// The fields read for each record, after its id; then its stored status.
QList<TowField> readFields()
{
    return textFields() + SchemaCheck::quickKeyFields() +
           QList<TowField>{TowField::groupname, TowField::towedrelease};
}

QString selectStatement()
{
    QStringList names{QStringLiteral("id")};
    for (TowField field : readFields())
        names << TowRecord::fieldName(field);
    names << QStringLiteral("(SELECT status FROM impound_status WHERE vehicle_id = wrecker.id)");
    return QStringLiteral("SELECT ") + names.join(QLatin1String(", ")) +
           QStringLiteral(" FROM wrecker");
}

QString phrase(const QString &text)
{
    return u'"' + QString(text).replace(u'"', QLatin1String("\"\"")) + u'"';
}

// The record of the query's row, when the rule finds it, as a line of the list.
std::optional<QuickResult> consider(const QSqlQuery &query, const QString &text)
{
    const QList<TowField> fields = readFields();
    TowRecord record;
    record.id = query.value(0).toLongLong();
    for (int i = 0; i < fields.size(); ++i)
        record.set(fields[i], query.value(i + 1).toString());
    if (!QuickSearch::matches(record, text))
        return std::nullopt;
    const QVariant word = query.value(int(fields.size()) + 1);
    const std::optional<VehicleStatus> stored =
        word.isNull() ? std::nullopt : ImpoundRules::statusFromWord(word.toString());
    QStringList vehicle;
    for (TowField field : {TowField::vehyear, TowField::vehmake, TowField::vehmodel})
        if (!record.value(field).isEmpty())
            vehicle << record.value(field);
    const VehicleStatus status =
        ImpoundRules::statusOf(stored.has_value(), stored.value_or(VehicleStatus::InStorage),
                               record.value(TowField::towedrelease));
    return QuickResult{
        record.id,          record.value(TowField::vehtag),    record.value(TowField::custname),
        vehicle.join(u' '), record.value(TowField::groupname), ImpoundRules::statusText(status)};
}

bool failed(const QSqlQuery &query, DbError *error)
{
    if (error)
        *error = DbError::fromSql(query.lastError(), QStringLiteral("searching the vehicles"));
    return false;
}

// Through the index; false when it cannot be read (the caller then reads the table).
bool findIndexed(const QSqlDatabase &db, const QString &text, int limit,
                 QList<QuickResult> &results)
{
    QSqlQuery candidates(db), row(db);
    candidates.setForwardOnly(true);
    row.setForwardOnly(true);
    if (!candidates.prepare(QStringLiteral("SELECT rowid FROM wrecker_fts WHERE wrecker_fts "
                                           "MATCH ? ORDER BY rowid DESC")) ||
        !row.prepare(selectStatement() + QStringLiteral(" WHERE id = ?")))
        return false;
    candidates.addBindValue(QuickSearch::indexQuery(text));
    if (!candidates.exec())
        return false;
    for (int read = 0; results.size() < limit && read < kMaxCandidates && candidates.next();
         ++read) {
        row.bindValue(0, candidates.value(0));
        if (!row.exec())
            return false;
        if (row.next())
            if (std::optional<QuickResult> found = consider(row, text))
                results << *found;
    }
    return !candidates.lastError().isValid();
}

// On a server, a filter the server applies first, so that only rows that may match come over
// the connection: every row the rule finds passes it (ASCII text only, where the server's upper()
// and the rule's folding agree on what they must; the rule still decides each row). Empty when
// the text is not ASCII.
QString serverFilter(const QString &text, QVariantList &values)
{
    const QString trimmed = text.trimmed();
    for (QChar c : trimmed)
        if (c.unicode() > 0x7f)
            return QString();
    const auto pattern = [](const QString &part) {
        QString escaped = part.toUpper();
        escaped.replace(u'\\', QLatin1String("\\\\"))
            .replace(u'%', QLatin1String("\\%"))
            .replace(u'_', QLatin1String("\\_"));
        return u'%' + escaped + u'%';
    };
    QStringList tests;
    if (trimmed.size() >= 3)
        for (TowField field : textFields()) {
            // The two letters beyond ASCII that the rule folds to ASCII ones.
            tests << QStringLiteral("upper(replace(replace(coalesce(%1, ''), chr(304), 'I'), "
                                    "chr(8490), 'K')) LIKE ?")
                         .arg(TowRecord::fieldName(field));
            values << pattern(trimmed);
        }
    const QString key = SchemaCheck::quickKeyForm(trimmed);
    if (key.size() >= 3)
        for (TowField field : SchemaCheck::quickKeyFields()) {
            tests << SchemaCheck::quickKeyFormSql(TowRecord::fieldName(field), QStringLiteral("chr")) +
                         QStringLiteral(" LIKE ?");
            values << pattern(key);
        }
    return tests.isEmpty() ? QString() : QStringLiteral(" WHERE ") + tests.join(QLatin1String(" OR "));
}

} // namespace

bool QuickSearch::searchable(const QString &text)
{
    const QString trimmed = text.trimmed();
    return trimmed.toUcs4().size() >= 3 || SchemaCheck::quickKeyForm(trimmed).toUcs4().size() >= 3;
}

bool QuickSearch::matches(const TowRecord &record, const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.toUcs4().size() >= 3)
        for (TowField field : textFields())
            if (FindRules::matches(record.value(field), trimmed, MatchMode::AnyCase))
                return true;
    const QString key = SchemaCheck::quickKeyForm(trimmed);
    if (key.toUcs4().size() >= 3)
        for (TowField field : SchemaCheck::quickKeyFields())
            if (SchemaCheck::quickKeyForm(record.value(field)).contains(key))
                return true;
    return false;
}

QString QuickSearch::indexQuery(const QString &text)
{
    // The index folds letter case as the rule does for ASCII; beyond ASCII its folding is
    // taken for the rule's.
    const QString trimmed = text.trimmed();
    QStringList parts;
    if (trimmed.toUcs4().size() >= 3) {
        QStringList columns = SchemaCheck::searchIndexColumns();
        columns << SchemaCheck::quickSearchColumns().at(1);
        parts << u'{' + columns.join(u' ') + QStringLiteral("} : ") +
                     phrase(SchemaCheck::searchIndexForm(trimmed));
    }
    const QString key = SchemaCheck::quickKeyForm(trimmed);
    if (key.toUcs4().size() >= 3)
        parts << u'{' + SchemaCheck::quickSearchColumns().at(0) + QStringLiteral("} : ") +
                     phrase(key);
    return parts.join(QLatin1String(" OR "));
}

std::optional<QList<QuickResult>> QuickSearch::find(RecordStore &store, const QString &text,
                                                    int limit, DbError *error)
{
    QList<QuickResult> results;
    if (!searchable(text) || limit <= 0 || !store.isOpen())
        return results;
    const QSqlDatabase db = store.database();
    // A file holding objects of another program may hold an index of its making.
    if (!store.isServer() && SchemaCheck::hasSearchIndex(db) &&
        SchemaCheck::foreignObjects(db).value_or(QStringList{QStringLiteral("?")}).isEmpty()) {
        if (findIndexed(db, text, limit, results))
            return results;
        results.clear();
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    QVariantList values;
    const QString filter = store.isServer() ? serverFilter(text, values) : QString();
    if (!query.prepare(selectStatement() + filter + QStringLiteral(" ORDER BY id DESC")))
        return failed(query, error), std::nullopt;
    for (const QVariant &value : std::as_const(values))
        query.addBindValue(value);
    if (!query.exec())
        return failed(query, error), std::nullopt;
    while (results.size() < limit && query.next())
        if (std::optional<QuickResult> found = consider(query, text))
            results << *found;
    if (query.lastError().isValid())
        return failed(query, error), std::nullopt;
    return results;
}

} // namespace tarnvale
