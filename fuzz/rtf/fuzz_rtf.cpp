// libFuzzer target: any bytes into the RTF reader, then a layout of the document it built.
#include <QByteArray>
#include <QGuiApplication>
#include <QPainter>
#include <QPicture>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>

#include "ReportDocument.h"
#include "RtfReader.h"

// Fontconfig keeps the patterns of every font it has been asked for; that is its cache,
// not a leak of the reader.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_rtf";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = new QGuiApplication(argc, argv);
    (void)app;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray rtf =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QTextDocument document;
    const tarnvale::RtfReader::Result result = tarnvale::RtfReader::read(rtf, document, 96);
    (void)result.pageLayout();
    document.setTextWidth(480);
    (void)document.size();
    // The report's own reading, layout and drawing of its first page and its last: page
    // fields, headers and footers, and what the layout moves.
    tarnvale::ReportDocument report;
    report.setRtf(rtf);
    QPicture picture;
    QPainter painter(&picture);
    report.paintPage(painter, 0);
    report.paintPage(painter, report.pageCount() - 1);
    return 0;
}
