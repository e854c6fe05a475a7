#include "ConfigCheck.h"

#include <QDir>
#include <QFileInfo>

#include "LeadingNumber.h"
#include "NumberText.h"
#include "TaxRate.h"

namespace tarnvale {

namespace {

std::optional<ConfigFinding> checkFee(const QString &control, const QString &caption,
                                      const QString &typed)
{
    if (!ReadsWhole(typed)) {
        return ConfigFinding{
            control,
            QStringLiteral("The \"%1\" box holds \"%2\", which is not a plain amount: it would "
                           "count as %3. Type the amount alone, such as 40.00.")
                .arg(caption, typed, NumberText::plain(LeadingNumber(typed))),
            false};
    }
    if (LeadingNumber(typed) < 0) {
        return ConfigFinding{control,
                             QStringLiteral("The \"%1\" box holds %2: a fee cannot be below zero.")
                                 .arg(caption, typed.trimmed()),
                             false};
    }
    return std::nullopt;
}

} // namespace

QList<ConfigFinding> ConfigCheck::check(const ConfigValues &values, const QLocale &locale)
{
    QList<ConfigFinding> findings;
    const std::pair<const char *, const QString *> fees[] = {{"Text2", &values.storageFee},
                                                             {"Text8", &values.light},
                                                             {"Text9", &values.medium},
                                                             {"Text10", &values.heavy}};
    const char *const captions[] = {"Vehicle Storage Fee:", "Hookup: Light", "Hookup: Medium",
                                    "Hookup: Heavy"};
    for (size_t i = 0; i < std::size(fees); ++i)
        if (auto finding = checkFee(QString::fromLatin1(fees[i].first),
                                    QString::fromLatin1(captions[i]), *fees[i].second))
            findings << *finding;

    const TaxRate rate = TaxRate::read(values.taxRate, locale);
    const QString control = QStringLiteral("Text11");
    if (rate.kind == TaxRate::Kind::Invalid) {
        findings << ConfigFinding{
            control,
            QStringLiteral("The \"Tax %:\" box holds \"%1\", which is not a tax rate. Type a "
                           "percentage below 100 such as 8%, or a fraction such as .08.")
                .arg(values.taxRate.trimmed()),
            false};
    } else if (rate.kind == TaxRate::Kind::Ambiguous) {
        findings << ConfigFinding{
            control,
            QStringLiteral("The tax rate is kept as a fraction (.08 is 8 %), so %1 would add "
                           "%2 tax.\r\n\r\nDid you mean %3? Yes stores %3 (%4).")
                .arg(values.taxRate.trimmed(), TaxRate::percentText(rate.fraction * 100),
                     TaxRate::percentText(rate.fraction), rate.stored(values.taxRate)),
            true};
    }
    return findings;
}

std::optional<ConfigFinding> ConfigCheck::checkDatabasePath(const QString &typed)
{
    const QString path = typed.trimmed();
    if (path.isEmpty() || path.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
        path.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive))
        return std::nullopt;
    const QFileInfo file(path);
    const QString control = QStringLiteral("Text3");
    if (!file.dir().exists())
        return ConfigFinding{control,
                             QStringLiteral("The folder of the database file %1 does not exist "
                                            "(a share that is not mounted, or a typing error): "
                                            "the program cannot open the database there.\r\n\r\n"
                                            "Keep this path?")
                                 .arg(path),
                             true};
    if (file.exists() && !file.isFile())
        return ConfigFinding{control,
                             QStringLiteral("%1 is a folder, not a database file.").arg(path),
                             false};
    if (!file.exists())
        return ConfigFinding{control,
                             QStringLiteral("There is no database file %1: the program opens it "
                                            "only once it is there (restoring a backup into it "
                                            "makes it).\r\n\r\nKeep this path?")
                                 .arg(path),
                             true};
    return std::nullopt;
}

ConfigValues ConfigCheck::toStore(const ConfigValues &values, const QLocale &locale)
{
    ConfigValues stored = values;
    const TaxRate rate = TaxRate::read(values.taxRate, locale);
    if (rate.kind != TaxRate::Kind::Invalid)
        stored.taxRate = rate.stored(values.taxRate);
    return stored;
}

} // namespace tarnvale
