#include "SchemaCheck.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

#include "SqliteHandle.h"
#include "StoreConnection.h"
#include "TowRecord.h"

namespace tarnvale {

namespace {

struct OwnObject
{
    QString type;
    QString name;
    QString table;
    QString sql; // as SQLite keeps it in sqlite_master
    bool engineMade = false; // made by SQLite with another object, never by a statement of ours
    // The search index's objects: 1 in its first layout (the ten fields alone), kept so that a
    // file still holding it is known and its index made again; 2 in the layout made now.
    int indexLayout = 0;

    bool operator==(const OwnObject &) const = default;
};

QString indexForm(const QString &value)
{
    return QStringLiteral("replace(replace(%1, char(304), 'I'), char(8490), 'K')").arg(value);
}

// The key form of a field (see SchemaCheck::quickKeyForm), in SQLite's words.
QString keyForm(const QString &value)
{
    return SchemaCheck::quickKeyFormSql(value, QStringLiteral("char"));
}

// The fields the quick search also compares as typed, one to a line of its index column.
constexpr TowField kQuickTextFields[] = {TowField::vehnotes, TowField::towedfrom,
                                         TowField::towedto, TowField::reason, TowField::other};
constexpr TowField kQuickKeyFields[] = {TowField::vehtag, TowField::vehvin, TowField::custphone};

int layoutColumns(int layout)
{
    return int(SchemaCheck::searchIndexColumns().size()) + (layout >= 2 ? 2 : 0);
}

QString columnList(int layout)
{
    return (SchemaCheck::searchIndexColumns() + SchemaCheck::quickSearchColumns())
        .mid(0, layoutColumns(layout))
        .join(QLatin1String(", "));
}

QString indexed(const QString &prefix, int layout = 2)
{
    QStringList values;
    for (const QString &column : SchemaCheck::searchIndexColumns())
        values << indexForm(prefix + u'.' + column);
    if (layout >= 2) {
        QStringList keys, texts;
        for (TowField field : kQuickKeyFields)
            keys << keyForm(prefix + u'.' + TowRecord::fieldName(field));
        for (TowField field : kQuickTextFields)
            texts << QStringLiteral("coalesce(%1.%2, '')").arg(prefix, TowRecord::fieldName(field));
        values << keys.join(QLatin1String(" || ' ' || "))
               << indexForm(texts.join(QLatin1String(" || char(10) || ")));
    }
    return values.join(QLatin1String(", "));
}

QString triggerStatement(const QString &name, const QString &event, const QString &body)
{
    return QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON wrecker BEGIN %3; END")
        .arg(name, event, body);
}

QString deleteFromIndex(int layout)
{
    return QStringLiteral(
               "INSERT INTO wrecker_fts(wrecker_fts, rowid, %1) VALUES ('delete', old.id, %2)")
        .arg(columnList(layout), indexed("old", layout));
}

QString insertIntoIndex(int layout)
{
    return QStringLiteral("INSERT INTO wrecker_fts(rowid, %1) VALUES (new.id, %2)")
        .arg(columnList(layout), indexed("new", layout));
}

// The index's table and its three triggers in a layout.
QList<OwnObject> indexObjects(int layout)
{
    const QString table = QStringLiteral("wrecker");
    return {
        {QStringLiteral("table"), QStringLiteral("wrecker_fts"), QStringLiteral("wrecker_fts"),
         QStringLiteral("CREATE VIRTUAL TABLE wrecker_fts USING fts5(%1, content='', "
                        "columnsize=0, tokenize='trigram')")
             .arg(columnList(layout)),
         false, layout},
        {QStringLiteral("trigger"), QStringLiteral("wrecker_fts_insert"), table,
         triggerStatement(QStringLiteral("wrecker_fts_insert"), QStringLiteral("INSERT"),
                          insertIntoIndex(layout)),
         false, layout},
        {QStringLiteral("trigger"), QStringLiteral("wrecker_fts_delete"), table,
         triggerStatement(QStringLiteral("wrecker_fts_delete"), QStringLiteral("DELETE"),
                          deleteFromIndex(layout)),
         false, layout},
        {QStringLiteral("trigger"), QStringLiteral("wrecker_fts_update"), table,
         triggerStatement(QStringLiteral("wrecker_fts_update"), QStringLiteral("UPDATE"),
                          deleteFromIndex(layout) + QStringLiteral("; ") + insertIntoIndex(layout)),
         false, layout},
    };
}

QString wreckerStatement()
{
    QStringList columns;
    for (int i = 0; i < kTowFieldCount; ++i)
        columns << TowRecord::fieldName(TowField(i)) + QStringLiteral(" TEXT NOT NULL DEFAULT ''");
    return QStringLiteral("CREATE TABLE wrecker (id INTEGER PRIMARY KEY AUTOINCREMENT, ")
           + columns.join(QLatin1String(", ")) + u')';
}

QString text(const char *column)
{
    return QLatin1String(column) + QStringLiteral(" TEXT NOT NULL DEFAULT ''");
}

// A column naming the vehicle a row of the impound tables belongs to; its rows go with it.
QString vehicleLink(const char *extra = "")
{
    return QStringLiteral("vehicle_id INTEGER ") + QLatin1String(extra)
           + QStringLiteral("REFERENCES wrecker (id) ON DELETE CASCADE");
}

// Version 2: the impound lifecycle (status and holds, releases, payments, lien steps done),
// each row tied to its vehicle by the vehicle's id. Portable SQL, as the first tables are.
const QList<OwnObject> &impoundObjects()
{
    static const QList<OwnObject> objects = {
        {QStringLiteral("table"), QStringLiteral("impound_status"),
         QStringLiteral("impound_status"),
         QStringLiteral("CREATE TABLE impound_status (") + vehicleLink("PRIMARY KEY ")
             + QStringLiteral(", ") + text("status") + u')'},
        {QStringLiteral("table"), QStringLiteral("impound_holds"), QStringLiteral("impound_holds"),
         QStringLiteral("CREATE TABLE impound_holds (id INTEGER PRIMARY KEY AUTOINCREMENT, ")
             + vehicleLink("NOT NULL ") + QStringLiteral(", ")
             + QStringList{text("reason"), text("agency"), text("case_number"),
                           text("release_by"), text("placed_on"), text("cleared_by"),
                           text("cleared_on")}
                   .join(QStringLiteral(", "))
             + u')'},
        {QStringLiteral("index"), QStringLiteral("impound_holds_vehicle"),
         QStringLiteral("impound_holds"),
         QStringLiteral("CREATE INDEX impound_holds_vehicle ON impound_holds (vehicle_id)")},
        {QStringLiteral("table"), QStringLiteral("impound_releases"),
         QStringLiteral("impound_releases"),
         QStringLiteral("CREATE TABLE impound_releases (") + vehicleLink("PRIMARY KEY ")
             + QStringLiteral(", ")
             + QStringList{text("released_to"), text("id_type"), text("id_number"),
                           text("released_on"), text("released_at")}
                   .join(QStringLiteral(", "))
             + u')'},
        {QStringLiteral("table"), QStringLiteral("impound_payments"),
         QStringLiteral("impound_payments"),
         QStringLiteral("CREATE TABLE impound_payments (id INTEGER PRIMARY KEY AUTOINCREMENT, ")
             + vehicleLink("NOT NULL ")
             + QStringLiteral(", amount_cents INTEGER NOT NULL DEFAULT 0, ")
             + QStringList{text("method"), text("reference"), text("paid_on")}.join(
                 QStringLiteral(", "))
             + u')'},
        {QStringLiteral("index"), QStringLiteral("impound_payments_vehicle"),
         QStringLiteral("impound_payments"),
         QStringLiteral("CREATE INDEX impound_payments_vehicle ON impound_payments (vehicle_id)")},
        {QStringLiteral("table"), QStringLiteral("lien_steps_done"),
         QStringLiteral("lien_steps_done"),
         QStringLiteral("CREATE TABLE lien_steps_done (id INTEGER PRIMARY KEY AUTOINCREMENT, ")
             + vehicleLink("NOT NULL ") + QStringLiteral(", ") + text("step_name")
             + QStringLiteral(", ") + text("done_on") + u')'},
        {QStringLiteral("index"), QStringLiteral("lien_steps_done_step"),
         QStringLiteral("lien_steps_done"),
         QStringLiteral("CREATE UNIQUE INDEX lien_steps_done_step ON lien_steps_done "
                        "(vehicle_id, step_name)")},
    };
    return objects;
}

// Version 6: when and by whom each payment was taken, and for a refund the payment it gives
// back (0 for none). Columns added to the payments of version 2, whose rows stay as they were.
const QStringList &paymentColumns()
{
    static const QStringList columns = {text("paid_at"), text("taken_by"),
                                        QStringLiteral("refund_of INTEGER NOT NULL DEFAULT 0")};
    return columns;
}

// The payments' table as SQLite keeps it once the columns are added.
const OwnObject &paymentsTable()
{
    static const OwnObject object = [] {
        OwnObject table = impoundObjects().at(4);
        table.sql.chop(1);
        table.sql += QStringLiteral(", ") + paymentColumns().join(QStringLiteral(", ")) + u')';
        return table;
    }();
    return object;
}

// Version 4: the tree's columns of every vehicle in one index led by the group name, so that a
// group's vehicles (and those of no group) are read from the index alone, in place of the
// version-1 index on the group name.
const OwnObject &briefIndex()
{
    static const OwnObject object{
        QStringLiteral("index"), QStringLiteral("wrecker_brief"), QStringLiteral("wrecker"),
        QStringLiteral("CREATE INDEX wrecker_brief ON wrecker "
                       "(groupname, vehyear, vehmake, vehmodel, vehcolor)")};
    return object;
}

// Version 5: each record's version (saves since it was added, for concurrent edits) and the
// store-wide revision of its last change, so that other connections learn what changed. A
// removed record keeps its row, marked removed: ids are never reused.
const QList<OwnObject> &versionObjects()
{
    static const QList<OwnObject> objects = {
        {QStringLiteral("table"), QStringLiteral("wrecker_version"),
         QStringLiteral("wrecker_version"),
         QStringLiteral("CREATE TABLE wrecker_version (id INTEGER PRIMARY KEY, "
                        "version INTEGER NOT NULL DEFAULT 0, added INTEGER NOT NULL DEFAULT 0, "
                        "revision INTEGER NOT NULL, removed INTEGER NOT NULL DEFAULT 0)")},
        {QStringLiteral("index"), QStringLiteral("wrecker_version_revision"),
         QStringLiteral("wrecker_version"),
         QStringLiteral("CREATE INDEX wrecker_version_revision ON wrecker_version (revision)")},
    };
    return objects;
}

// Version 7: the vehicles whose release date is blank (the yard's, unless their status says
// otherwise) in an index of their own, and the statuses by their word, so that the lien steps
// due are read from the vehicles in the yard alone.
const QList<OwnObject> &yardObjects()
{
    static const QList<OwnObject> objects = {
        {QStringLiteral("index"), QStringLiteral("wrecker_unreleased"), QStringLiteral("wrecker"),
         QStringLiteral("CREATE INDEX wrecker_unreleased ON wrecker (id) WHERE ")
             + SchemaCheck::blankRelease()},
        {QStringLiteral("index"), QStringLiteral("impound_status_status"),
         QStringLiteral("impound_status"),
         QStringLiteral("CREATE INDEX impound_status_status ON impound_status (status)")},
    };
    return objects;
}

// Version 9: the releases and the payments by their day, which the reports of a range of
// days read without going through every vehicle.
const QList<OwnObject> &reportObjects()
{
    static const QList<OwnObject> objects = {
        {QStringLiteral("index"), QStringLiteral("impound_releases_day"),
         QStringLiteral("impound_releases"),
         QStringLiteral("CREATE INDEX impound_releases_day ON impound_releases (released_on)")},
        {QStringLiteral("index"), QStringLiteral("impound_payments_day"),
         QStringLiteral("impound_payments"),
         QStringLiteral("CREATE INDEX impound_payments_day ON impound_payments (paid_on)")},
    };
    return objects;
}

// Version 8: pricing plans (their rates from a day on, and their lien fees), the plan, class
// and time of day of the tow of a vehicle, a group's default plan, and the bill kept at a
// release, line by line. Amounts in whole cents.
const QList<OwnObject> &pricingObjects()
{
    const auto integer = [](const char *column) {
        return QLatin1String(column) + QStringLiteral(" INTEGER NOT NULL DEFAULT 0");
    };
    const auto planLink = [] {
        return QStringLiteral("plan_id INTEGER NOT NULL REFERENCES pricing_plans (id) "
                              "ON DELETE CASCADE");
    };
    static const QList<OwnObject> objects = {
        {QStringLiteral("table"), QStringLiteral("pricing_plans"), QStringLiteral("pricing_plans"),
         QStringLiteral("CREATE TABLE pricing_plans (id INTEGER PRIMARY KEY AUTOINCREMENT, ")
             + QStringList{text("name"), text("day_type"), integer("tow_day_counts"),
                           integer("grace_hours"), integer("cap_days"), integer("cap_cents"),
                           integer("admin_fee_cents"), integer("after_hours_fee_cents"),
                           text("opens"), text("closes"), integer("open_days"),
                           text("default_for")}
                   .join(QStringLiteral(", "))
             + u')'},
        {QStringLiteral("index"), QStringLiteral("pricing_plans_name"),
         QStringLiteral("pricing_plans"),
         QStringLiteral("CREATE UNIQUE INDEX pricing_plans_name ON pricing_plans (name)")},
        {QStringLiteral("table"), QStringLiteral("pricing_tiers"), QStringLiteral("pricing_tiers"),
         QStringLiteral("CREATE TABLE pricing_tiers (id INTEGER PRIMARY KEY AUTOINCREMENT, ")
             + QStringList{planLink(), integer("from_day"), integer("light_cents"),
                           integer("medium_cents"), integer("heavy_cents"),
                           integer("motorcycle_cents")}
                   .join(QStringLiteral(", "))
             + u')'},
        {QStringLiteral("table"), QStringLiteral("pricing_lien_fees"),
         QStringLiteral("pricing_lien_fees"),
         QStringLiteral("CREATE TABLE pricing_lien_fees (id INTEGER PRIMARY KEY AUTOINCREMENT, ")
             + QStringList{planLink(), text("step"), integer("after_days"), integer("cents")}
                   .join(QStringLiteral(", "))
             + u')'},
        {QStringLiteral("table"), QStringLiteral("vehicle_pricing"),
         QStringLiteral("vehicle_pricing"),
         QStringLiteral("CREATE TABLE vehicle_pricing (") + vehicleLink("PRIMARY KEY ")
             + QStringLiteral(", ")
             + QStringList{integer("plan_id"), text("vehicle_class"), text("towed_at")}.join(
                 QStringLiteral(", "))
             + u')'},
        {QStringLiteral("table"), QStringLiteral("group_pricing"), QStringLiteral("group_pricing"),
         QStringLiteral("CREATE TABLE group_pricing (group_id INTEGER PRIMARY KEY REFERENCES "
                        "groups (GROUPID) ON DELETE CASCADE, ")
             + integer("plan_id") + u')'},
        {QStringLiteral("table"), QStringLiteral("release_bills"), QStringLiteral("release_bills"),
         QStringLiteral("CREATE TABLE release_bills (id INTEGER PRIMARY KEY AUTOINCREMENT, ")
             + vehicleLink("NOT NULL ") + QStringLiteral(", ")
             + QStringList{integer("position"), text("plan_name"), text("kind"), text("label"),
                           integer("units"), integer("rate_cents"), integer("cents")}
                   .join(QStringLiteral(", "))
             + u')'},
        {QStringLiteral("index"), QStringLiteral("release_bills_vehicle"),
         QStringLiteral("release_bills"),
         QStringLiteral("CREATE INDEX release_bills_vehicle ON release_bills (vehicle_id)")},
    };
    return objects;
}

// Version 1, the first schema the program wrote. A later version appends its own objects and
// the changed definitions here, and keeps the old ones: files of every version stay usable.
const QList<OwnObject> &ownObjects()
{
    static const QList<OwnObject> objects = {
        {QStringLiteral("table"), QStringLiteral("groups"), QStringLiteral("groups"),
         QStringLiteral("CREATE TABLE groups (GROUPID INTEGER PRIMARY KEY AUTOINCREMENT, "
                        "groupname TEXT NOT NULL DEFAULT '')")},
        // BINARY collation: group names are unique with case mattering.
        {QStringLiteral("index"), QStringLiteral("groups_groupname"), QStringLiteral("groups"),
         QStringLiteral("CREATE UNIQUE INDEX groups_groupname ON groups (groupname)")},
        {QStringLiteral("table"), QStringLiteral("wrecker"), QStringLiteral("wrecker"),
         wreckerStatement()},
        {QStringLiteral("index"), QStringLiteral("wrecker_groupname"), QStringLiteral("wrecker"),
         QStringLiteral("CREATE INDEX wrecker_groupname ON wrecker (groupname)")},
        {QStringLiteral("table"), QStringLiteral("reminders"), QStringLiteral("reminders"),
         QStringLiteral("CREATE TABLE reminders (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                        "item TEXT NOT NULL DEFAULT '', DateFor TEXT NOT NULL DEFAULT '', "
                        "Done INTEGER NOT NULL DEFAULT 0, Date TEXT NOT NULL DEFAULT '')")},
        {QStringLiteral("table"), QStringLiteral("lb_type"), QStringLiteral("lb_type"),
         QStringLiteral("CREATE TABLE lb_type (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                        "name TEXT NOT NULL DEFAULT '')")},
        // SQLite's own, made with the first AUTOINCREMENT table.
        {QStringLiteral("table"), QStringLiteral("sqlite_sequence"),
         QStringLiteral("sqlite_sequence"),
         QStringLiteral("CREATE TABLE sqlite_sequence(name,seq)"), true},
        // SQLite's own, made by ANALYZE (the fourth with the engine's STAT4 option).
        {QStringLiteral("table"), QStringLiteral("sqlite_stat1"), QStringLiteral("sqlite_stat1"),
         QStringLiteral("CREATE TABLE sqlite_stat1(tbl,idx,stat)"), true},
        {QStringLiteral("table"), QStringLiteral("sqlite_stat4"), QStringLiteral("sqlite_stat4"),
         QStringLiteral("CREATE TABLE sqlite_stat4(tbl,idx,neq,nlt,ndlt,sample)"), true},
        // Version 3: the search index (its shadow tables are the same in every layout).
        {QStringLiteral("table"), QStringLiteral("wrecker_fts_data"),
         QStringLiteral("wrecker_fts_data"),
         QStringLiteral("CREATE TABLE 'wrecker_fts_data'(id INTEGER PRIMARY KEY, block BLOB)"),
         true, 2},
        {QStringLiteral("table"), QStringLiteral("wrecker_fts_idx"),
         QStringLiteral("wrecker_fts_idx"),
         QStringLiteral("CREATE TABLE 'wrecker_fts_idx'(segid, term, pgno, PRIMARY KEY(segid, "
                        "term)) WITHOUT ROWID"),
         true, 2},
        {QStringLiteral("table"), QStringLiteral("wrecker_fts_config"),
         QStringLiteral("wrecker_fts_config"),
         QStringLiteral("CREATE TABLE 'wrecker_fts_config'(k PRIMARY KEY, v) WITHOUT ROWID"), true,
         2},
    };
    static const QList<OwnObject> all =
        objects + indexObjects(2) + indexObjects(1) + impoundObjects() + QList{briefIndex()} +
        versionObjects() + QList{paymentsTable()} + yardObjects() + pricingObjects() +
        reportObjects();
    return all;
}

// The objects of version 1, which a new database and every step build on.
bool isFirstVersionObject(const OwnObject &object)
{
    return !impoundObjects().contains(object) && object != briefIndex() &&
           !versionObjects().contains(object) && object != paymentsTable() &&
           !yardObjects().contains(object) && !pricingObjects().contains(object) &&
           !reportObjects().contains(object);
}

QString quoted(const QString &name)
{
    QString shown = name;
    if (shown.size() > 60)
        shown = shown.left(57) + QStringLiteral("...");
    for (QChar &c : shown)
        if (c.category() == QChar::Other_Control)
            c = u'?';
    return u'"' + shown + u'"';
}

} // namespace

QStringList SchemaCheck::firstVersionStatements()
{
    QStringList statements;
    for (const OwnObject &object : ownObjects())
        if (!object.engineMade && object.indexLayout == 0 && isFirstVersionObject(object))
            statements << object.sql;
    return statements;
}

QStringList SchemaCheck::createStatements(bool withSearchIndex)
{
    // A new file goes through the same steps as an old one brought up to date.
    QStringList statements = firstVersionStatements();
    statements << stepStatements(2);
    if (withSearchIndex)
        statements << searchIndexStatements();
    statements << stepStatements(4) << stepStatements(5) << stepStatements(6)
               << stepStatements(7) << stepStatements(8) << stepStatements(9);
    return statements;
}

QStringList SchemaCheck::stepStatements(int version)
{
    QStringList statements;
    if (version == 2)
        for (const OwnObject &object : impoundObjects())
            statements << object.sql;
    // SQLite keeps the definition without "IF NOT EXISTS", as briefIndex() has it.
    if (version == 4)
        statements << QString(briefIndex().sql)
                          .replace(QStringLiteral("CREATE INDEX"),
                                   QStringLiteral("CREATE INDEX IF NOT EXISTS"))
                   << QStringLiteral("DROP INDEX IF EXISTS wrecker_groupname");
    // Another program may have taken the step since this one read the version.
    if (version == 5 || version == 7 || version == 8 || version == 9)
        for (const OwnObject &object : version == 5   ? versionObjects()
                                       : version == 7 ? yardObjects()
                                       : version == 8 ? pricingObjects()
                                                      : reportObjects())
            statements << QString(object.sql)
                              .replace(QStringLiteral("CREATE UNIQUE INDEX"),
                                       QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS"))
                              .replace(QStringLiteral("CREATE ") + object.type.toUpper(),
                                       QStringLiteral("CREATE ") + object.type.toUpper() +
                                           QStringLiteral(" IF NOT EXISTS"));
    if (version == 6)
        for (const QString &column : paymentColumns())
            statements << QStringLiteral("ALTER TABLE impound_payments ADD COLUMN ") + column;
    return statements;
}

QString SchemaCheck::blankRelease()
{
    // Trimmed of every character QChar::isSpace() takes for a blank, as the status rule trims,
    // and of U+FEFF, which the server's driver drops from the start of a text it reads.
    return QStringLiteral("trim(towedrelease, char(9, 10, 11, 12, 13, 32, 133, 160, 5760, 8192, "
                          "8193, 8194, 8195, 8196, 8197, 8198, 8199, 8200, 8201, 8202, 8232, "
                          "8233, 8239, 8287, 12288, 65279)) = ''");
}

const QStringList &SchemaCheck::searchIndexColumns()
{
    static const QStringList columns = [] {
        QStringList names;
        for (TowField field :
             {TowField::custname, TowField::custaddress, TowField::custcity, TowField::custstate,
              TowField::custzip, TowField::vehcolor, TowField::vehyear, TowField::vehmake,
              TowField::vehmodel, TowField::vehstyle})
            names << TowRecord::fieldName(field);
        return names;
    }();
    return columns;
}

QStringList SchemaCheck::searchIndexStatements()
{
    QStringList statements;
    for (const OwnObject &object : ownObjects())
        if (!object.engineMade && object.indexLayout == 2)
            statements << object.sql;
    return statements;
}

const QStringList &SchemaCheck::quickSearchColumns()
{
    static const QStringList columns = {QStringLiteral("quickkeys"), QStringLiteral("quicktext")};
    return columns;
}

QList<TowField> SchemaCheck::quickTextFields()
{
    return QList<TowField>(std::begin(kQuickTextFields), std::end(kQuickTextFields));
}

QList<TowField> SchemaCheck::quickKeyFields()
{
    return QList<TowField>(std::begin(kQuickKeyFields), std::end(kQuickKeyFields));
}

QStringView SchemaCheck::quickKeySeparators()
{
    return u" \t-().,/_#+:";
}

QString SchemaCheck::quickKeyFormSql(const QString &column, const QString &charFunction)
{
    QString sql = QStringLiteral("coalesce(%1, '')").arg(column);
    for (QChar c : quickKeySeparators())
        sql = QStringLiteral("replace(%1, %2(%3), '')").arg(sql, charFunction).arg(c.unicode());
    return QStringLiteral("upper(%1)").arg(sql);
}

QString SchemaCheck::quickKeyForm(QStringView text)
{
    QString form;
    form.reserve(text.size());
    for (QChar c : text) {
        if (quickKeySeparators().contains(c))
            continue;
        form += c.unicode() >= u'a' && c.unicode() <= u'z' ? QChar(c.unicode() - 32) : c;
    }
    return form;
}

QStringList SchemaCheck::searchIndexStatements(int layout)
{
    QStringList statements;
    for (const OwnObject &object : indexObjects(layout))
        statements << object.sql;
    return statements;
}

QString SchemaCheck::searchIndexFill()
{
    return QStringLiteral("INSERT INTO wrecker_fts(rowid, %1) SELECT id, %2 FROM wrecker AS new "
                          "WHERE id BETWEEN ? AND ?")
        .arg(columnList(2), indexed("new"));
}

QString SchemaCheck::searchIndexForm(const QString &text)
{
    QString form = text;
    form.replace(QChar(0x130), u'I').replace(QChar(0x212a), u'K');
    return form;
}

bool SchemaCheck::hasSearchIndex(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master WHERE "
                                   "name IN ('wrecker_fts', 'wrecker_fts_insert', "
                                   "'wrecker_fts_delete', 'wrecker_fts_update')")))
        return false;
    // In the layout made now: an index of an earlier one is made again.
    static const QList<OwnObject> made = indexObjects(2);
    int current = 0;
    while (query.next()) {
        const OwnObject found{query.value(0).toString(), query.value(1).toString(),
                              query.value(2).toString(), query.value(3).toString(), false, 2};
        current += made.contains(found) ? 1 : 0;
    }
    return current == 4;
}

