// The pricing tables read whole into a PricingBook, in a row reader of one read-only
// snapshot: SqliteReader on a file, QtSqlRows on a server (the CSV export's readers). A
// database from before pricing plans has no such tables and gives an empty book.
#pragma once

#include "PricingStore.h"

namespace tarnvale {

class SqlDialect;

struct PricingBookRead
{
    // False when a statement failed; the reader then holds the error.
    template <class Reader>
    static bool read(Reader &db, const SqlDialect &dialect, PricingBook &book);
};

} // namespace tarnvale
