#include "RecordExport.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>

#include <algorithm>

#include "ChargeFigures.h"
#include "DateText.h"
#include "ExportQueries.h"
#include "ImpoundRules.h"
#include "LienSchedule.h"
#include "CsvWriter.h"
#include "MoneyFormat.h"
#include "PricingBookRead.h"
#include "PricingStore.h"
#include "SafeOutput.h"
#include "SettingsFile.h"
#include "RecordStore.h"
#include "QtSqlRows.h"
#include "ServerAddress.h"
#include "SqlDialect.h"
#include "SqliteReader.h"
#include "TowRecord.h"

namespace tarnvale {

namespace {

constexpr qsizetype kFlushBytes = 1 << 20;
constexpr qint64 kProgressRows = 512;

// Money as a spreadsheet reads it: MoneyFormat's rounding, with a zero before the point.
QString moneyCell(double value)
{
    QString text = MoneyFormat(value, kMoneyPlain);
    if (text.startsWith(u'.'))
        text.prepend(u'0');
    else if (text.startsWith(QLatin1String("-.")))
        text.insert(1, u'0');
    return text;
}

// Sets the text from UTF-8, reusing the string's memory when the bytes are ASCII (most are):
// a scan sets 38 fields a row.
void setText(QString &text, QByteArrayView utf8)
{
    const qsizetype n = utf8.size();
    text.resize(n);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x80) {
            text = QString::fromUtf8(utf8);
            return;
        }
        out[i] = c;
    }
}

RecordExport::Result failed(const QString &error)
{
    return {RecordExport::Outcome::Failed, 0, error};
}

// The impound columns: status, balance due and next lien deadline. Their tables are small
// (only vehicles something was recorded for) and are read whole before the scan; a database
// of an older schema has none and every vehicle shows as its record says.
class ImpoundColumns
{
public:
    template <class Reader>
    bool load(Reader &db, const SqlDialect &dialect, QList<LienStep> schedule)
    {
        m_schedule = std::move(schedule);
        ExportQueries::Impound kept;
        if (!ExportQueries::readImpound(db, dialect, kept))
            return false;
        for (auto at = kept.statusWords.cbegin(); at != kept.statusWords.cend(); ++at)
            m_status.insert(at.key(), ImpoundRules::statusFromWord(at.value())
                                          .value_or(VehicleStatus::InStorage));
        m_paid = std::move(kept.paidCents);
        m_done = std::move(kept.stepsDone);
        return true;
    }

    // Status, balance due (empty when no grand total is formed) and next deadline (empty
    // once the vehicle has left the yard or every step is done).
    QStringList cells(const TowRecord &record, const ChargeFigures &figures,
                      const RecordExport::Options &options) const
    {
        const VehicleStatus status = ImpoundRules::statusOf(
            m_status.contains(record.id), m_status.value(record.id, VehicleStatus::InStorage),
            record.value(TowField::towedrelease));
        const std::optional<qint64> balance =
            ImpoundRules::balanceCents(figures, m_paid.value(record.id));
        QString next;
        if (status == VehicleStatus::InStorage || status == VehicleStatus::OnHold) {
            const auto towed =
                DateText::read(record.value(TowField::toweddate), options.locale, options.today);
            if (const auto day = LienSchedule::nextDeadline(LienSchedule::deadlines(
                    m_schedule, towed.value_or(QDate()), m_done.value(record.id))))
                next = DateText::shortForm(*day, options.locale);
        }
        return {ImpoundRules::statusText(status),
                balance ? moneyCell(double(*balance) / 100.0) : QString(), next};
    }

private:
    QList<LienStep> m_schedule;
    QHash<qint64, VehicleStatus> m_status;
    QHash<qint64, qint64> m_paid;
    QHash<qint64, QList<QPair<QString, QDate>>> m_done;
};

// The pricing of each vehicle, read whole before the scan: its plan, class and times, and the
// bill kept at its release. A database that keeps no plans exports as it always has: every
// vehicle under Standard, and no pricing columns.
class PricingColumns
{
public:
    template <class Reader>
    bool load(Reader &db, const SqlDialect &dialect)
    {
        if (!PricingBookRead::read(db, dialect, m_book))
            return false;
        m_active = !m_book.plans.isEmpty() || !m_book.kept.isEmpty();
        return true;
    }

