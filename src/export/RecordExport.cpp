#include "RecordExport.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <functional>
#include <sqlite3.h>

#include "ChargeFigures.h"
#include "DateText.h"
#include "ImpoundRules.h"
#include "LienSchedule.h"
#include "SafeOutput.h"
#include "CsvWriter.h"
#include "MoneyFormat.h"
#include "SettingsFile.h"
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

// One read-only connection, closed on every way out.
class Connection
{
public:
    explicit Connection(const QString &path)
    {
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                                       SQLITE_OPEN_READONLY, nullptr);
        if (rc != SQLITE_OK) {
            m_error = QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
            return;
        }
        // The file may come from anywhere: its schema gets no say in what runs.
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~Connection()
    {
        sqlite3_finalize(m_statement);
        sqlite3_close(m_db);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool ok() const { return m_error.isEmpty(); }
    const QString &error() const { return m_error; }
    bool exec(const char *sql) { return check(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr)); }
    // Prepares the one statement in use, binding the text when given.
    sqlite3_stmt *prepare(const QByteArray &sql, const QString *text = nullptr)
    {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        if (!check(sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &m_statement, nullptr)))
            return nullptr;
        if (text) {
            const QByteArray bytes = text->toUtf8();
            if (!check(sqlite3_bind_text(m_statement, 1, bytes.constData(), int(bytes.size()),
                                         SQLITE_TRANSIENT)))
                return nullptr;
        }
        return m_statement;
    }
    bool check(int rc)
    {
        if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
            return true;
        m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
        return false;
    }

private:
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    QString m_error;
};

// The impound columns: status, balance due and next lien deadline. Their tables are small
// (only vehicles something was recorded for) and are read whole before the scan; a database
// of an older schema has none and every vehicle shows as its record says.
class ImpoundColumns
{
public:
    bool load(Connection &db, QList<LienStep> schedule)
    {
        m_schedule = std::move(schedule);
        sqlite3_stmt *has = db.prepare(
            "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'impound_status'");
        if (!has || !db.check(sqlite3_step(has)))
            return false;
        if (sqlite3_column_int64(has, 0) == 0)
            return true;
        auto text = [](sqlite3_stmt *row, int column) {
            return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(row, column)));
        };
        auto scan = [&](const char *sql, const std::function<void(sqlite3_stmt *)> &visit) {
            sqlite3_stmt *row = db.prepare(sql);
            if (!row)
                return false;
            int step = SQLITE_ROW;
            while ((step = sqlite3_step(row)) == SQLITE_ROW)
                visit(row);
            return db.check(step);
        };
        return scan("SELECT vehicle_id, status FROM impound_status",
                    [&](sqlite3_stmt *row) {
                        m_status.insert(sqlite3_column_int64(row, 0),
                                        ImpoundRules::statusFromWord(text(row, 1))
                                            .value_or(VehicleStatus::InStorage));
                    })
               && scan("SELECT vehicle_id, amount_cents FROM impound_payments",
                       [&](sqlite3_stmt *row) {
                           m_paid[sqlite3_column_int64(row, 0)] += sqlite3_column_int64(row, 1);
                       })
               && scan("SELECT vehicle_id, step_name, done_on FROM lien_steps_done",
                       [&](sqlite3_stmt *row) {
                           m_done[sqlite3_column_int64(row, 0)].append(
                               {text(row, 1), QDate::fromString(text(row, 2), Qt::ISODate)});
                       });
    }

    QStringList cells(const TowRecord &record, const ChargeFigures &figures,
                      const RecordExport::Options &options) const
    {
        const VehicleStatus status =
            ImpoundRules::statusOf(m_status.contains(record.id),
                                   m_status.value(record.id, VehicleStatus::InStorage),
                                   record.value(TowField::towedrelease));
        const qint64 balance = ImpoundRules::toCents(figures.grandTotal) - m_paid.value(record.id);
        QString next;
        if (status == VehicleStatus::InStorage || status == VehicleStatus::OnHold) {
            const auto towed =
                DateText::read(record.value(TowField::toweddate), options.locale, options.today);
            if (const auto day = LienSchedule::nextDeadline(LienSchedule::deadlines(
                    m_schedule, towed.value_or(QDate()), m_done.value(record.id))))
                next = DateText::shortForm(*day, options.locale);
        }
        return {ImpoundRules::statusText(status),
                figures.totalFormed ? moneyCell(double(balance) / 100.0) : QString(), next};
    }

