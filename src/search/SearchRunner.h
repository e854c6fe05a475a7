// Runs one search at a time on a worker thread, over a connection of its own to the store's
// database file, so the window stays usable during a long scan. The rows arrive through
// rowsFound(), in table order: the first ones at once, then in batches at most interval()
// apart, so a long scan shows what it found as it goes. finished() closes the search that
// runs; a search replaced by another, or cancelled, sends nothing more.
#pragma once

#include "FindRequest.h"
#include "RecordSearch.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

class QThread;

namespace tarnvale {

class RecordStore;

class SearchRunner : public QObject
{
    Q_OBJECT

  public:
    explicit SearchRunner(RecordStore &store, QObject *parent = nullptr);
    // Stops every scan and waits for their threads.
    ~SearchRunner() override;

    // Starts a search. One still running is dropped first: its scan stops at its next row
    // and nothing more of it arrives.
    void start(const FindRequest &request);
    bool isRunning() const { return m_scan != nullptr; }
    // Ends the running search at once: finished() with completed = false comes now, and its
    // scan stops at its next row (or inside a long step of the engine).
    void cancel();

    void setReader(RecordSearch::Reader reader) { m_reader = reader; }
    // The longest time found rows wait before they are handed on, in milliseconds.
    void setInterval(int ms) { m_interval = ms; }
    int interval() const { return m_interval; }

  Q_SIGNALS:
    void rowsFound(const QList<tarnvale::FindResult> &rows);
    // completed: the scan reached the end of the table. errorNumber 0 unless it failed.
    void finished(bool completed, int errorNumber, const QString &errorDescription);

  private:
    struct Scan;
    void work(const std::shared_ptr<Scan> &scan, const QString &sourceConnection,
              const FindRequest &request);
    void deliver(const std::shared_ptr<Scan> &scan);
    void conclude(const std::shared_ptr<Scan> &scan, RecordSearch::Outcome outcome,
                  const DbError &error);

    RecordStore &m_store;
    std::shared_ptr<Scan> m_scan; // the search that runs
    std::vector<std::pair<std::shared_ptr<Scan>, std::unique_ptr<QThread>>> m_threads;
    QTimer m_pending;         // hands on the rows that wait, once the interval is over
    QElapsedTimer m_lastSent; // since rows were last handed on; invalid before the first
    int m_interval = 30;
    RecordSearch::Reader m_reader = RecordSearch::Reader::Native;
};

} // namespace tarnvale