    // Whether the export carries the pricing columns: once the yard keeps a plan.
    bool active() const { return m_active; }
    PricedStay stayOf(const TowRecord &record, const QTime &now) const
    {
        return m_book.stayOf(record, now);
    }
    // The plan, and each storage line and fee as "label: amount", one to a line.
    static QStringList cells(const ChargeFigures &figures)
    {
        QStringList lines;
        for (const BillLine &line : figures.storageLines + figures.fees)
            lines << QStringLiteral("%1: %2").arg(line.label, moneyCell(line.cents / 100.0));
        return {figures.planName, lines.join(u'\n')};
    }

private:
    PricingBook m_book;
    bool m_active = false;
};

} // namespace

QStringList RecordExport::columnNames()
{
    QStringList names{QStringLiteral("id")};
    for (int i = 0; i < kTowFieldCount; ++i)
        names << TowRecord::fieldName(TowField(i));
    names << QStringLiteral("Days in storage") << QStringLiteral("Storage charge")
          << QStringLiteral("Tax") << QStringLiteral("Grand total")
          << QStringLiteral("Figures note") << QStringLiteral("Status")
          << QStringLiteral("Balance due") << QStringLiteral("Next deadline");
    return names;
}

QStringList RecordExport::figureCells(const ChargeFigures &figures)
{
    return {QString::number(figures.days), moneyCell(figures.storage),
            figures.totalFormed ? moneyCell(figures.tax) : QString(),
            figures.totalFormed ? moneyCell(figures.grandTotal) : QString()};
}

RecordExport::Result RecordExport::write(const QString &databasePath,
                                         const ExportSelection &selection,
                                         const SettingsFile &settings, const QString &outPath,
                                         const Options &options)
{
    const SettingsFile rules = SettingsFile::snapshot(settings.path());

    // Renaming the export over the database or the settings would destroy them.
    const QString target = QFileInfo(outPath).canonicalFilePath();
    if (!target.isEmpty()
        && (target == QFileInfo(databasePath).canonicalFilePath()
            || target == QFileInfo(settings.path()).canonicalFilePath()))
        return failed(QStringLiteral("cannot write %1: it is the program's own file").arg(outPath));
    if (ServerAddress::isServerAddress(databasePath))
        return writeFromServer(databasePath, selection, rules, outPath, options);
    if (!QFileInfo(databasePath).isFile())
        return failed(QStringLiteral("cannot open the database %1: no such file").arg(databasePath));
    SqliteReader db = SqliteReader::openReadOnly(databasePath);
    if (!db.isOpen())
        return failed(
            QStringLiteral("cannot open the database %1: %2").arg(databasePath, db.errorText()));
    return writeRows(db, SqlDialect(), databasePath, selection, rules, outPath, options);
}

