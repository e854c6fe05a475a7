#include <QApplication>
#include <QLocale>

#include "AppContext.h"
#include "MainWindow.h"
#include "QtDialogs.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnvale"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.1"));
    // A machine with no locale set (the bare C locale) reads and writes dates the US way,
    // month/day/year, rather than in a form the yard's typed dates would never match.
    if (QLocale::system().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    tarnvale::QtDialogs dialogs;
    tarnvale::AppContext context(QApplication::applicationDirPath(), dialogs);
    tarnvale::MainWindow window(context);
    window.load();
    window.showMaximized();
    return app.exec();
}
