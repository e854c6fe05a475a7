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

std::vector<ReportQueries::IdRange> ReadingInParts::runsOf(const ReportQueries::IdRange &ids,
                                                           const YardReading &reading)
{
    // Counted from the first id, unsigned: numbers far apart (a file's ids are whatever it
    // holds) neither overflow nor make more runs than are worth a statement each.
    constexpr quint64 kMostRuns = 256;
    std::vector<ReportQueries::IdRange> runs;
    if (ids.isEmpty())
        return runs;
    const quint64 span = quint64(ids.last) - quint64(ids.first);
    const quint64 perRun =
        std::max(quint64(std::max<qint64>(reading.idsPerPart, 1)), span / kMostRuns + 1);
    for (quint64 offset = 0;; offset += perRun) {
        const quint64 lastOffset = perRun - 1 >= span - offset ? span : offset + perRun - 1;
        runs.push_back({qint64(quint64(ids.first) + offset), qint64(quint64(ids.first) + lastOffset)});
        if (lastOffset == span)
            return runs;
    }
}

int ReadingInParts::readersFor(size_t runs, const YardReading &reading)
{
    if (runs <= 1)
        return 1;
    return reading.readers > 0 ? reading.readers : defaultReaders();
}

} // namespace tarnvale
