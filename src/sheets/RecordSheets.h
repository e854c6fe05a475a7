// The sheets figured from the records: a group's vehicle list, and one vehicle's Field/Value
// sheet with its summary figures and the values its charge sheet and papers are printed from.
// The browser shows them when a node is clicked; the papers print from them.
#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

#include "ChargeFigures.h"
#include "ImpoundRecord.h"
#include "PrintSnapshot.h"
#include "TowRecord.h"

class QFontMetrics;

namespace tarnvale {

struct PricingBook;

class RecordStore;
class SettingsFile;
struct TowRecord;

// The columns and rows of the list view.
struct SheetContents
{
    QStringList columns;
    QList<QStringList> rows;
    // For a list the user may sort: one key per cell, a number (double) for numbers and dates
    // (as days), text otherwise. Empty for a sheet that keeps its order.
    QList<QVariantList> sortKeys;

    // Whether cell key a sorts before cell key b: numbers before texts, numbers by value,
    // texts without regard to case; an empty key first.
    static bool sortsBefore(const QVariant &a, const QVariant &b);

    friend bool operator==(const SheetContents &, const SheetContents &) = default;
};

// The sheet of one vehicle with its summary box and print values.
struct VehicleSheet
{
    SheetContents sheet;
    QString label3; // "Storage Days:" days in storage
    QString label5; // "Storage Fee:" daily rate, "$#####.00"
    QString label7; // "Towing Fee:" towedfee as stored
    QString label1; // "Total Cost:" grand total, "$######.00"
    PrintSnapshot snapshot;
    ChargeFigures figures;
};

class RecordSheets
{
  public:
    // Columns "Name", "Year", "Make", "Model", "Color", "Towed", then "Plate", "Days" (in
    // storage) and "Amount Due" (the balance, ImpoundRules::balanceCents, with what each
    // vehicle paid by id) figured as of today; a row, upper-cased, for every record whose
    // groupname equals the name exactly (case matters), in table order, with sort keys: the
    // year, days and amount as numbers, the tow date as a date.
    // With statuses (the stored status of each vehicle that has one), a last column
    // "Status" as ImpoundRules::statusOf gives it. With a pricing book, each vehicle is
    // figured under its plan.
    static SheetContents groupListing(const QList<TowRecord> &records, const QString &groupName,
                                      const SettingsFile &settings, const QDate &today,
                                      const QLocale &locale = QLocale(),
                                      const QHash<qint64, VehicleStatus> *statuses = nullptr,
                                      const QHash<qint64, qint64> *paid = nullptr,
                                      const PricingBook *book = nullptr);
    // The same from the store with the payments taken, and the status column once any
    // vehicle has a status of its own; nullopt when the store fails. The settings are read
    // once for all the rows; rowIds, when given, receives the record of each row.
    static std::optional<SheetContents> groupListing(RecordStore &store, const QString &groupName,
                                                     const SettingsFile &settings,
                                                     const QDate &today,
                                                     const QLocale &locale = QLocale(),
                                                     QList<qint64> *rowIds = nullptr);
    // The field a listing's column shows as stored (upper-cased) and sorts by, for the
    // columns before "Days"; nullopt for the columns figured from several.
    static std::optional<TowField> listedField(int column);
    // The sort key of such a column's cell for the field's value.
    static QVariant fieldKey(int column, const QString &value, const QDate &today,
                             const QLocale &locale = QLocale());
    // The rows of those vehicles (in the order given) that are in the group now, as the
    // listing shows them, the status column with `withStatus`; nullopt when the store fails.
    // The settings are read as given (a snapshot keeps them one for many calls).
    static std::optional<SheetContents> groupRows(RecordStore &store, const QString &groupName,
                                                  const QList<qint64> &ids, bool withStatus,
                                                  const SettingsFile &settings, const QDate &today,
                                                  QList<qint64> *rowIds,
                                                  const QLocale &locale = QLocale());

    // The Field/Value sheet of one record, figured as of today. When something is kept about
    // the vehicle's impound (a status of its own, or a payment), its status, hold, release,
    // what was paid and the balance follow the last rows.
    // Under a pricing plan other than Standard, the plan and every storage line and fee it
    // billed follow the storage rows.
    static VehicleSheet vehicleSheet(const TowRecord &record, const SettingsFile &settings,
                                     const QDate &today, const QLocale &locale = QLocale(),
                                     const ImpoundState *impound = nullptr,
                                     const PricedStay *stay = nullptr);
    // The record whose id equals the id text read as a number, with its impound state;
    // nullopt when there is none.
    static std::optional<VehicleSheet> vehicleSheet(RecordStore &store, const QString &idText,
                                                    const SettingsFile &settings,
                                                    const QDate &today,
                                                    const QLocale &locale = QLocale());

    // Widths in pixels for the columns after the first (the first entry is -1: keep it): the
    // width of the longest text of the column by character count (the first of equally long
    // ones) in the given font, plus 300 twips at the given dots per inch.
    static QList<int> columnWidths(const SheetContents &contents, const QFontMetrics &metrics,
                                   int dotsPerInch);
    static int twipsToPixels(int twips, int dotsPerInch);
};

} // namespace tarnvale
