// The CSV export of tow records: one row per vehicle with every stored field, then the days in
// storage, storage charge, tax and grand total that the charge rules give as of one day.
//
// The file is UTF-8 with a header row (CsvWriter's rules). It is written to a temporary file
// beside the destination and renamed over it only when every row is written, so a failed or
// cancelled export leaves the destination as it was.
#pragma once

#include <QDate>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace tarnvale {

class CsvWriter;
class SettingsFile;
class SqlDialect;
struct ChargeFigures;
struct TowRecord;

// Which vehicles an export holds; they are written in table order (ascending id).
struct ExportSelection
{
    enum class Kind { All, Group, Records };
    Kind kind = Kind::All;
    QString group;     // Group: the groupname, matched exactly
    QList<qint64> ids; // Records: the ids (those no record has are skipped)

    static ExportSelection all() { return {}; }
    static ExportSelection ofGroup(const QString &name) { return {Kind::Group, name, {}}; }
    static ExportSelection ofRecords(const QList<qint64> &ids) { return {Kind::Records, {}, ids}; }
};

class RecordExport
{
public:
    enum class Outcome { Done, Cancelled, Failed };
    struct Options
    {
        QDate today = QDate::currentDate(); // "today" for days in storage of unreleased vehicles
        QLocale locale;                     // reads the stored dates and numbers
        const std::atomic<bool> *cancel = nullptr; // looked at between rows
        // Called every few hundred rows and once at the end with the rows written so far
        // and the rows the selection holds.
        std::function<void(qint64 done, qint64 total)> progress;
    };
    struct Result
    {
        Outcome outcome = Outcome::Failed;
        qint64 rows = 0; // vehicles written
        QString error;   // Failed: what went wrong, naming the file
    };

    // The header: "id", the stored fields by their names, the computed figures, the note
    // that says why a figure is 0 when the record alone would not make it so, then the
    // vehicle's status, its balance due (the grand total less the payments taken) and the
    // day of its next lien step not done (empty once it has left the yard).
    static QStringList columnNames();
    // The computed cells of one vehicle: days, storage charge, tax and grand total; money
    // with two decimals and "." ("1234.50"); tax and grand total are empty when there is no
    // usable tow fee (not an amount, or below zero), since no sum can be formed.
    static QStringList figureCells(const ChargeFigures &figures);

    // Exports the selection from the database file (opened read-only, never changed), or from
    // the server a PostgreSQL URI names (one read-only snapshot), into outPath. The settings
    // are read once at the start.
    static Result write(const QString &databasePath, const ExportSelection &selection,
                        const SettingsFile &settings, const QString &outPath,
                        const Options &options);

private:
    static Result writeFromServer(const QString &uri, const ExportSelection &selection,
                                  const SettingsFile &rules, const QString &outPath,
                                  const Options &options);
    template <class Reader>
    static Result writeRows(Reader &db, const SqlDialect &dialect, const QString &databasePath,
                            const ExportSelection &selection, const SettingsFile &rules,
                            const QString &outPath, const Options &options);
};

} // namespace tarnvale
