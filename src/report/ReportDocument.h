// An RTF document ready to show, print and save as PDF, with the page size and margins it
// asks for.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QList>
#include <QPageLayout>
#include <QPageRanges>
#include <QString>
#include <QStringList>
#include <QTextDocument>

#include <functional>

#include "RtfReader.h"

class QPagedPaintDevice;
class QPainter;

namespace tarnvale {

class ReportDocument
{
  public:
    // What printing the document needs, as plain values: another thread prints from it
    // while this document changes or goes.
    struct Source
    {
        QByteArray rtf;
        QString message;
        QPageLayout layout;
        qreal dpi = 96;
        QFont font;
        RtfReader::PictureCache pictures;
    };
    // Called before the pages are laid out (pages 0) and after each page is drawn; false
    // stops the printing.
    using Progress = std::function<bool(int done, int pages)>;

    ReportDocument();
    // A document that only prints and writes `source` (the shown document stays empty);
    // made on any thread, with no screen asked for its resolution.
    explicit ReportDocument(const Source &source);
    Source source() const;

    // Reads the RTF into the document. Bytes that are not RTF are shown as plain text
    // (UTF-8, or Windows-1252 when not valid UTF-8); the result is then false.
    bool setRtf(const QByteArray &rtf);
    // The document becomes the one line given (used when there is nothing else to show).
    void setMessage(const QString &line);

    QTextDocument &document() { return m_document; }
    const QTextDocument &document() const { return m_document; }
    const QByteArray &rtf() const { return m_rtf; }
    QPageLayout pageLayout() const { return m_layout; }
    // What the reader left out because it passed one of its limits, one line each.
    const QStringList &notes() const { return m_notes; }
    // The width of the text between the margins, in the document's pixels.
    qreal textWidth() const;
    // The whole sheet of paper, in the document's pixels.
    QSizeF paperSize() const;
    // How many pages the document fills on its own page.
    int pageCount() const { return m_document.pageCount(); }
    // Paints page `page` (from 0) with its margins, the painter's origin at the sheet's
    // top-left corner, one unit a pixel of the document.
    void paintPage(QPainter &painter, int page) const;

    // Prints the pages on the device, laid out for the device's own page and margins,
    // `copies` times over: every page, or those in `pages` (numbered from 1). False when the
    // device cannot be painted on; nothing is printed when no page is in the range.
    bool print(QPagedPaintDevice &device, int copies = 1, const QPageRanges &pages = {},
               const Progress &progress = {}) const;
    // The page numbers of a document of pageCount pages that a range prints, in order.
    static QList<int> pagesToPrint(int pageCount, const QPageRanges &pages);
    // Writes the document as a PDF file with its own page size and margins. The file is
    // replaced only when it was written whole (not when `progress` stopped it).
    bool writePdf(const QString &path, QString *error = nullptr,
                  const Progress &progress = {}) const;
    // How many pages the document fills with the given page layout.
    int pageCount(const QPageLayout &layout) const;

  private:
    struct Sheet; // one page's geometry, in the document's pixels
    Sheet sheet(const QPageLayout &layout) const;
    RtfReader::Result rebuild(QTextDocument &target) const;
    void layOut();
    void paint(QPainter &painter, QTextDocument &body, const RtfReader::Result &parts, int page,
               const Sheet &sheet) const;

    QTextDocument m_document;
    QByteArray m_rtf;
    QString m_message;
    QStringList m_notes;
    RtfReader::Result m_parts; // the header and footer
    QPageLayout m_layout;
    qreal m_dpi;
    mutable RtfReader::PictureCache m_pictures; // of m_rtf, decoded once for every read
};

} // namespace tarnvale
