#include "SearchRunner.h"

#include <QMutex>
#include <QThread>

#include <algorithm>
#include <utility>

#include "RecordStore.h"
#include "StoreConnection.h"

namespace tarnvale {

// What a scan shares with the window's thread: its stop flag and the rows found that wait.
struct SearchRunner::Scan
{
    std::atomic<bool> cancel{false};
    QMutex mutex;
    QList<FindResult> rows; // found, not yet handed on
    bool posted = false;    // a delivery is on its way to the window's thread
};

SearchRunner::SearchRunner(RecordStore &store, QObject *parent) : QObject(parent), m_store(store)
{
    qRegisterMetaType<QList<FindResult>>();
    m_pending.setSingleShot(true);
    connect(&m_pending, &QTimer::timeout, this, [this] {
        if (m_scan)
            deliver(m_scan);
    });
}

SearchRunner::~SearchRunner()
{
    for (auto &[scan, thread] : m_threads)
        scan->cancel = true;
    for (auto &[scan, thread] : m_threads)
        thread->wait();
}

void SearchRunner::start(const FindRequest &request)
{
    if (m_scan)
        m_scan->cancel = true;
    m_pending.stop();
    m_lastSent.invalidate();
    auto scan = std::make_shared<Scan>();
    m_scan = scan;
    // Only the name crosses threads: the worker clones the connection in its own thread.
    const QString source = m_store.isOpen() ? m_store.database().connectionName() : QString();
    std::unique_ptr<QThread> thread(
        QThread::create([this, scan, source, request] { work(scan, source, request); }));
    thread->start();
    m_threads.emplace_back(scan, std::move(thread));
}

void SearchRunner::cancel()
{
    if (!m_scan)
        return;
    m_scan->cancel = true;
    m_scan.reset();
    m_pending.stop();
    Q_EMIT finished(false, 0, QString());
}

void SearchRunner::work(const std::shared_ptr<Scan> &scan, const QString &sourceConnection,
                        const FindRequest &request)
{
    RecordSearch::Outcome outcome = RecordSearch::Outcome::Failed;
    DbError error{DbError::kNotOpen, QStringLiteral("The database is not open.")};
    if (!sourceConnection.isEmpty()) {
        const auto failure =
            StoreConnection::useReadingCopy(sourceConnection, [&](QSqlDatabase &db) {
                RecordSearch::Options options;
                options.reader = m_reader;
                options.batchSize = 1; // the window decides how rows are grouped
                options.idsOnly = true;  // and reads the texts of those it shows
                options.cancel = &scan->cancel;
                outcome = RecordSearch::run(
                    db, request,
                    [this, scan](QList<FindResult> &&rows) {
                        const QMutexLocker lock(&scan->mutex);
                        scan->rows.append(std::move(rows));
                        if (!std::exchange(scan->posted, true))
                            QMetaObject::invokeMethod(
                                this, [this, scan] { deliver(scan); }, Qt::QueuedConnection);
                    },
                    &error, options);
            });
        if (failure)
            error = DbError{DbError::kCannotOpen, failure->reason};
    }
    QMetaObject::invokeMethod(
        this, [this, scan, outcome, error] { conclude(scan, outcome, error); },
        Qt::QueuedConnection);
}

void SearchRunner::deliver(const std::shared_ptr<Scan> &scan)
{
    if (scan != m_scan)
        return;
    // The first rows go at once; later ones wait until the interval since the last is over.
    if (m_lastSent.isValid() && m_lastSent.elapsed() < m_interval) {
        if (!m_pending.isActive())
            m_pending.start(int(m_interval - m_lastSent.elapsed()));
        return;
    }
    QList<FindResult> rows;
    {
        const QMutexLocker lock(&scan->mutex);
        rows.swap(scan->rows);
        scan->posted = false;
    }
    m_lastSent.start();
    if (!rows.isEmpty())
        Q_EMIT rowsFound(rows);
}

void SearchRunner::conclude(const std::shared_ptr<Scan> &scan, RecordSearch::Outcome outcome,
                            const DbError &error)
{
    const auto at = std::find_if(m_threads.begin(), m_threads.end(),
                                 [&scan](const auto &entry) { return entry.first == scan; });
    if (at != m_threads.end()) {
        at->second->wait();
        m_threads.erase(at);
    }
    if (scan != m_scan)
        return;
    m_pending.stop();
    m_lastSent.invalidate();
    deliver(scan); // what still waits
    if (scan != m_scan)
        return; // the rows' receiver ended or replaced the search
    m_scan.reset();
    const bool completed = outcome == RecordSearch::Outcome::Done;
    const bool failed = outcome == RecordSearch::Outcome::Failed;
    Q_EMIT finished(completed, failed ? error.number : 0, failed ? error.description : QString());
}

} // namespace tarnvale
