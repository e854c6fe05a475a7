#include "QuickSearch.h"

#include <QStringList>
#include <QVariant>

#include <algorithm>

#include "FindRules.h"
#include "ImpoundRules.h"
#include "RecordStore.h"
#include "SchemaCheck.h"
#include "SearchQueries.h"

namespace tarnvale {

namespace {

// The index names candidates the rule then decides; past this many read without filling the
// list, the search ends with what it found.
constexpr int kMaxCandidates = 2000;

QList<TowField> textFields()
{
    return *FindRules::fieldsForKey(u"<All>") + SchemaCheck::quickTextFields();
}

// The fields read for each record.
QList<TowField> readFields()
{
    return textFields() + SchemaCheck::quickKeyFields() +
           QList<TowField>{TowField::groupname, TowField::towedrelease};
}

// The record as a line of the list, when the rule finds it.
std::optional<QuickResult> consider(const TowRecord &record, const std::optional<QString> &word,
                                    const QString &text)
{
    if (!QuickSearch::matches(record, text))
        return std::nullopt;
    const std::optional<VehicleStatus> stored =
        word ? ImpoundRules::statusFromWord(*word) : std::nullopt;
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

// The parts of the text the index and a server look for: the text as typed, and its key
// form, each when it has three characters or more.
QString textPart(const QString &text)
{
    const QString trimmed = text.trimmed();
    return trimmed.toUcs4().size() >= 3 ? trimmed : QString();
}

QString keyPart(const QString &text)
{
    const QString key = SchemaCheck::quickKeyForm(text.trimmed());
    return key.toUcs4().size() >= 3 ? key : QString();
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
    return SearchQueries::quickIndexMatch(textPart(text), keyPart(text));
}

std::optional<QList<QuickResult>> QuickSearch::find(RecordStore &store, const QString &text,
                                                    int limit, DbError *error)
{
    if (!store.isOpen())
        return QList<QuickResult>{};
    return find(store.database(), text, limit, error);
}

std::optional<QList<QuickResult>> QuickSearch::find(const QSqlDatabase &db, const QString &text,
                                                    int limit, DbError *error,
                                                    const std::atomic<bool> *cancel)
{
    QList<QuickResult> results;
    if (!searchable(text) || limit <= 0 || !db.isOpen())
        return results;
    const auto collect = [&](const TowRecord &record, const std::optional<QString> &status) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return false;
        if (std::optional<QuickResult> found = consider(record, status, text))
            results << *found;
        return results.size() < limit;
    };
    if (SearchQueries::fileIndexUsable(db)) {
        if (SearchQueries::quickIndexed(db, readFields(), indexQuery(text), kMaxCandidates,
                                        collect))
            return results;
        results.clear();
    }
    // On a server only the rows that may match come over the connection (ASCII text only);
    // the rule still decides each.
    const QString trimmed = text.trimmed();
    const bool ascii = std::all_of(trimmed.cbegin(), trimmed.cend(),
                                   [](QChar c) { return c.unicode() <= 0x7f; });
    if (!SearchQueries::quickScan(db, readFields(), ascii ? textPart(text) : trimmed,
                                  keyPart(text), collect, error))
        return std::nullopt;
    return results;
}

} // namespace tarnvale
