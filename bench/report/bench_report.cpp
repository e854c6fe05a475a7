// Reading and laying out report templates that push the reader's limits, each against an
// ordinary template of the same size read in the same run: the time should grow with the
// size of the template, not with the number of cells, the length of a value or the pictures.
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextDocument>

#include <sys/resource.h>

#include <cstdio>
#include <functional>

#include "ProgramFolder.h"
#include "QtDialogs.h"
#include "ReportDocument.h"
#include "ReportFiller.h"
#include "ReportWindow.h"
#include "SettingsFile.h"

using namespace tarnvale;

namespace {

double peakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Read, laid out as the preview lays it out, and counted into pages: what opening the
// report window costs.
double openMs(const QByteArray &rtf)
{
    QElapsedTimer timer;
    timer.start();
    ReportDocument report;
    report.setRtf(rtf);
    report.pageCount(report.pageLayout());
    return double(timer.nsecsElapsed()) / 1e6;
}

// Ordinary paragraphs of text until the template is `bytes` long.
QByteArray ordinary(qsizetype bytes)
{
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ";
    while (rtf.size() < bytes)
        rtf += "Towed from the lot on Pier Street, charges as agreed.\\par\n";
    return rtf + "}";
}

QByteArray wideRow(int cells)
{
    QByteArray rtf = "{\\rtf1\\ansi\\trowd";
    for (int i = 1; i <= cells; ++i)
        rtf += "\\cellx" + QByteArray::number(i * 4);
    rtf += "\\pard\\intbl";
    for (int i = 0; i < cells; ++i)
        rtf += " x\\cell";
    return rtf + "\\row\\pard end\\par}";
}

// Rows of `perRow` cells until there are `cells`: past the limit on cells.
QByteArray manyCells(int cells, int perRow)
{
    QByteArray rtf = "{\\rtf1\\ansi ";
    for (int done = 0; done < cells;) {
        rtf += "\\trowd";
        for (int i = 1; i <= perRow; ++i)
            rtf += "\\cellx" + QByteArray::number(i * 150);
        rtf += "\\pard\\intbl";
        for (int i = 0; i < perRow && done < cells; ++i, ++done)
            rtf += " x\\cell";
        rtf += "\\row\n";
    }
    return rtf + "\\pard end\\par}";
}

// Cells the row never defined with \\cellx, as a damaged or generated template has them.
QByteArray undefinedCells(int cells)
{
    QByteArray rtf = "{\\rtf1\\ansi\\trowd\\pard\\intbl";
    for (int i = 0; i < cells; ++i)
        rtf += " x\\cell";
    return rtf + "\\row\\pard end\\par}";
}

// The most text a template may hold, in one word with nowhere to break a line.
QByteArray oneWord(int characters)
{
    return "{\\rtf1\\ansi " + QByteArray(characters, 'A') + "\\par}";
}

QByteArray longName(int characters)
{
    PrintSnapshot snapshot;
    snapshot.txtprint[0] = QString(characters, QLatin1Char('A'));
    return ReportFiller::fill(QStringLiteral("{\\rtf1\\ansi Customer ::custname::\\par}"),
                              snapshot, {}, QDate(2026, 1, 1))
        .toLatin1();
}

QByteArray bigPictures(int count, int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::darkBlue);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const QByteArray hex = png.toHex();
    QByteArray rtf = "{\\rtf1 ";
    for (int i = 0; i < count; ++i)
        rtf += "{\\pict\\pngblip\\picwgoal2880\\pichgoal2880 " + hex + "}\\par ";
    return rtf + "}";
}

// Answers the Save as PDF dialog with a file of its own; notices (of what a template's
// limits left out) wait for no one.
class PdfDialogs : public QtDialogs
{
  public:
    explicit PdfDialogs(QString path) : m_path(std::move(path)) {}
    void notify(const QString &, const QString &, MessageIcon) override {}
    QString chooseSaveFile(const QString &, const QString &, const QString &) override
    {
        return m_path;
    }

  private:
    QString m_path;
};

// The report window opened on a template, filled for a record, until it has been shown;
// with `pdf`, then saved as PDF, giving the longest the window's events waited meanwhile.
double windowMs(const QByteArray &templateBytes, const PrintSnapshot &snapshot,
                double *pdf = nullptr, double *longestWait = nullptr)
{
    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("Reports"));
    QFile file(folder.filePath(QStringLiteral("Reports/report.rtf")));
    file.open(QIODevice::WriteOnly);
    file.write(templateBytes);
    file.close();
    PdfDialogs dialogs(folder.filePath(QStringLiteral("sheet.pdf")));
    SettingsFile settings(folder.filePath(QStringLiteral("settings.ini")));
    QElapsedTimer timer;
    timer.start();
    auto *window = new ReportWindow(snapshot, settings, ProgramFolder(folder.path()), dialogs);
    window->show_selling();
    window->show();
    QCoreApplication::processEvents();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (pdf) {
        bool done = false;
        QObject::connect(window, &ReportWindow::pdfFinished, [&done] { done = true; });
        QElapsedTimer wait;
        timer.restart();
        wait.start();
        window->saveAsPdf();
        *longestWait = 0;
        while (!done) {
            *longestWait = std::max(*longestWait, double(wait.nsecsElapsed()) / 1e6);
            wait.restart();
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
        *pdf = double(timer.nsecsElapsed()) / 1e6;
    }
    delete window;
    return ms;
}

