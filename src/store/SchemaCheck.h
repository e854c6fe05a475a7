// The schema objects this program creates, and the check that a database file holds nothing
// else.
//
// A database file the program did not just create is untrusted: a trigger or a view in it runs
// with the program's rights whenever the program reads or writes the tables. Every connection is
// therefore hardened (SQLite's defensive mode, trusted_schema off), and a file is written to only
// when every object in its schema is one of this program's own, by name and by definition.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

#include "TowRecord.h"

namespace tarnvale {

class SchemaCheck
{
public:
    // The schema version the program writes (PRAGMA user_version).
    static constexpr int kVersion = 9;

    // The statements that create the current schema, in order (without the user_version).
    // The search index is left out when the engine has no FTS5.
    static QStringList createStatements(bool withSearchIndex = true);
    // The statements of the first schema the program wrote (version 1).
    static QStringList firstVersionStatements();
    // The statements of the step that raises a schema of version - 1 to version, in order;
    // empty for a version with no plain step (version 3, the search index, is made by the
    // store, which fills it and can make it again).
    static QStringList stepStatements(int version);

    // The search index over the fields "<All>" compares: an FTS5 trigram table holding no copy
    // of the text, kept in step with table wrecker by three triggers. It holds each field with
    // the two characters that Qt lower-cases to ASCII (U+0130, U+212A) put as their ASCII
    // capitals, so that an ASCII search text finds every record the match rules find.
    static const QStringList &searchIndexColumns();
    // The condition (in SQLite's words) that a record's release date may be blank: true for
    // every one QString::trimmed() leaves empty. An index holds the records it is true of.
    static QString blankRelease();
    static QStringList searchIndexStatements();
    // The index's table and triggers in a layout: 1 the ten fields alone (files made before
    // the quick search), 2 the layout made now.
    static QStringList searchIndexStatements(int layout);
    // Fills the index from table wrecker for the ids in [first, last].
    static QString searchIndexFill();
    // The index's form of a search text (the same two characters put as ASCII).
    static QString searchIndexForm(const QString &text);

    // The quick search's columns of the index, after the ten: "quickkeys", the key form of
    // the plate, VIN and phone (quickKeyFields) joined by blanks, and "quicktext", the
    // quickTextFields in the index's form, one to a line.
    static const QStringList &quickSearchColumns();
    static QList<TowField> quickKeyFields();
    static QList<TowField> quickTextFields();
    // The key form of a plate, VIN or phone number: without blanks, tabs and the characters
    // - ( ) . , / _ # + :, with ASCII letters in capitals ("abc-12 34" -> "ABC1234"), so that
    // a number typed without its separators finds it.
    static QString quickKeyForm(QStringView text);
    static QStringView quickKeySeparators();
    // The key form of a column in SQL, the engine's function for a character by its code
    // given ("char" in SQLite, "chr" in PostgreSQL).
    static QString quickKeyFormSql(const QString &column, const QString &charFunction);

    // Whether the index's table and every trigger of it are in the schema, in the layout made
    // now; whether the engine has FTS5.
    static bool hasSearchIndex(const QSqlDatabase &db);
    static bool engineHasFts5(const QSqlDatabase &db);

    // Writing: the program's own database. Inspecting: a file that is only read (a backup
    // being checked, a database that holds foreign objects); its triggers and views are off.
    enum class Use { Writing, Inspecting };
    // Defensive mode and trusted_schema off on an open SQLite connection. False, with the
    // reason, when they cannot be set; a connection that is not SQLite cannot be hardened.
    static bool harden(const QSqlDatabase &db, Use use, QString *error = nullptr);

    // Every object of the main schema that this program does not create, named for a person
    // ("trigger \"wipe\" on groups", "table \"wrecker\" (not as this program creates it)").
    // Empty when the schema holds only the program's own objects (some may be missing: that
    // is the table check's business). nullopt, with the engine's reason, when the schema
    // cannot be read.
    static std::optional<QStringList> foreignObjects(const QSqlDatabase &db,
                                                     QString *error = nullptr);

    // The objects for a message: the first few, then how many more.
    static QString describe(const QStringList &objects);
};

} // namespace tarnvale
