#include <QApplication>
#include <QLocale>

#include "AppContext.h"
#include "MainWindow.h"
#include "ProgramFolder.h"
#include "QtDialogs.h"

#include <cstdio>

int main(int argc, char *argv[])
{
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