RecordExport::Result RecordExport::writeFromServer(const QString &uri,
                                                   const ExportSelection &selection,
                                                   const SettingsFile &rules,
                                                   const QString &outPath, const Options &options)
{
    const QString shown = RecordStore::shownPath(uri);
    QString reason;
    const std::optional<ServerAddress> address = ServerAddress::parse(uri, &reason);
    if (!address)
        return failed(QStringLiteral("cannot open the database %1: %2").arg(shown, reason));
    static QAtomicInteger<int> uses;
    const QString name = QStringLiteral("tarnvale-export-%1").arg(uses.fetchAndAddRelaxed(1));
    if (!address->connect(name, &reason))
        return failed(QStringLiteral("cannot open the database %1: %2").arg(shown, reason));
    Result result;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QtSqlRows rows(db);
        result = writeRows(rows, SqlDialect(SqlDialect::Engine::Postgres), shown, selection, rules,
                           outPath, options);
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

template <class Reader>
RecordExport::Result RecordExport::writeRows(Reader &db, const SqlDialect &dialect,
                                             const QString &databasePath,
                                             const ExportSelection &selection,
                                             const SettingsFile &rules, const QString &outPath,
                                             const Options &options)
{
    const auto readFailure = [&db, &databasePath] {
        return failed(
            QStringLiteral("cannot read the database %1: %2").arg(databasePath, db.errorText()));
    };

    const QString *group =
        selection.kind == ExportSelection::Kind::Group ? &selection.group : nullptr;
    QList<qint64> ids;
    if (selection.kind == ExportSelection::Kind::Records) {
        ids = selection.ids;
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    }

    // One read transaction: the count and the rows come from the same state of the file.
    if (!ExportQueries::begin(db))
        return readFailure();
    qint64 total = qint64(ids.size());
    if (selection.kind != ExportSelection::Kind::Records) {
        const std::optional<qint64> count = ExportQueries::count(db, group);
        if (!count)
            return readFailure();
        total = *count;
    }
    ImpoundColumns impound;
    if (!impound.load(db, dialect, LienSchedule::read(rules)))
        return readFailure();
    PricingColumns pricing;
    if (!pricing.load(db, dialect))
        return readFailure();
    if (!ExportQueries::selectRecords(db, group))
        return readFailure();

    // A private temporary file beside OUT, renamed into place and the folder flushed; OUT
    // stays as it was on every other way out.
    SafeOutput file(QFile::encodeName(outPath).toStdString());
    const auto writeFailure = [&file, &outPath] {
        return QStringLiteral("cannot write %1: %2")
            .arg(outPath, QString::fromStdString(file.errorText()));
    };
    if (!file.open())
        return failed(writeFailure());
    const auto flush = [&file](CsvWriter &csv) {
        const bool written = file.write(csv.bytes().constData(), size_t(csv.bytes().size()));
        csv.clear();
        return written;
    };

    CsvWriter csv;
    for (const QString &name : columnNames())
        csv.add(name);
    if (pricing.active())
        csv.add(QStringLiteral("Pricing plan")), csv.add(QStringLiteral("Charges"));
    csv.endRow();

    qint64 written = 0;
    // A vehicle still held under 24-hour periods is counted to this time of day.
    const QTime now = options.today == QDate::currentDate() ? QTime::currentTime() : QTime(0, 0);
    auto wanted = ids.cbegin();
    TowRecord record;
    SqliteReader::Step step;
    while ((step = db.step()) == SqliteReader::Step::Row) {
        if (options.cancel && options.cancel->load(std::memory_order_relaxed)) {
            file.cancel();
            return {Outcome::Cancelled, written, {}};
        }
        record.id = db.integer(0);
        if (selection.kind == ExportSelection::Kind::Records) {
            while (wanted != ids.cend() && *wanted < record.id)
                ++wanted;
            if (wanted == ids.cend())
                break;
            if (*wanted != record.id)
                continue;
        }
        csv.add(QByteArrayView(QByteArray::number(record.id)), CsvWriter::Cell::Number);
        for (int i = 0; i < kTowFieldCount; ++i) {
            const QByteArrayView bytes = db.text(i + 1);
            csv.add(bytes);
            setText(record.values[size_t(i)], bytes);
        }
        const ChargeFigures figures =
            pricing.active() ? ChargeFigures::compute(record, rules, options.today,
                                                      pricing.stayOf(record, now), options.locale)
                             : ChargeFigures::compute(record, rules, options.today, options.locale);
        for (const QString &cell : figureCells(figures))
            csv.add(cell, CsvWriter::Cell::Number);
        csv.add(figures.note);
        const QStringList impoundCells = impound.cells(record, figures, options);
        csv.add(impoundCells.at(0));
        csv.add(impoundCells.at(1), CsvWriter::Cell::Number);
        csv.add(impoundCells.at(2));
        if (pricing.active())
            for (const QString &cell : PricingColumns::cells(figures))
                csv.add(cell);
        csv.endRow();
        ++written;
        if (csv.bytes().size() >= kFlushBytes && !flush(csv))
            break;
        if (options.progress && written % kProgressRows == 0)
            options.progress(written, total);
    }
    if (step == SqliteReader::Step::Failed) {
        file.cancel();
        return readFailure();
    }
    if (!flush(csv) || !file.commit()) {
        const QString reason = writeFailure();
        file.cancel();
        return failed(reason);
    }
    if (options.progress)
        options.progress(written, written);
    return {Outcome::Done, written, {}};
}

} // namespace tarnvale
