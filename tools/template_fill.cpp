// Fills a template with a sample record and writes the filled RTF and this program's PDF of
// it, for scripts/template-check.sh to set beside a word processor's PDF of the same RTF, and
// prints how many runs of text its pages cut.
// Usage: template_fill TEMPLATE.rtf OUT-PREFIX [longest]   (writes OUT-PREFIX.rtf and .pdf;
// with "longest", every amount is the longest a sheet prints)
#include <QFile>
#include <QGuiApplication>
#include <QLocale>

#include <algorithm>
#include <cstdio>

#include "ReportDocument.h"
#include "ReportFiller.h"
#include "DrawnText.h"
#include "SampleSheet.h"

using namespace tarnvale;

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: template_fill TEMPLATE.rtf OUT-PREFIX [longest]\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    PrintSnapshot s = test::sampleSheet();
    if (argc == 4) {
        std::fill(s.txtprint.begin() + 14, s.txtprint.begin() + 23, QStringLiteral("$9,999,999.99"));
        s.grandTotal = QStringLiteral("$99,999,999.99");
    }
    const ReportFiller::Company company{QStringLiteral("Bay Tow & Storage"), QStringLiteral("9 Pier St"),
                                        QStringLiteral("Portland"), QStringLiteral("ME"),
                                        QStringLiteral("04102")};
    const QByteArray filled =
        ReportFiller::fill(QString::fromLatin1(in.readAll()), s, company, QDate(2026, 2, 9))
            .toLatin1();
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    QFile out(prefix + QStringLiteral(".rtf"));
    if (!out.open(QIODevice::WriteOnly) || out.write(filled) != filled.size()) {
        std::fprintf(stderr, "cannot write %s.rtf\n", argv[2]);
        return 1;
    }
    out.close();
    ReportDocument report;
    report.setRtf(filled);
    QString error;
    if (!report.writePdf(prefix + QStringLiteral(".pdf"), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    for (const QString &note : report.notes())
        std::fprintf(stderr, "note: %s\n", qPrintable(note));
    // How many runs of text are cut by a clip or the sheet's edge, on standard output.
    const test::DrawnText drawn(report);
    std::printf("%d\n", int(std::count_if(drawn.runs.begin(), drawn.runs.end(),
                                          [](const test::DrawnRun &run) { return !run.whole(); })));
    return 0;
}
