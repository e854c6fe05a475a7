// A report over a large yard read in parts at once: the parts are handed out one at a time to
// this thread and to a few helpers, each helper reading through a copy of the connection of
// its own, so that a report waits about as long as its largest share rather than the sum.
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "ReportQueries.h"

namespace tarnvale {

// How a report reads a yard: its vehicles a run of at most `idsPerPart` ids at a time, on at
// most `readers` readers at once (0: as many as ReadingInParts::defaultReaders()).
struct YardReading
{
    qint64 idsPerPart = 65536;
    int readers = 0;
};

class ReadingInParts
{
  public:
    // Reads one part through `queries`; `reader` says which reader it runs on (0 is the
    // calling thread), for state kept per reader. False when reading failed (queries'
    // lastError() says why).
    using Part = std::function<bool(ReportQueries &queries, int part, int reader)>;

    // Reads parts 0 ... parts - 1, each once, on at most `readers` readers; fewer when the
    // database cannot be read through a copy (one held in memory) or a helper's copy cannot
    // be opened: the readers left read its share. After the first failure no part starts and
    // its error becomes `queries`' error. False on a failure or when `cancel` was set.
    static bool read(ReportQueries &queries, int parts, int readers, const Part &part,
                     const std::atomic<bool> *cancel = nullptr);

    // The readers a report uses by default: the machine's cores, at most four.
    static int defaultReaders();

    // The runs of ids that `ids` is read in, `reading.idsPerPart` at a time (none when empty).
    static std::vector<ReportQueries::IdRange> runsOf(const ReportQueries::IdRange &ids,
                                                      const YardReading &reading);
    // The readers to read `runs` runs on: one for a single run.
    static int readersFor(size_t runs, const YardReading &reading);
};

} // namespace tarnvale
