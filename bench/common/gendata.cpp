// tarnvale-gendata PATH RECORDS [GROUPS]: writes a generated tow-record database.
#include "TowDataGenerator.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: tarnvale-gendata PATH RECORDS [GROUPS]\n");
        return 2;
    }
    const int records = args.at(2).toInt();
    const int groups = args.size() > 3 ? args.at(3).toInt() : 200;
    return tarnvale::bench::TowDataGenerator::writeDatabase(args.at(1), records, groups) ? 0 : 1;
}