void compare(const char *what, const QByteArray &rtf)
{
    const double ms = openMs(rtf);
    const double peer = openMs(ordinary(rtf.size()));
    std::printf("%s (%.1f KB): %.0f ms, %.2fx an ordinary template of that size (%.0f ms); "
                "peak memory %.0f MB\n",
                what, rtf.size() / 1024.0, ms, ms / std::max(peer, 0.001), peer, peakMb());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    compare("template with one row of 2000 cells", wideRow(2000));
    compare("template with one row of 20000 cells", wideRow(20000));
    compare("template with one row of 2000 cells it never defined", undefinedCells(2000));
    compare("sheet with a 100000-character customer name", longName(100000));
    compare("template with 14080 cells in rows of 64", manyCells(14080, 64));
    compare("template with 10000 rows of one cell", manyCells(10000, 1));
    compare("template of 250000 characters with nowhere to break a line", oneWord(250000));
    {
        const QByteArray ordinary16 = ordinary(16 * 1024 * 1024);
        QElapsedTimer timer;
        timer.start();
        ReportDocument report;
        report.setRtf(ordinary16);
        report.pageCount(report.pageLayout());
        std::printf("ordinary template of 16 MB (the largest file read): %.0f ms\n",
                    double(timer.nsecsElapsed()) / 1e6);
        QTemporaryDir folder;
        report.setRtf(manyCells(12160, 8));
        timer.restart();
        report.writePdf(folder.filePath(QStringLiteral("cells.pdf")));
        std::printf("PDF of a template with 12160 cells in rows of 8: %.0f ms\n",
                    double(timer.nsecsElapsed()) / 1e6);
    }
    const QByteArray pictures = bigPictures(20, 4470);
    compare("template with 20 pictures of 4470 x 4470 pixels (two fill the pixels allowed)",
            pictures);
    {
        QTemporaryDir folder;
        ReportDocument report;
        report.setRtf(pictures);
        QElapsedTimer timer;
        timer.start();
        report.writePdf(folder.filePath(QStringLiteral("sheet.pdf")));
        std::printf("PDF of those 20 pictures: %.0f ms, %.1f MB file; peak memory %.0f MB\n",
                    double(timer.elapsed()),
                    QFileInfo(folder.filePath(QStringLiteral("sheet.pdf"))).size() / 1048576.0,
                    peakMb());
    }
    PrintSnapshot snapshot;
    snapshot.txtprint[6] = QStringLiteral("2011");
    const QByteArray shipped = [] {
        QFile file(QStringLiteral(TARNVALE_SHIPPED_TEMPLATE));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();
    const double ordinaryWindow = windowMs(shipped, snapshot);
    PrintSnapshot longNamed = snapshot;
    longNamed.txtprint[0] = QString(100000, QLatin1Char('A'));
    const double longWindow = windowMs(shipped, longNamed);
    std::printf("report window, shipped template, a 100000-character customer name: %.0f ms, "
                "%.2fx with an ordinary record (%.0f ms)\n",
                longWindow, longWindow / std::max(ordinaryWindow, 0.001), ordinaryWindow);
    // The word processor templates of the tests.
    for (const QFileInfo &fixture :
         QDir(QStringLiteral(TARNVALE_FIXTURES)).entryInfoList({QStringLiteral("*.rtf")})) {
        QFile file(fixture.filePath());
        file.open(QIODevice::ReadOnly);
        const double ms = windowMs(file.readAll(), snapshot);
        std::printf("report window, template %s: %.0f ms, %.2fx the shipped template\n",
                    qPrintable(fixture.fileName()), ms, ms / std::max(ordinaryWindow, 0.001));
    }
    const double wideWindow = windowMs(wideRow(2000), snapshot);
    std::printf("report window, a row of 2000 cells: %.0f ms, %.2fx the shipped template\n",
                wideWindow, wideWindow / std::max(ordinaryWindow, 0.001));
    const double picturesWindow = windowMs(pictures, snapshot);
    std::printf("report window, 20 pictures of 4470 x 4470 pixels: %.0f ms, %.2fx the shipped "
                "template\n",
                picturesWindow, picturesWindow / std::max(ordinaryWindow, 0.001));
    double pdf = 0, longestWait = 0;
    const double cellsWindow = windowMs(manyCells(12160, 8), snapshot, &pdf, &longestWait);
    std::printf("report window, 12160 cells in rows of 8: opened in %.0f ms, saved as PDF in "
                "%.0f ms, the window's events waiting at most %.0f ms meanwhile\n",
                cellsWindow, pdf, longestWait);
    return 0;
}
