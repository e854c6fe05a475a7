// Runs one search at a time on a worker thread, over a connection of its own to the store's
// database file, so the window stays usable during a long scan. Results arrive in batches,
// in table order, through rowsFound(); finished() closes every search that started.
#pragma once

#include "FindRequest.h"
#include "RecordSearch.h"

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QThread;

namespace tarnvale {

class RecordStore;

class SearchRunner : public QObject
{
    Q_OBJECT

  public:
    explicit SearchRunner(RecordStore &store, QObject *parent = nullptr);
    // Cancels a running search and waits for its thread.
    ~SearchRunner() override;

    // Starts a search; false (and nothing happens) while one is still running.
    bool start(const FindRequest &request);
    bool isRunning() const { return m_running; }
    // Asks the running search to stop; finished() follows with completed = false.
    void cancel();

    void setBatchSize(int rows) { m_batchSize = rows; }
    void setReader(RecordSearch::Reader reader) { m_reader = reader; }

  Q_SIGNALS:
    void rowsFound(const QList<tarnvale::FindResult> &rows);
    // completed: the scan reached the end of the table. errorNumber 0 unless it failed.
    void finished(bool completed, int errorNumber, const QString &errorDescription);

  private:
    void work(const QString &sourceConnection, const FindRequest &request, int generation);
    void deliver(int generation, const QList<FindResult> &rows);
    void conclude(int generation, RecordSearch::Outcome outcome, const DbError &error);

    RecordStore &m_store;
    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_cancel{false};
    bool m_running = false;
    int m_generation = 0;
    int m_batchSize = 512;
    RecordSearch::Reader m_reader = RecordSearch::Reader::Native;
};

} // namespace tarnvale