bool SchemaCheck::engineHasFts5(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    return query.exec(QStringLiteral("SELECT sqlite_compileoption_used('ENABLE_FTS5')")) &&
           query.next() && query.value(0).toInt() == 1;
}

bool SchemaCheck::harden(const QSqlDatabase &db, Use use, QString *error)
{
    sqlite3 *engine = SqliteHandle::of(db);
    if (!engine) {
        if (error)
            *error = QStringLiteral("The database connection is not SQLite, or not the SQLite "
                                    "build this program was made with.");
        return false;
    }
    if (!StoreConnection::harden(engine, use == Use::Inspecting)) {
        if (error)
            *error = QStringLiteral("The database engine's safe mode cannot be set: ")
                     + QString::fromUtf8(sqlite3_errmsg(engine));
        return false;
    }
    QSqlQuery pragma(db);
    if (!pragma.exec(QStringLiteral("PRAGMA trusted_schema = OFF"))) {
        if (error)
            *error = pragma.lastError().text();
        return false;
    }
    return true;
}

std::optional<QStringList> SchemaCheck::foreignObjects(const QSqlDatabase &db, QString *error)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master"))) {
        if (error) {
            *error = query.lastError().databaseText();
            if (error->isEmpty())
                *error = query.lastError().text();
        }
        return std::nullopt;
    }
    QStringList foreign;
    while (query.next()) {
        const QString type = query.value(0).toString();
        const QString name = query.value(1).toString();
        const QString table = query.value(2).toString();
        const QString sql = query.value(3).toString();
        bool known = false;
        bool knownName = false;
        for (const OwnObject &own : ownObjects()) {
            if (own.name.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            knownName = true;
            if (own.type == type && own.name == name && own.table == table && own.sql == sql) {
                known = true;
                break;
            }
        }
        if (known)
            continue;
        QString what = type + u' ' + quoted(name);
        if ((type == QLatin1String("trigger") || type == QLatin1String("index"))
            && table.compare(name, Qt::CaseInsensitive) != 0)
            what += QStringLiteral(" on ") + quoted(table);
        if (knownName)
            what += QStringLiteral(" (not as this program creates it)");
        foreign << what;
    }
    if (query.lastError().isValid()) {
        if (error)
            *error = query.lastError().text();
        return std::nullopt;
    }
    return foreign;
}

QString SchemaCheck::describe(const QStringList &objects)
{
    constexpr int kShown = 5;
    QStringList shown = objects.mid(0, kShown);
    QString text = shown.join(QStringLiteral(", "));
    if (objects.size() > kShown)
        text += QStringLiteral(" and %1 more").arg(objects.size() - kShown);
    return text;
}

} // namespace tarnvale
