#include "ReportRunner.h"

#include <QThread>

#include "RecordStore.h"
#include "ReportQueries.h"

namespace tarnvale {

ReportRunner::ReportRunner(RecordStore &store, QObject *parent) : QObject(parent), m_store(store)
{
}

ReportRunner::~ReportRunner()
{
    for (auto &[run, thread] : m_threads) {
        run->cancel = true;
        thread->wait();
    }
}

void ReportRunner::start(const Build &build)
{
    cancel();
    auto run = std::make_shared<Run>();
    m_run = run;
    // Only the connection's name crosses threads: the worker opens its own copy of it.
    const QString source = m_store.isOpen() ? m_store.database().connectionName() : QString();
    std::unique_ptr<QThread> thread(QThread::create([this, run, source, build] {
        std::optional<Report> report;
        DbError error{DbError::kNotOpen, QStringLiteral("The database is not open.")};
        if (!source.isEmpty()) {
            RecordStore copy;
            if (copy.openReadingCopy(source)) {
                ReportQueries queries(copy);
                report = build(queries, &run->cancel);
                error = queries.lastError();
            } else {
                error = copy.lastError();
            }
        }
        QMetaObject::invokeMethod(
            this, [this, run, report, error] { conclude(run, report, error); },
            Qt::QueuedConnection);
    }));
    thread->start();
    m_threads.emplace_back(run, std::move(thread));
}

void ReportRunner::cancel()
{
    if (m_run)
        m_run->cancel = true;
    m_run.reset();
}

void ReportRunner::conclude(const std::shared_ptr<Run> &run, const std::optional<Report> &report,
                            const DbError &error)
{
    for (auto at = m_threads.begin(); at != m_threads.end(); ++at)
        if (at->first == run) {
            at->second->wait();
            m_threads.erase(at);
            break;
        }
    if (run != m_run)
        return;
    m_run.reset();
    Q_EMIT finished(report, error);
}

} // namespace tarnvale
