// tarnvale-export: the CSV export on the command line, for scripted month-end exports.
//
//   tarnvale-export --csv OUT [--database PATH] [--settings PATH] [--as-of YYYY-MM-DD]
//
// The settings are the program's settings.ini unless --settings names another file; the
// database is --database, else Database/Path of the settings, else data.dll in the program's
// folder. --as-of fixes "today" for the days in storage, so that figures can be reproduced.
// OUT is replaced only after the whole export succeeded. Exit status 0 on success, 1 when the
// export failed, 2 for a wrong command line; every failure is explained on stderr.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>

#include <cstdio>

#include "ProgramFolder.h"
#include "RecordExport.h"
#include "SettingsFile.h"

using namespace tarnvale;

namespace {

int usage(const QString &problem)
{
    std::fprintf(stderr,
                 "tarnvale-export: %s\n"
                 "usage: tarnvale-export --csv OUT [--database PATH] [--settings PATH] "
                 "[--as-of YYYY-MM-DD]\n",
                 qPrintable(problem));
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tarnvale"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARNVALE_VERSION));
    // The stored dates are read as the program reads them: in the user's locale, US-style
    // when no locale is set.
    if (QLocale::system().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes every vehicle record of a Tarnvale database to a CSV file, with "
                       "the days in storage and the charges the program shows."));
    const QCommandLineOption help = parser.addHelpOption(), version = parser.addVersionOption();
    const QList<QCommandLineOption> flags{
        {QStringLiteral("csv"), QStringLiteral("The CSV file to write (required)."), QStringLiteral("OUT")},
        {QStringLiteral("database"),
         QStringLiteral("The database to read (default: Database/Path of the settings, else "
                        "data.dll in the program's folder)."),
         QStringLiteral("PATH")},
        {QStringLiteral("settings"),
         QStringLiteral("The settings whose storage fee and tax are used (default: the "
                        "program's settings.ini)."),
         QStringLiteral("PATH")},
        {QStringLiteral("as-of"),
         QStringLiteral("The day taken as today for the days in storage (default: today)."),
         QStringLiteral("YYYY-MM-DD")}};
    parser.addOptions(flags);
    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::puts("tarnvale-export " TARNVALE_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("unknown argument '%1'").arg(parser.positionalArguments().first()));
    QString values[4];
    for (int i = 0; i < 4; ++i) {
        const QString name = QStringLiteral("--") + flags.at(i).names().first();
        const QStringList given = parser.values(flags.at(i));
        if (given.size() > 1)
            return usage(QStringLiteral("%1 given twice").arg(name));
        if (given.size() == 1 && given.first().isEmpty())
            return usage(QStringLiteral("%1 needs a value").arg(name));
        values[i] = given.value(0);
    }
    const QString out = values[0], settingsPath = values[2], asOf = values[3];
    QString database = values[1];
    if (out.isEmpty())
        return usage(QStringLiteral("--csv OUT is required"));

    RecordExport::Options options;
    if (!asOf.isEmpty()) {
        options.today = QDate::fromString(asOf, Qt::ISODate);
        if (asOf.size() != 10 || !options.today.isValid())
            return usage(QStringLiteral("--as-of '%1' is not a date of the form YYYY-MM-DD").arg(asOf));
    }

    // A settings file named but missing would silently give no rate and no tax.
    if (!settingsPath.isEmpty() && !QFileInfo(settingsPath).isFile()) {
        std::fprintf(stderr, "tarnvale-export: cannot read the settings %s: no such file\n",
                     qPrintable(settingsPath));
        return 1;
    }

    QString problem;
    const ProgramFolder folder = settingsPath.isEmpty() || database.isEmpty()
                                     ? ProgramFolder::locate(QCoreApplication::applicationDirPath(), &problem)
                                     : ProgramFolder(QString());
    const SettingsFile settings(settingsPath.isEmpty() ? folder.settingsPath() : settingsPath);
    if (database.isEmpty()) {
        database = settings.read(QStringLiteral("Database"), QStringLiteral("Path"));
        if (database.isEmpty())
            database = folder.defaultDatabasePath();
    }

    const RecordExport::Result result =
        RecordExport::write(database, ExportSelection::all(), settings, out, options);
    if (result.outcome != RecordExport::Outcome::Done) {
        std::fprintf(stderr, "tarnvale-export: %s\n", qPrintable(result.error));
        if (!problem.isEmpty())
            std::fprintf(stderr, "tarnvale-export: %s\n", qPrintable(problem));
        return 1;
    }
    return 0;
}
