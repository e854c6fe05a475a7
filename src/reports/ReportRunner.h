// Figures one report at a time on a worker thread with a connection of its own, so that a
// window stays live and can offer to cancel a long one. finished() arrives on the runner's
// thread; a report cancelled or replaced by a newer one never arrives.
#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "DbError.h"
#include "Report.h"

class QThread;

namespace tarnvale {

class RecordStore;
class ReportQueries;

class ReportRunner : public QObject
{
    Q_OBJECT

  public:
    // Reads through the queries given, stops soon once the flag is set; nullopt when reading
    // failed (the queries' lastError() says why) or was cancelled.
    using Build =
        std::function<std::optional<Report>(ReportQueries &, const std::atomic<bool> *cancel)>;

    explicit ReportRunner(RecordStore &store, QObject *parent = nullptr);
    // Cancels what runs and waits for its thread.
    ~ReportRunner() override;

    // Starts figuring a report, cancelling the one that runs.
    void start(const Build &build);
    // Stops the report that runs: nothing more arrives of it.
    void cancel();
    // Whether a report is awaited.
    bool isRunning() const { return m_run != nullptr; }
    // Whether any thread, awaited or cancelled, has yet to end.
    bool isBusy() const { return !m_threads.empty(); }

  Q_SIGNALS:
    // The report, or nullopt with what went wrong.
    void finished(const std::optional<tarnvale::Report> &report, const tarnvale::DbError &error);

  private:
    struct Run
    {
        std::atomic<bool> cancel{false};
    };
    void conclude(const std::shared_ptr<Run> &run, const std::optional<Report> &report,
                  const DbError &error);

    RecordStore &m_store;
    std::shared_ptr<Run> m_run; // the one whose report is awaited
    std::vector<std::pair<std::shared_ptr<Run>, std::unique_ptr<QThread>>> m_threads;
};

} // namespace tarnvale
