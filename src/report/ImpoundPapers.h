// The papers of the impound lifecycle, filled from RTF templates of their own in Reports/
// with the charge sheet's engine and escaping: the release receipt (receipt.rtf) and the
// lien notice letter (notice.rtf).
//
// Besides every placeholder of the charge sheet, both know ::owner.name::, ::owner.address::,
// ::owner.city::, ::vehicle::, ::vehicle.vin::, ::vehicle.tag::, ::towed.date::,
// ::company.name::, ::company.address::, ::today:: and ::status::. The receipt adds
// ::released.to::, ::released.idtype::, ::released.idnumber::, ::released.date::,
// ::released.time::, ::payment.lines:: (one line a payment: day and time, method, reference,
// amount), ::total.due:: (the grand total to the release day), ::paid.total:: and ::balance::
// (what is still owed, ImpoundRules::balanceCents), and ::charges.lines:: (one line each: the
// tow fee, every storage line and every fee of the vehicle's plan, and the tax). The notice
// adds ::notice.step::, ::notice.date::, ::amount.owed:: (the balance to date) and
// ::daily.rate::. With a stay, the figures are those of the vehicle's plan.
#pragma once

#include <QDate>
#include <QString>

#include "ChargeFigures.h"
#include "ChargeSheet.h"
#include "ImpoundRecord.h"
#include "LienSchedule.h"

namespace tarnvale {

class ProgramFolder;
class SettingsFile;
struct TowRecord;

class ImpoundPapers
{
  public:
    static QString receiptPath(const ProgramFolder &folder);
    static QString noticePath(const ProgramFolder &folder);

    static QString fillReceipt(const QString &source, const TowRecord &record,
                               const ImpoundState &state, const SettingsFile &settings,
                               const QDate &today,
                               const std::optional<PricedStay> &stay = std::nullopt);
    static QString fillNotice(const QString &source, const TowRecord &record,
                              const ImpoundState &state, const LienDeadline &step,
                              const SettingsFile &settings, const QDate &today,
                              const std::optional<PricedStay> &stay = std::nullopt);

    // The template read and filled, or the message that tells why it cannot be.
    static ChargeSheet::Outcome receipt(const ProgramFolder &folder, const TowRecord &record,
                                        const ImpoundState &state, const SettingsFile &settings,
                                        const QDate &today,
                                        const std::optional<PricedStay> &stay = std::nullopt);
    static ChargeSheet::Outcome notice(const ProgramFolder &folder, const TowRecord &record,
                                       const ImpoundState &state, const LienDeadline &step,
                                       const SettingsFile &settings, const QDate &today,
                                       const std::optional<PricedStay> &stay = std::nullopt);
};

} // namespace tarnvale
