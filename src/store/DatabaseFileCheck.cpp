#include "DatabaseFileCheck.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <QVariant>

#include "SchemaCheck.h"
#include "StoreConnection.h"

namespace tarnvale {

namespace {

const QStringList kTables = {QStringLiteral("groups"), QStringLiteral("wrecker"),
                             QStringLiteral("reminders"), QStringLiteral("lb_type")};

QString checkOpenDatabase(QSqlDatabase &db)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT lower(name) FROM sqlite_master WHERE type = 'table'")))
        return QStringLiteral("The file is not a database.");
    QStringList tables;
    while (query.next())
        tables << query.value(0).toString();
    for (const QString &table : kTables)
        if (!tables.contains(table))
            return QStringLiteral("The database has no table %1.").arg(table);
    // Only what this program creates: a trigger or a view would run on the next change.
    QString reason;
    const std::optional<QStringList> foreign = SchemaCheck::foreignObjects(db, &reason);
    if (!foreign)
        return QStringLiteral("The database's schema cannot be read: ") + reason;
    if (!foreign->isEmpty())
        return QStringLiteral("The database holds objects this program does not create: ")
               + SchemaCheck::describe(*foreign) + u'.';
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return QStringLiteral("The database could not be checked.");
    const int version = query.value(0).toInt();
    if (version > SchemaCheck::kVersion)
        return QStringLiteral("The database was made by a newer version of the program "
                              "(schema version %1).").arg(version);
    // The tables and columns of every step the file says it has taken: the next step and
    // every statement of the program build on them.
    static const QRegularExpression made(QStringLiteral("^CREATE TABLE (?:IF NOT EXISTS )?(\\w+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression added(QStringLiteral("^ALTER TABLE (\\w+) ADD COLUMN (\\w+)"),
                                          QRegularExpression::CaseInsensitiveOption);
    for (int step = 2; step <= version; ++step)
        for (const QString &sql : SchemaCheck::stepStatements(step)) {
            if (const QRegularExpressionMatch table = made.match(sql);
                table.hasMatch() && !tables.contains(table.captured(1).toLower()))
                return QStringLiteral("The database says it has schema version %1 but has no "
                                      "table %2. Restore another backup.")
                    .arg(version)
                    .arg(table.captured(1));
            const QRegularExpressionMatch column = added.match(sql);
            if (!column.hasMatch())
                continue;
            if (!query.prepare(QStringLiteral("SELECT count(*) FROM pragma_table_info(?) "
                                              "WHERE lower(name) = lower(?)")))
                return QStringLiteral("The database could not be checked.");
            query.addBindValue(column.captured(1));
            query.addBindValue(column.captured(2));
            if (!query.exec() || !query.next())
                return QStringLiteral("The database could not be checked.");
            if (query.value(0).toInt() == 0)
                return QStringLiteral("The database says it has schema version %1 but its table "
                                      "%2 has no column %3. Restore another backup.")
                    .arg(version)
                    .arg(column.captured(1), column.captured(2));
        }
    if (!query.exec(QStringLiteral("PRAGMA integrity_check")) || !query.next())
        return QStringLiteral("The database could not be checked.");
    const QString verdict = query.value(0).toString();
    // SQLite lists up to a hundred problems, in rows and lines, under "*** in database main
    // ***": the first says enough.
    QStringList problems;
    do
        problems << query.value(0).toString().split(u'\n', Qt::SkipEmptyParts);
    while (query.next());
    problems.removeIf([](const QString &line) { return line.startsWith(QLatin1String("***")); });
    if (verdict != QLatin1String("ok"))
        return QStringLiteral("The database is damaged: ") + problems.value(0).trimmed()
               + (problems.size() > 1
                      ? QStringLiteral(" (and %1 more problems)").arg(problems.size() - 1)
                      : QString())
               + QStringLiteral(". Restore another backup.");
    return {};
}

} // namespace

QString DatabaseFileCheck::problem(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("The unpacked file cannot be read: ") + file.errorString();
    const QByteArray header = file.read(100);
    if (!header.startsWith(QByteArray("SQLite format 3", 16)))
        return QStringLiteral("The file is not a database.");
    file.close();
    // The text encoding (bytes 56 to 59, 1 for UTF-8): the store works in UTF-8 and cannot
    // open a file in another, or one whose header says none.
    if (header.size() < 60 || header.mid(56, 4) != QByteArray("\0\0\0\1", 4))
        return QStringLiteral("The database is not in UTF-8, the text encoding this program "
                              "writes. Restore another backup.");

    // The file format's write and read versions (bytes 18 and 19 of the 60 read at least): 1
    // for a rollback journal, 2 for WAL. SQLite opens a file with a higher write version
    // read-only, so that nothing could be saved into it, and one with a higher read version
    // not at all.
    for (const int at : {18, 19})
        if (header.at(at) < 1 || header.at(at) > 2)
            return QStringLiteral("The database's header marks a file format this program "
                                  "cannot write to. Restore another backup.");

    const QString connection = QStringLiteral("tarnvale-restore-check-")
                               + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString verdict;
    {
        const auto failure =
            StoreConnection::openFile(connection, path, StoreConnection::Access::ReadOnly);
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        if (failure)
            verdict = failure->atOpen ? QStringLiteral("The file is not a database.")
                                      : failure->reason;
        else
            verdict = checkOpenDatabase(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    // A read-only look at a database in WAL mode leaves SQLite's -wal and -shm files beside
    // it, empty of changes: they go, so that only the file itself is kept or removed.
    for (const char *suffix : {"-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
    return verdict;
}

} // namespace tarnvale
