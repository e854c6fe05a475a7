#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QLocale>
#include <QStandardPaths>

#include "AppContext.h"
#include "MainWindow.h"
#include "ProgramFolder.h"
#include "QtDialogs.h"
#include "YardMove.h"

#include <cstdio>

namespace {

// tarnvale --move-to-server <data.dll> <uri>: no window, the outcome on stdout or stderr.
int moveToServer(const QString &file, const QString &uri)
{
    const tarnvale::YardMove::Result result = tarnvale::YardMove::toServer(file, uri);
    if (!result.moved) {
        std::fprintf(stderr, "tarnvale: %s\n", qPrintable(result.reason));
        return 1;
    }
    std::printf("%s\n", qPrintable(result.summary()));
    return 0;
}

// Everything but the window: help, version, the move onto a server and a wrong command line
// (exit status 2).
int commandLine(const QCommandLineParser &parser, bool parsed, const QCommandLineOption &move)
{
    const QString usage = QStringLiteral("Try 'tarnvale --help'.");
    if (!parsed) {
        std::fprintf(stderr, "tarnvale: %s\n%s\n", qPrintable(parser.errorText()), qPrintable(usage));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::puts("tarnvale " TARNVALE_VERSION);
        return 0;
    }
    const QStringList args = parser.positionalArguments();
    if (!parser.isSet(move)) {
        std::fprintf(stderr, "tarnvale: unexpected argument '%s'\n%s\n", qPrintable(args.first()),
                     qPrintable(usage));
        return 2;
    }
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: tarnvale --move-to-server <data.dll> <postgresql://...>\n%s\n",
                     qPrintable(usage));
        return 2;
    }
    return moveToServer(args.at(0), args.at(1));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("Tarnvale"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARNVALE_VERSION));
    // The command line is read before any window system is reached, so that --help, --version
    // and --move-to-server need no display. Qt's own options (-platform, -style ...) are left
    // to QApplication.
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Record keeper for towing and impound businesses. Without arguments the "
                       "main window opens."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption move(
        QStringLiteral("move-to-server"),
        QStringLiteral("Copies every table of the SQLite file <data.dll> into the empty "
                       "PostgreSQL database at <uri> in one transaction, then exits."));
    parser.addOption(move);
    parser.addPositionalArgument(QStringLiteral("data.dll uri"),
                                 QStringLiteral("With --move-to-server: the yard's database file "
                                                "and the server's postgresql:// address."),
                                 QStringLiteral("[<data.dll> <uri>]"));
    for (const char *name : {"platform", "platformpluginpath", "platformtheme", "plugin", "style",
                             "stylesheet", "qwindowgeometry", "qwindowtitle", "qwindowicon",
                             "session", "display"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    QCommandLineOption reverse(QStringLiteral("reverse"));
    reverse.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(reverse);
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const bool parsed = parser.parse(args);
    if (!parsed || parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")) ||
        parser.isSet(QStringLiteral("version")) || parser.isSet(move) ||
        !parser.positionalArguments().isEmpty()) {
        QCoreApplication app(argc, argv);
        return commandLine(parser, parsed, move);
    }

    QApplication app(argc, argv);
    QIcon icon; // every window shows it
    for (const char *size : {"48", "256"})
        icon.addFile(QStringLiteral(":/icons/%1/tarnvale.png").arg(QLatin1String(size)));
    QApplication::setWindowIcon(icon);
    // A machine with no locale set (the bare C locale) reads and writes dates the US way,
    // month/day/year, rather than in a form the yard's typed dates would never match.
    if (QLocale::system().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    // Beside the program when its folder can be written, else the user's data folder.
    QString problem;
    QStringList notes;
    const tarnvale::ProgramFolder folder =
        tarnvale::ProgramFolder::locate(QApplication::applicationDirPath(), &problem, &notes);
    if (!problem.isEmpty())
        std::fprintf(stderr, "tarnvale: %s\n", qPrintable(problem));

    tarnvale::QtDialogs dialogs;
    // Where this user's windows were on this computer: not the yard's, which may be shared.
    const QString workstationFile =
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
            .filePath(QStringLiteral("workstation.ini"));
    // File > Open Recent ends the event loop with another database chosen: the main window
    // starts again on it, from a fresh store, for the rest of this run.
    QString chosenDatabase;
    int status = 0;
    do {
        tarnvale::AppContext context(folder, dialogs, workstationFile);
        if (!chosenDatabase.isEmpty())
            context.database.useDatabase(chosenDatabase);
        tarnvale::MainWindow window(context);
        window.load();
        window.showMaximized();
        if (!notes.isEmpty())
            dialogs.notify(QStringLiteral("Tarnvale"),
                           notes.join(QString::fromUtf16(tarnvale::kCrLf)),
                           tarnvale::MessageIcon::Information);
        notes.clear();
        status = app.exec();
        chosenDatabase = window.chosenDatabase();
    } while (!chosenDatabase.isEmpty());
    return status;
}