private:
    QList<LienStep> m_schedule;
    QHash<qint64, VehicleStatus> m_status;
    QHash<qint64, qint64> m_paid;
    QHash<qint64, QList<QPair<QString, QDate>>> m_done;
};

RecordExport::Result failed(const QString &error)
{
    return {RecordExport::Outcome::Failed, 0, error};
}

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
    if (!QFileInfo(databasePath).isFile())
        return failed(QStringLiteral("cannot open the database %1: no such file").arg(databasePath));
    Connection db(databasePath);
    if (!db.ok())
        return failed(QStringLiteral("cannot open the database %1: %2").arg(databasePath, db.error()));

    QByteArray columns = "id";
    for (int i = 0; i < kTowFieldCount; ++i)
        columns += ", " + TowRecord::fieldName(TowField(i)).toLatin1();
    QByteArray where;
    const bool byGroup = selection.kind == ExportSelection::Kind::Group;
    if (byGroup)
        where = " WHERE groupname = ?";
    QList<qint64> ids;
    if (selection.kind == ExportSelection::Kind::Records) {
        ids = selection.ids;
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    }

    // One read transaction: the count and the rows come from the same state of the file.
    if (!db.exec("BEGIN"))
        return failed(QStringLiteral("cannot read the database %1: %2").arg(databasePath, db.error()));
    qint64 total = qint64(ids.size());
    if (selection.kind != ExportSelection::Kind::Records) {
        sqlite3_stmt *count = db.prepare("SELECT count(*) FROM wrecker" + where,
                                         byGroup ? &selection.group : nullptr);
        if (!count || !db.check(sqlite3_step(count)))
            return failed(QStringLiteral("cannot read the database %1: %2").arg(databasePath, db.error()));
        total = sqlite3_column_int64(count, 0);
    }
    ImpoundColumns impound;
    if (!impound.load(db, LienSchedule::read(rules)))
        return failed(QStringLiteral("cannot read the database %1: %2").arg(databasePath, db.error()));
    sqlite3_stmt *rows = db.prepare("SELECT " + columns + " FROM wrecker" + where + " ORDER BY id",
                                    byGroup ? &selection.group : nullptr);
    if (!rows)
        return failed(QStringLiteral("cannot read the database %1: %2").arg(databasePath, db.error()));

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
    csv.endRow();

    qint64 written = 0;
    auto wanted = ids.cbegin();
    TowRecord record;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(rows)) == SQLITE_ROW) {
        if (options.cancel && options.cancel->load(std::memory_order_relaxed)) {
            file.cancel();
            return {Outcome::Cancelled, written, {}};
        }
        record.id = sqlite3_column_int64(rows, 0);
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
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(rows, i + 1));
            const QByteArrayView bytes(text, text ? sqlite3_column_bytes(rows, i + 1) : 0);
            csv.add(bytes);
            setText(record.values[size_t(i)], bytes);
        }
        const ChargeFigures figures =
            ChargeFigures::compute(record, rules, options.today, options.locale);
        for (const QString &cell : figureCells(figures))
            csv.add(cell, CsvWriter::Cell::Number);
        csv.add(figures.note);
        for (const QString &cell : impound.cells(record, figures, options))
            csv.add(cell);
        csv.endRow();
        ++written;
        if (csv.bytes().size() >= kFlushBytes && !flush(csv))
            break;
        if (options.progress && written % kProgressRows == 0)
            options.progress(written, total);
    }
    if (step != SQLITE_ROW && step != SQLITE_DONE && !db.check(step)) {
        file.cancel();
        return failed(QStringLiteral("cannot read the database %1: %2").arg(databasePath, db.error()));
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
