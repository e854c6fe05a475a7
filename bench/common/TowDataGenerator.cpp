#include "TowDataGenerator.h"

#include "RecordStore.h"

#include <QDate>
#include <QFile>
#include <QSqlQuery>
#include <QSqlError>
#include <QVariant>

#include <cstdio>
#include <iterator>

namespace tarnvale::bench {

namespace {

constexpr const char *kFirst[] = {"James", "Mary", "Robert", "Patricia", "John", "Jennifer",
    "Michael", "Linda", "David", "Elizabeth", "William", "Barbara", "Richard", "Susan", "Joseph",
    "Jessica", "Thomas", "Sarah", "Carlos", "Karen", "Daniel", "Lisa", "Matthew", "Nancy",
    "Anthony", "Betty", "Mark", "Sandra", "Luis", "Ashley", "Steven", "Kimberly", "Andrew", "Donna"};
constexpr const char *kLast[] = {"Smith", "Johnson", "Williams", "Brown", "Jones", "Garcia",
    "Miller", "Davis", "Rodriguez", "Martinez", "Hernandez", "Lopez", "Gonzalez", "Wilson",
    "Anderson", "Thomas", "Taylor", "Moore", "Jackson", "Martin", "Lee", "Perez", "Thompson",
    "White", "Harris", "Sanchez", "Clark", "Ramirez", "Lewis", "Robinson", "Walker", "Young"};
constexpr const char *kStreets[] = {"Main St", "Oak Ave", "Pine Rd", "Maple Dr", "Cedar Ln",
    "Elm St", "Washington Blvd", "Lake Rd", "Hillcrest Dr", "Park Ave", "Sunset Blvd",
    "River Rd", "Church St", "Highland Ave", "Mill Rd", "Industrial Pkwy"};
constexpr const char *kCities[] = {"Springfield", "Riverton", "Fairview", "Greenville",
    "Madison", "Georgetown", "Clinton", "Salem", "Franklin", "Ashland", "Burlington", "Dayton"};
constexpr const char *kStates[] = {"OH", "PA", "IN", "MI", "KY", "WV", "NY", "IL", "TN", "GA"};
constexpr const char *kMakes[] = {"Ford", "Chevrolet", "Toyota", "Honda", "Dodge", "Nissan",
    "GMC", "Jeep", "Hyundai", "Kia", "Subaru", "Volkswagen", "Buick", "Chrysler", "Mazda"};
constexpr const char *kModels[] = {"Taurus", "F-150", "Malibu", "Silverado", "Camry", "Corolla",
    "Civic", "Accord", "Ram 1500", "Charger", "Altima", "Sentra", "Sierra", "Cherokee",
    "Wrangler", "Elantra", "Sonata", "Optima", "Outback", "Jetta", "LaCrosse", "Pacifica", "Mazda3"};
constexpr const char *kStyles[] = {"Sedan", "Pickup", "SUV", "Coupe", "Van", "Wagon", "Hatchback"};
constexpr const char *kColors[] = {"Red", "Blue", "Black", "White", "Silver", "Gray", "Green",
    "Maroon", "Gold", "Tan", "Brown"};
constexpr const char *kPlaces[] = {"I-75 mile 112", "Walmart parking lot", "Route 9 & Elm",
    "Main St & 3rd Ave", "County Fairgrounds", "Apartment complex lot", "Hospital garage",
    "Downtown meter zone", "Exit 44 ramp", "Shopping plaza", "Private driveway"};
constexpr const char *kReasons[] = {"Accident", "Breakdown", "Impound", "Repossession",
    "Illegal Parking", "Abandoned", "Police Hold"};
constexpr const char *kHookups[] = {"Light", "Medium", "Heavy", "Other"};
constexpr const char *kTypes[] = {"Flatbed", "Wheel Lift", "Hook and Chain", "Dolly"};
constexpr const char *kGroupKinds[] = {"Lot", "Police Hold", "Account", "Insurance", "Month"};
constexpr const char kVinChars[] = "ABCDEFGHJKLMNPRSTUVWXYZ0123456789";

QString money(int cents)
{
    return QString::asprintf("%d.%02d", cents / 100, cents % 100);
}

} // namespace

TowDataGenerator::TowDataGenerator(quint64 seed) : m_rng(seed) {}

const char *TowDataGenerator::pick(const char *const *items, size_t count)
{
    return items[std::uniform_int_distribution<size_t>(0, count - 1)(m_rng)];
}

int TowDataGenerator::between(int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(m_rng);
}

QStringList TowDataGenerator::groupNames(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i) {
        const char *kind = kGroupKinds[size_t(i) % std::size(kGroupKinds)];
        names << QStringLiteral("%1 %2").arg(QLatin1String(kind)).arg(i + 1);
    }
    return names;
}

