// Runs one export at a time on a worker thread, so that a window can show its progress and
// offer to cancel it. progress() and finished() arrive on the runner's own thread.
#pragma once

#include "RecordExport.h"
#include "SettingsFile.h"

#include <QObject>

#include <atomic>
#include <memory>

class QThread;

namespace tarnvale {

class ExportRunner : public QObject
{
    Q_OBJECT

public:
    explicit ExportRunner(QObject *parent = nullptr);
    // Cancels a running export and waits for its thread.
    ~ExportRunner() override;

    // Starts an export; false (and nothing happens) while one is still running.
    bool start(const QString &databasePath, const ExportSelection &selection,
               const SettingsFile &settings, const QString &outPath,
               const RecordExport::Options &options = {});
    bool isRunning() const { return m_running; }
    // Asks the running export to stop; finished() follows with Outcome::Cancelled and the
    // destination left as it was.
    void cancel();

Q_SIGNALS:
    void progress(qint64 done, qint64 total);
    void finished(const tarnvale::RecordExport::Result &result);

private:
    void conclude(const RecordExport::Result &result);

    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_cancel{false};
    bool m_running = false;
};

} // namespace tarnvale
