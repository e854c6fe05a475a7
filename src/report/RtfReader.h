// Reads an RTF document, as word processors write it, into a QTextDocument.
//
// Covers groups and ignorable destinations, font and colour tables, paragraphs and line
// breaks, tabs and tab stops, alignment, indents and spacing, bold, italic, underline, strike,
// font face and size, colours, \'hh in the document's code page (Windows-1252 by default),
// \uN with \ucN, tables (\trowd, \cellx, \intbl, \cell, \row), PNG and JPEG pictures, and
// page size and margins. Hidden text (\v) and deleted revisions (\del, \deleted) are left
// out. Unknown control words are skipped. Malformed input never reads out of bounds and
// never loops: every step consumes input, and groups nest at most kMaxDepth deep (deeper
// groups are read over and left out). Reading is linear in the input's length; what passes
// a limit below is left out and named in Result::notes.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QMarginsF>
#include <QPageLayout>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTextFormat>

#include <memory>

class QTextDocument;

namespace tarnvale {

class RtfReader
{
  public:
    static constexpr int kMaxDepth = 200;
    static constexpr int kMaxColumns = 64;
    // Table cells in a whole document: a charge sheet has a few hundred at most; past this
    // the rest of the text is kept, in the last cell.
    static constexpr int kMaxCells = 5000;
    // Characters of the body (a paragraph, a cell and a picture count one each): a charge
    // sheet has a few thousand; past this the rest of the document is left out. With the
    // other limits, what the largest template allowed costs to read and lay out is bounded.
    static constexpr int kMaxCharacters = 250'000;
    // Decoded pictures: 25 million pixels is a 24-megapixel camera's photo (100 MB while it
    // is decoded); a document's pictures together are decoded up to 40 million, which keeps
    // opening the largest template allowed within a second or two. A picture is then kept
    // at no more than kPictureDpi for the size it is shown, and decoded once.
    static constexpr qint64 kMaxPicturePixels = 25'000'000;
    static constexpr qint64 kMaxDocumentPixels = 40'000'000;
    static constexpr qreal kPictureDpi = 300;
    // Headers, footers, text boxes and anchored pictures in one document.
    static constexpr int kMaxParts = 200;

    // Properties of the formats the reader makes that a painter draws itself.
    enum Property {
        DoubleUnderline = QTextFormat::UserProperty + 1, // bool, on characters
        LeaderTabs,                                      // QList<QVariant> of stop positions
        BorderTop,                                       // QPen, on paragraphs; then
        BorderLeft,                                      // the other sides in RTF's order
        BorderBottom,
        BorderRight,
        PageField, // int, on characters: PAGE, NUMPAGES or SECTIONPAGES times 16, plus
                   // the numbering (see PageNumbering)
        FieldId    // int, on characters: keeps the text of two fields apart
    };
    enum PageFieldKind { Page = 1, NumPages = 2, SectionPages = 3 };
    enum PageNumbering { Arabic, RomanLower, RomanUpper, LetterLower, LetterUpper };
    // A page number as a PageField's value shows it.
    static QString pageNumberText(int pageField, int page, int pages);

    struct Result
    {
        bool ok = false;                               // false when the bytes are not RTF at all
        QString error;                                 // why, when not ok
        QSizeF paperTwips{12240, 15840};               // \paperw, \paperh (US Letter by default)
        QMarginsF marginTwips{1800, 1440, 1800, 1440}; // \margl, \margt, \margr, \margb
        int pictures = 0;                              // pictures placed in the document
        int tables = 0;                                // tables placed in the document
        QStringList notes; // what was left out because it passed a limit, one line each
        // The page's header and footer (those of the first page when titlePage), at
        // headerTwips from the sheet's top and footerTwips from its bottom.
        std::shared_ptr<QTextDocument> header, footer, firstHeader, firstFooter;
        int headerTwips = 720, footerTwips = 720;
        bool titlePage = false;

        // The page size and margins the document asks for.
        QPageLayout pageLayout() const;
    };

    // Pictures decoded by an earlier read of the same bytes at the same resolution, by where
    // they start in the bytes.
    using PictureCache = QHash<qsizetype, QImage>;

    // Replaces the document's contents with the RTF's. Lengths become pixels at
    // dotsPerInch, the resolution a QTextDocument lays out at by default (see defaultDpi()).
    // With `pictures`, a picture found there is not decoded again, and one decoded is kept.
    static Result read(const QByteArray &rtf, QTextDocument &document, qreal dotsPerInch = 0,
                       PictureCache *pictures = nullptr);

    // The resolution QTextDocument uses when it has no paint device: the primary screen's
    // logical resolution, or 96 without a screen.
    static qreal defaultDpi();
};

} // namespace tarnvale
