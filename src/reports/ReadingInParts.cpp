#include "ReadingInParts.h"

#include <QThread>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "RecordStore.h"
#include "ReportQueries.h"

namespace tarnvale {

bool ReadingInParts::read(ReportQueries &queries, int parts, int readers, const Part &part,
                          const std::atomic<bool> *cancel)
{
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    std::mutex failing;
    DbError firstError;
    const auto work = [&](ReportQueries &through, int reader) {
        while (!failed.load() && !(cancel && cancel->load())) {
            const int at = next.fetch_add(1);
            if (at >= parts)
                return;
            if (!part(through, at, reader)) {
                const std::lock_guard<std::mutex> lock(failing);
                if (!failed.exchange(true))
                    firstError = through.lastError();
            }
        }
    };

    const QString source = queries.readingCopySource();
    const int helpers = source.isEmpty() ? 0 : std::max(std::min(readers, parts) - 1, 0);
    std::vector<std::unique_ptr<QThread>> threads;
    for (int reader = 1; reader <= helpers; ++reader) {
        threads.emplace_back(QThread::create([&, reader] {
            RecordStore copy;
            if (!copy.openReadingCopy(source))
                return;
            ReportQueries through(copy);
            work(through, reader);
        }));
        threads.back()->start();
    }
    work(queries, 0);
    for (const auto &thread : threads)
        thread->wait();
    if (failed.load()) {
        queries.setError(firstError);
        return false;
    }
    return !(cancel && cancel->load());
}

int ReadingInParts::defaultReaders()
{
    return std::clamp(QThread::idealThreadCount(), 1, 4);
}

} // namespace tarnvale
