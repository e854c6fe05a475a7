// An RTF document ready to show, print and save as PDF, with the page size and margins it
// asks for.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPageLayout>
#include <QPageRanges>
#include <QString>
#include <QTextDocument>

class QPagedPaintDevice;

namespace tarnvale {

class ReportDocument
{
  public:
    ReportDocument();

    // Reads the RTF into the document. Bytes that are not RTF are shown as plain text
    // (UTF-8, or Windows-1252 when not valid UTF-8); the result is then false.
    bool setRtf(const QByteArray &rtf);
    // The document becomes the one line given (used when there is nothing else to show).
    void setMessage(const QString &line);

    QTextDocument &document() { return m_document; }
    const QTextDocument &document() const { return m_document; }
    const QByteArray &rtf() const { return m_rtf; }
    QPageLayout pageLayout() const { return m_layout; }
    // The width of the text between the margins, in the document's pixels.
    qreal textWidth() const;

    // Prints the pages on the device, laid out for the device's own page and margins,
    // `copies` times over: every page, or those in `pages` (numbered from 1). False when the
    // device cannot be painted on; nothing is printed when no page is in the range.
    bool print(QPagedPaintDevice &device, int copies = 1, const QPageRanges &pages = {}) const;
    // The page numbers of a document of pageCount pages that a range prints, in order.
    static QList<int> pagesToPrint(int pageCount, const QPageRanges &pages);
    // Writes the document as a PDF file with its own page size and margins. The file is
    // replaced only when it was written whole.
    bool writePdf(const QString &path, QString *error = nullptr) const;
    // How many pages the document fills with the given page layout.
    int pageCount(const QPageLayout &layout) const;

  private:
    void rebuild(QTextDocument &target) const;

    QTextDocument m_document;
    QByteArray m_rtf;
    QString m_message;
    QPageLayout m_layout;
    qreal m_dpi;
};

} // namespace tarnvale
