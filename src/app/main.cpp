#include <QApplication>

#include "AppContext.h"
#include "MainWindow.h"
#include "QtDialogs.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnvale"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.1"));

    tarnvale::QtDialogs dialogs;
    tarnvale::AppContext context(QApplication::applicationDirPath(), dialogs);
    tarnvale::MainWindow window(context);
    window.load();
    window.showMaximized();
    return app.exec();
}
