// tarnvale-export: the CSV export on the command line, for scripted month-end exports.
//
//   tarnvale-export --csv OUT [--database PATH] [--settings PATH] [--as-of YYYY-MM-DD]
//
// The settings are the program's settings.ini unless --settings names another file; the
// database is --database, else Database/Path of the settings, else data.dll in the program's
// folder. --as-of fixes "today" for the days in storage, so that figures can be reproduced.
// OUT is replaced only after the whole export succeeded. Exit status 0 on success, 1 when the
// export failed, 2 for a wrong command line; every failure is explained on stderr.
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
    // The stored dates are read as the program reads them: in the user's locale, US-style
    // when no locale is set.
    if (QLocale::system().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    QString out, database, settingsPath, asOf;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        QString *target = arg == u"--csv"        ? &out
                          : arg == u"--database" ? &database
                          : arg == u"--settings" ? &settingsPath
                          : arg == u"--as-of"    ? &asOf
                                                 : nullptr;
        if (!target)
            return usage(QStringLiteral("unknown argument '%1'").arg(arg));
        if (i + 1 >= args.size() || args.at(i + 1).isEmpty())
            return usage(QStringLiteral("%1 needs a value").arg(arg));
        if (!target->isEmpty())
            return usage(QStringLiteral("%1 given twice").arg(arg));
        *target = args.at(++i);
    }
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
