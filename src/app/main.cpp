#include <QApplication>
#include <QLocale>

#include "AppContext.h"
#include "MainWindow.h"
#include "ProgramFolder.h"
#include "QtDialogs.h"
#include "YardMove.h"

#include <cstdio>
#include <cstring>

namespace {

// tarnvale --move-to-server <data.dll> <uri>: no window, the outcome on stdout or stderr.
int moveToServer(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: tarnvale --move-to-server <data.dll> <postgresql://...>\n");
        return 1;
    }
    const tarnvale::YardMove::Result result = tarnvale::YardMove::toServer(
        QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (!result.moved) {
        std::fprintf(stderr, "tarnvale: %s\n", qPrintable(result.reason));
        return 1;
    }
    std::printf("%s\n", qPrintable(result.summary()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--move-to-server") == 0)
        return moveToServer(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnvale"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.1"));
    // A machine with no locale set (the bare C locale) reads and writes dates the US way,
    // month/day/year, rather than in a form the yard's typed dates would never match.
    if (QLocale::system().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    // Beside the program when its folder can be written, else the user's data folder.
    QString problem;
    const tarnvale::ProgramFolder folder =
        tarnvale::ProgramFolder::locate(QApplication::applicationDirPath(), &problem);
    if (!problem.isEmpty())
        std::fprintf(stderr, "tarnvale: %s\n", qPrintable(problem));

    tarnvale::QtDialogs dialogs;
    tarnvale::AppContext context(folder.path(), dialogs);
    tarnvale::MainWindow window(context);
    window.load();
    window.showMaximized();
    return app.exec();
}
