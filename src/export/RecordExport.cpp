#include "RecordExport.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "ChargeFigures.h"
#include "CsvWriter.h"
#include "MoneyFormat.h"
#include "SafeOutput.h"
#include "SettingsFile.h"
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

} // namespace

QStringList RecordExport::columnNames()
{
    QStringList names{QStringLiteral("id")};
    for (int i = 0; i < kTowFieldCount; ++i)
        names << TowRecord::fieldName(TowField(i));
    names << QStringLiteral("Days in storage") << QStringLiteral("Storage charge")
          << QStringLiteral("Tax") << QStringLiteral("Grand total")
          << QStringLiteral("Figures note");
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
    SqliteReader db = SqliteReader::openReadOnly(databasePath);
    if (!db.isOpen())
        return failed(
            QStringLiteral("cannot open the database %1: %2").arg(databasePath, db.errorText()));
    const auto readFailure = [&db, &databasePath] {
        return failed(
            QStringLiteral("cannot read the database %1: %2").arg(databasePath, db.errorText()));
    };

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
        return readFailure();
    qint64 total = qint64(ids.size());
    if (selection.kind != ExportSelection::Kind::Records) {
        if (!db.prepare("SELECT count(*) FROM wrecker" + where,
                        byGroup ? &selection.group : nullptr) ||
            db.step() == SqliteReader::Step::Failed)
            return readFailure();
        total = db.integer(0);
    }
    if (!db.prepare("SELECT " + columns + " FROM wrecker" + where + " ORDER BY id",
                    byGroup ? &selection.group : nullptr))
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
    csv.endRow();

    qint64 written = 0;
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
            ChargeFigures::compute(record, rules, options.today, options.locale);
        for (const QString &cell : figureCells(figures))
            csv.add(cell, CsvWriter::Cell::Number);
        csv.add(figures.note);
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
