// A failure of the record store: a number and a description, as the user will see it.
#pragma once

#include <QString>

class QSqlError;

namespace tarnvale {

struct DbError
{
    static constexpr int kNoCurrentRow = 3021;
    static constexpr int kDuplicateKey = 3022;
    static constexpr int kChangedElsewhere = 3197; // the record was saved elsewhere since read
    static constexpr int kGroupGone = 3201;        // the record's group no longer exists
    static constexpr int kBlankName = 3315; // a group name that is empty or only blanks
    static constexpr int kNotOpen = 3420;   // no database is open
    static constexpr int kReadOnly = 3027;  // the database is open read-only
    static constexpr int kConnectionLost = 3151; // the server's connection ended
    static constexpr int kBusy = 3260; // another program held the write lock past the wait
    static constexpr int kFileNotFound = 3024; // no database file at the path
    static constexpr int kInvalidPath = 3044;  // a path or server address that cannot be used
    static constexpr int kDamaged = 3049;      // the file is damaged (empty)
    static constexpr int kCannotOpen = 3051;   // the database could not be opened
    static constexpr int kNewerSchema = 3343;  // made by a newer version of the program

    int number = 0; // 0: no error
    QString description = {}; // the engine's own text, shown to the user unchanged
    QString doing = {};  // what the store was doing ("adding a group"), for diagnostics

    bool isError() const { return number != 0; }

    // The engine's failure as the user sees it: 3022 for a duplicate key, otherwise the
    // engine's own number (1 when it gives none) and text.
    static DbError fromSql(const QSqlError &error, const QString &doing = {});
    // Why the database file could not be opened: "Permission denied" and what to do when this
    // user may not read it (the engine says only "unable to open database file"), that its
    // disk is full (less than kFullDiskBytes free) or could not be read or written, and what
    // to do; otherwise the engine's text.
    static QString openFailure(const QString &path, const QString &engineText);
    static constexpr qint64 kFullDiskBytes = 1024 * 1024;
    friend bool operator==(const DbError &, const DbError &) = default;
};

} // namespace tarnvale
