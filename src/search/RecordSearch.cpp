#include "RecordSearch.h"

#include <QStringList>

#include <algorithm>
#include <array>

#include "FindRules.h"
#include "ImpoundRules.h"
#include "RecordStore.h"
#include "SchemaCheck.h"
#include "SearchQueries.h"
#include "TextMatcher.h"

namespace tarnvale {

namespace {

// The columns every result needs, first in every selection, in this order.
enum ResultColumn { cName, cYear, cMake, cModel, cStyle, cVin, cGroup, kResultColumns };
constexpr TowField kResultFields[] = {TowField::custname, TowField::vehyear,  TowField::vehmake,
                                      TowField::vehmodel, TowField::vehstyle, TowField::vehvin,
                                      TowField::groupname};

struct Plan
{
    SearchSelection selection;
    QString indexMatch; // the search index's query; empty when the index cannot serve it
    QList<int> compared; // selection columns compared, in the order they are tried
    MatchMode mode = MatchMode::AnyCase;
    QString findText;
    bool matchAll = false; // a status alone: every row the selection gives
};

// The index's form of the search text when the index holds every record the rules find by it,
// in its folding of letter case; empty when it does not.
QString indexText(const QString &findText, MatchMode mode)
{
    // When case counts, the same change of each character on both sides keeps every
    // occurrence: any text of three characters or more.
    if (FindRules::keepsCase(mode)) {
        const QString text = SchemaCheck::searchIndexForm(findText);
        return text.toUcs4().size() >= 3 ? text : QString();
    }
    // Otherwise the index must fold every character of the lower-cased text as the rules do
    // (see SearchQueries::indexFoldsApart).
    const std::optional<QString> &apart = SearchQueries::indexFoldsApart();
    const QString lower = FindRules::prepared(findText, mode);
    const QList<uint> points = lower.toUcs4();
    if (!apart || points.size() < 3)
        return QString();
    for (const uint point : points) {
        const auto c = char32_t(point);
        if (apart->contains(QString::fromUcs4(&c, 1)))
            return QString();
    }
    return lower;
}

// The key form of the search text when the index's plate, VIN and phone column holds every
// record the rules find by it in those fields; empty when it does not. That column keeps each
// field without its separators, in ASCII capitals, so a text that is found in a field leaves
// its key form inside the field's. It holds nothing the rules fold: only plain ASCII is looked
// up there, and without case only a text without I or K, since a stored capital I with a dot
// and the Kelvin sign lower-case to them.
QString keyIndexText(const QString &findText, MatchMode mode)
{
    for (const QChar c : findText) {
        if (c.unicode() > 0x7f)
            return QString();
        if (!FindRules::keepsCase(mode) && QStringLiteral("iIkK").contains(c))
            return QString();
    }
    const QString key = SchemaCheck::quickKeyForm(findText);
    return key.size() >= 3 ? key : QString();
}

std::optional<Plan> makePlan(const FindRequest &request)
{
    Plan plan;
    if (!request.status.isEmpty()) {
        const std::optional<VehicleStatus> status = ImpoundRules::statusFromWord(request.status);
        if (!status)
            return std::nullopt;
        // A vehicle without a status of its own is released when its record has a release
        // date, otherwise in storage.
        plan.selection.status = request.status;
        if (*status == VehicleStatus::InStorage)
            plan.selection.unkept = SearchSelection::Unkept::WithoutRelease;
        else if (*status == VehicleStatus::Released)
            plan.selection.unkept = SearchSelection::Unkept::WithRelease;
    }
    if (request.findText.isEmpty() && request.status.isEmpty())
        return std::nullopt;
    const std::optional<QList<TowField>> fields = FindRules::fieldsForKey(request.fieldText);
    if (!fields)
        return std::nullopt;

    plan.mode = FindRules::matchMode(request.wholeWord, request.matchCase);
    plan.findText = request.findText;
    plan.matchAll = request.findText.isEmpty();
    QList<TowField> &columns = plan.selection.columns;
    columns = QList<TowField>(std::begin(kResultFields), std::end(kResultFields));
    for (TowField field : *fields) {
        qsizetype at = columns.indexOf(field);
        if (at < 0) {
            columns.append(field);
            at = columns.size() - 1;
        }
        plan.compared.append(int(at));
    }
    // A result's own columns are compared first: a vehicle found by another has them read.
    std::sort(plan.compared.begin(), plan.compared.end());
    const GroupFilter filter = FindRules::groupFilter(request.groupText);
    plan.selection.allGroups = filter.all;
    plan.selection.group = filter.name;

    // Plate, VIN and phone are in the index in their key form.
    const QList<TowField> keyFields = SchemaCheck::quickKeyFields();
    if (!plan.matchAll &&
        std::all_of(fields->begin(), fields->end(),
                    [&](TowField field) { return keyFields.contains(field); })) {
        const QString key = keyIndexText(plan.findText, plan.mode);
        if (!key.isEmpty()) {
            plan.indexMatch = SearchQueries::quickIndexMatch(QString(), key);
            plan.selection.serverKeysMayHold = key;
        }
        return plan;
    }
    // The index holds trigrams, folded to one case: it finds every record that holds the
    // text, in the index's form, in one of the fields.
    for (TowField field : *fields)
        if (!SchemaCheck::searchIndexColumns().contains(TowRecord::fieldName(field)))
            return plan;
    // On a server the trigram index keeps the records that may match (a text shorter than a
    // trigram it cannot narrow).
    if (!plan.matchAll && plan.findText.toUcs4().size() >= 3 &&
        SearchQueries::serverMayHold(plan.findText, FindRules::keepsCase(plan.mode)))
        plan.selection.serverMayHold = plan.findText;
    const QString text = indexText(plan.findText, plan.mode);
    if (!text.isEmpty())
        plan.indexMatch = SearchQueries::indexMatch(*fields, text);
    return plan;
}

class Batcher
{
  public:
    Batcher(const RecordSearch::Sink &sink, int size) : m_sink(sink), m_size(qMax(1, size))
    {
        m_rows.reserve(m_size);
    }
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
        m_rows.reserve(m_size);
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

RecordSearch::Outcome failWith(DbError *error, int number, const QString &description)
{
    if (error)
        *error = DbError{number == 0 ? 1 : number, description};
    return RecordSearch::Outcome::Failed;
}

// The row as a result, when the rules find it.
void considerRow(const SearchRow &row, const Plan &plan, const TextMatcher &matcher,
                 Batcher &batch, bool idsOnly = false)
{
    // A result's texts that were read to compare them are not asked of the engine again:
    // each ask is a call into it, and a found vehicle has seven.
    std::array<QByteArrayView, kResultColumns> read{};
    std::array<bool, kResultColumns> known{};
    bool found = plan.matchAll;
    for (int column : plan.compared) {
        if (found)
            break;
        const QByteArrayView text = row.text(column);
        if (column < kResultColumns) {
            read[column] = text;
            known[column] = true;
        }
        if (text.data() && matcher.matchesUtf8(text.data(), text.size())) {
            found = true;
            break;
        }
    }
    if (!found)
        return;
    if (idsOnly) {
        batch.add(FindResult::idOnly(row.id()));
        return;
    }
    const auto text = [&](ResultColumn column) {
        return known[column] ? read[column] : row.text(column);
    };
    batch.add(FindResult::fromStored(row.id(), text(cName), text(cYear), text(cMake),
                                     text(cModel), text(cStyle), text(cVin), text(cGroup)));
}

RecordSearch::Outcome converted(SearchQueries::Outcome outcome)
{
    switch (outcome) {
    case SearchQueries::Outcome::Done:
        return RecordSearch::Outcome::Done;
    case SearchQueries::Outcome::Cancelled:
        return RecordSearch::Outcome::Cancelled;
    case SearchQueries::Outcome::Failed:
        break;
    }
    return RecordSearch::Outcome::Failed;
}

} // namespace

QString RecordSearch::statement(const FindRequest &request)
{
    const std::optional<Plan> plan = makePlan(request);
    return plan ? SearchQueries::scanStatement(plan->selection) : QString();
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
        return failWith(error, DbError::kNotOpen, QStringLiteral("The database is not open."));
    const std::optional<Plan> plan = makePlan(request);
    if (!plan)
        return cancelled(options) ? Outcome::Cancelled : Outcome::Done;
    const bool native = options.reader == Reader::Native;
    SearchQueries queries(db, native ? SearchQueries::Reader::Native : SearchQueries::Reader::Generic,
                          options.cancel);
    const TextMatcher matcher(plan->findText, plan->mode);
    Batcher batch(sink, options.batchSize);
    const auto consider = [&](const SearchRow &row) {
        considerRow(row, *plan, matcher, batch, options.idsOnly);
    };
    std::optional<SearchQueries::Outcome> outcome;
    if (native && options.useIndex && !plan->indexMatch.isEmpty() &&
        SearchQueries::fileIndexUsable(db))
        outcome = queries.indexed(plan->selection, plan->indexMatch, consider, error);
    if (!outcome)
        outcome = queries.scan(plan->selection, consider, error);
    if (*outcome == SearchQueries::Outcome::Done)
        batch.flush();
    return converted(*outcome);
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

namespace {

// The plan's results among the records with these ids, on the store's own connection, in one
// statement.
std::optional<QList<FindResult>> resultsAmong(RecordStore &store, const std::optional<Plan> &plan,
                                              QList<qint64> ids, DbError *error)
{
    QList<FindResult> results;
    const QSqlDatabase db = store.database();
    if (!db.isOpen()) {
        failWith(error, DbError::kNotOpen, QStringLiteral("The database is not open."));
        return std::nullopt;
    }
    if (!plan || ids.isEmpty())
        return results;
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    const TextMatcher matcher(plan->findText, plan->mode);
    const RecordSearch::Sink sink = [&results](QList<FindResult> &&rows) {
        results.append(std::move(rows));
    };
    Batcher batch(sink, RecordSearch::Options().batchSize);
    SearchQueries queries(db, SearchQueries::Reader::Generic, nullptr);
    const SearchQueries::Outcome outcome = queries.among(
        plan->selection, ids, [&](const SearchRow &row) { considerRow(row, *plan, matcher, batch); },
        error);
    if (outcome != SearchQueries::Outcome::Done)
        return std::nullopt;
    batch.flush();
    return results;
}

} // namespace

std::optional<QList<FindResult>> RecordSearch::findAmong(RecordStore &store,
                                                         const FindRequest &request,
                                                         QList<qint64> ids, DbError *error)
{
    return resultsAmong(store, makePlan(request), std::move(ids), error);
}

std::optional<QList<FindResult>> RecordSearch::textsOf(RecordStore &store, QList<qint64> ids,
                                                       DbError *error)
{
    Plan plan;
    plan.matchAll = true;
    plan.selection.allGroups = true;
    plan.selection.columns = QList<TowField>(std::begin(kResultFields), std::end(kResultFields));
    return resultsAmong(store, plan, std::move(ids), error);
}

} // namespace tarnvale