TowRecord TowDataGenerator::record(const QStringList &groups)
{
#define PICK(list) QString::fromLatin1(pick(list, std::size(list)))
    TowRecord r;
    r.set(TowField::custname, PICK(kFirst) + u' ' + PICK(kLast));
    r.set(TowField::custaddress, QString::number(between(10, 9999)) + u' ' + PICK(kStreets));
    r.set(TowField::custcity, PICK(kCities));
    r.set(TowField::custstate, PICK(kStates));
    r.set(TowField::custzip, QString::number(between(10000, 99999)));
    r.set(TowField::custphone, QStringLiteral("(%1) %2-%3")
                                   .arg(between(200, 989)).arg(between(200, 999))
                                   .arg(between(0, 9999), 4, 10, QLatin1Char('0')));
    r.set(TowField::vehyear, QString::number(between(1985, 2026)));
    r.set(TowField::vehmake, PICK(kMakes));
    r.set(TowField::vehmodel, PICK(kModels));
    r.set(TowField::vehstyle, PICK(kStyles));
    r.set(TowField::vehcolor, PICK(kColors));
    r.set(TowField::vehtag, QStringLiteral("%1%2%3-%4")
                                .arg(QChar(u'A' + between(0, 25))).arg(QChar(u'A' + between(0, 25)))
                                .arg(QChar(u'A' + between(0, 25))).arg(between(1000, 9999)));
    QString vin;
    for (int i = 0; i < 17; ++i)
        vin.append(QLatin1Char(kVinChars[between(0, int(sizeof(kVinChars)) - 2)]));
    r.set(TowField::vehvin, vin);
    if (between(0, 3) == 0)
        r.set(TowField::vehnotes, QStringLiteral("Keys in ignition; front bumper damaged"));
    const int hookup = between(0, 3);
    const int fees[] = {7500, 12500, 25000, 9500};
    int costs[8] = {fees[hookup], between(0, 1) * 2500, between(0, 60) * 300, 0,
                    between(0, 4) * 1500, between(0, 3) * 2000, between(0, 1) * 3500, 0};
    int total = 0;
    for (int i = 0; i < 8; ++i)
        total += costs[i];
    for (int i = 0; i < 8; ++i)
        r.set(TowField(int(TowField::cost1) + i), money(costs[i]));
    r.set(TowField::total, money(total));
    r.set(TowField::towedfee, money(total));
    r.set(TowField::towedfrom, PICK(kPlaces));
    r.set(TowField::towedto, QStringLiteral("Yard %1").arg(between(1, 3)));
    const QDate towed = QDate(2024, 1, 1).addDays(between(0, 1000));
    r.set(TowField::toweddate, towed.toString(QStringLiteral("M/d/yyyy")));
    if (between(0, 2) > 0)
        r.set(TowField::towedrelease, towed.addDays(between(0, 60)).toString(QStringLiteral("M/d/yyyy")));
    if (!groups.isEmpty() && between(0, 19) > 0)
        r.set(TowField::groupname, groups.at(between(0, int(groups.size()) - 1)));
    r.set(TowField::Hookup, QString::fromLatin1(kHookups[hookup]));
    r.set(TowField::Type, PICK(kTypes));
    r.set(TowField::milestart, QString::number(between(1000, 250000)));
    r.set(TowField::milestop, QString::number(between(1, 80)));
    r.set(TowField::Recovery, between(0, 4) == 0 ? QStringLiteral("Yes") : QStringLiteral("No"));
    r.set(TowField::reason, PICK(kReasons));
    r.set(TowField::idletime, QString::number(between(0, 3)));
    r.set(TowField::other, QStringLiteral("0.00"));
    r.set(TowField::Time, QStringLiteral("%1:%2").arg(between(0, 23)).arg(between(0, 59), 2, 10, QLatin1Char('0')));
#undef PICK
    return r;
}

bool TowDataGenerator::writeDatabase(const QString &path, int records, int groups, quint64 seed)
{
    QFile::remove(path);
    RecordStore store;
    if (!store.open(path, RecordStore::OpenMode::CreateIfMissing)) {
        std::fprintf(stderr, "cannot create %s: %s\n", qPrintable(path),
                     qPrintable(store.lastError().description));
        return false;
    }
    TowDataGenerator generator(seed);
    const QStringList names = generator.groupNames(groups);
    QSqlDatabase db = store.database();
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA synchronous = OFF"));
    TransactionGuard guard(db);
    for (const QString &name : names) {
        if (!store.addGroup(name))
            return false;
    }
    QStringList columns, marks;
    for (int i = 0; i < kTowFieldCount; ++i) {
        columns << TowRecord::fieldName(TowField(i));
        marks << QStringLiteral("?");
    }
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO wrecker (%1) VALUES (%2)")
                       .arg(columns.join(u','), marks.join(u',')));
    for (int n = 0; n < records; ++n) {
        const TowRecord r = generator.record(names);
        for (int i = 0; i < kTowFieldCount; ++i)
            insert.bindValue(i, r.values[size_t(i)].isNull() ? QString(u""_qs) : r.values[size_t(i)]);
        if (!insert.exec()) {
            std::fprintf(stderr, "insert failed: %s\n", qPrintable(insert.lastError().text()));
            return false;
        }
    }
    return guard.commit();
}

} // namespace tarnvale::bench
