// The rows the Reports window is figured from, read straight from either engine (SQLite's own
// interface or libpq) so that a yard of a million vehicles is read in one pass per report.
// Every statement is written once, for both engines; a cancel flag stops a long read.
#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QList>

#include <atomic>
#include <functional>
#include <optional>

#include "DbError.h"

namespace tarnvale {

class RecordStore;

// One row of a report statement: its cells as UTF-8, valid only during the visit.
struct ReportRow
{
    static constexpr int kMaxColumns = 17;
    QByteArrayView cells[kMaxColumns];
    bool isNull(int column) const { return cells[column].data() == nullptr; }
    qint64 integer(int column) const { return cells[column].toLongLong(); }
};

class ReportQueries
{
  public:
    explicit ReportQueries(RecordStore &store) : m_store(store) {}

    // Every vehicle the yard may still hold: those whose release date is blank, and those
    // whose kept status is neither released, sold nor disposed. Columns: 0 group, 1 tow date,
    // 2 tow fee, 3 kept status (NULL when none), 4 release date blank (1) or not (0),
    // 5 agency of the standing hold of a vehicle kept as on hold (NULL otherwise), 6 id;
    // 7 hookup and 8 release date, given with `priced` (which the pricing of a vehicle
    // needs) and always for a vehicle whose release date is not blank (blank otherwise).
    bool yardVehicles(const std::function<void(const ReportRow &)> &visit,
                      const std::atomic<bool> *cancel = nullptr, bool priced = false);

    // Vehicle ids from `first` to `last`, both included.
    struct IdRange
    {
        qint64 first = 0;
        qint64 last = -1;
        bool isEmpty() const { return last < first; }
    };
    // The lowest and highest vehicle id (an empty range when there is no vehicle); nullopt
    // when they cannot be read.
    std::optional<IdRange> vehicleIds();
    // yardVehicles() in two halves that add up to it, for reading a yard in parts at once:
    // the vehicles whose release date is blank, with ids in `ids`, and the few whose release
    // date is typed and whose kept status keeps them in the yard.
    bool yardVehiclesReleaseBlank(const IdRange &ids,
                                  const std::function<void(const ReportRow &)> &visit,
                                  const std::atomic<bool> *cancel = nullptr, bool priced = false);
    bool yardVehiclesReleaseTyped(const std::function<void(const ReportRow &)> &visit,
                                  const std::atomic<bool> *cancel = nullptr);
    // The name of a connection to open reading copies of (RecordStore::openReadingCopy) that
    // see what this one sees; empty when a copy would not (a database held in memory).
    QString readingCopySource() const;

    // Every payment (a refund below zero), for adding up by vehicle: its vehicle's id and
    // its cents.
    bool payments(const std::function<void(qint64 vehicle, qint64 cents)> &visit,
                  const std::atomic<bool> *cancel = nullptr);

    // The payments and refunds taken from `from` to `to` (both included), summed by day,
    // method and sign. Columns: 0 day (ISO), 1 method, 2 refund (1) or payment (0),
    // 3 cents, 4 how many.
    bool paymentsByDay(const QDate &from, const QDate &to,
                       const std::function<void(const ReportRow &)> &visit,
                       const std::atomic<bool> *cancel = nullptr);

    // The vehicles that left the yard through a release kept from `from` to `to`, and every
    // vehicle kept as sold (its day is its release date, which only the caller can read).
    // Columns: 0 id, 1 kept status, 2 tow date, 3 release date, 4 tow fee, 5 released on
    // (ISO, NULL for a sale), 6 released to, 7 group, 8 ... 12 year, make, model, colour and
    // plate, 13 and 14 the kind and number of the ID shown at the release, 15 who took the
    // first payment (NULL when none); `priced` adds 16 hookup.
    bool departures(const QDate &from, const QDate &to,
                    const std::function<void(const ReportRow &)> &visit,
                    const std::atomic<bool> *cancel = nullptr, bool priced = false);

    // Whether the yard keeps a pricing plan or a bill kept at a release: until it does, every
    // vehicle is billed at the flat rate. nullopt when it cannot be read.
    std::optional<bool> pricingInUse();

    // The tow and release dates of every vehicle, or of those with ids `among`. Columns:
    // 0 tow date, 1 release date.
    bool towAndReleaseDates(const std::function<void(const ReportRow &)> &visit,
                            const std::atomic<bool> *cancel = nullptr,
                            const std::optional<IdRange> &among = std::nullopt);

    // Every lien step done. Columns: 0 vehicle id, 1 step name, 2 day done (ISO).
    bool stepsDone(const std::function<void(const ReportRow &)> &visit,
                   const std::atomic<bool> *cancel = nullptr);

    // The vehicles with these ids. Columns: 0 id, 1 ... 5 year, make, model, colour, plate.
    bool vehicles(const QList<qint64> &ids, const std::function<void(const ReportRow &)> &visit);

    // The bare aggregate a benchmark sets the yard report against: the vehicles with a blank
    // release date counted, with the largest of the group names, tow dates and fees the
    // report reads, in one SQL statement; answers the count.
    std::optional<qint64> bareYardAggregate();
    // The bare aggregate of the vehicle rows the lot and deadlines reports read in one
    // statement of theirs: the vehicles with a blank release date and ids in `run`, or
    // without a run those with a typed one, each with its kept status and hold agency,
    // counted with their columns' largest in SQL. Answers the count.
    std::optional<qint64> bareYardRowsAggregate(const std::optional<IdRange> &run);
    // The same over every vehicle's tow and release dates.
    std::optional<qint64> bareDatesAggregate();

    const DbError &lastError() const { return m_error; }
    // For what a report reads through the store otherwise: its error is the run's.
    RecordStore &store() { return m_store; }
    void setError(const DbError &error) { m_error = error; }

  private:
    // The vehicles of yardVehicles() whose release date is blank (among the ids given) or
    // typed.
    bool yardRows(bool releaseBlank, const std::optional<IdRange> &among, bool priced,
                  const std::function<void(const ReportRow &)> &visit,
                  const std::atomic<bool> *cancel);
    // Its statement; nullopt when what it depends on cannot be read.
    std::optional<QByteArray> yardRowsSql(bool releaseBlank, const std::optional<IdRange> &among,
                                          bool priced, const std::atomic<bool> *cancel);
    // Runs `sql` on either engine and hands `onRow` the reader at each row.
    template <typename OnRow>
    bool read(const QByteArray &sql, const QList<QByteArray> &binds,
              const std::atomic<bool> *cancel, const QString &doing, OnRow &&onRow);
    bool scan(const QByteArray &sql, int columns, const QList<QByteArray> &binds,
              const std::function<void(const ReportRow &)> &visit,
              const std::atomic<bool> *cancel, const QString &doing);

    RecordStore &m_store;
    DbError m_error;
};

} // namespace tarnvale
