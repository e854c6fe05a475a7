// tarnvale-pack's view of a database that programs may have open: a consistent snapshot taken
// through SQLite, and whether saves may still be in its write-ahead log only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnvale {

// Writes every page of the SQLite database at `path`, read in one read transaction (the saves
// in its -wal file included), into the empty file `snapshotPath`, as one file with a rollback
// journal, the form the backup window saves. Throws a CodecError of the input side when it
// cannot be read as a database.
void writeDatabaseSnapshot(const std::string &path, const std::string &snapshotPath);

// Whether "<path>-wal" is beside the file and not empty: saves may be in it and not in the file.
bool hasUnwrittenLog(const std::string &path);

} // namespace tarnvale
