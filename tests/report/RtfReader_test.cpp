#include "RtfReader.h"

#include <QBuffer>
#include <QImage>
#include <QLocale>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QAbstractTextDocumentLayout>
#include <QPen>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

using namespace tarnvale;

namespace {

// Lengths in these tests are read at 96 dots per inch: 15 twips to the pixel.
constexpr qreal kDpi = 96.0;

QString textOf(const QByteArray &rtf, RtfReader::Result *result = nullptr)
{
    QTextDocument doc;
    const RtfReader::Result r = RtfReader::read(rtf, doc, kDpi);
    if (result)
        *result = r;
    QString text = doc.toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

QTextCharFormat formatOf(QTextDocument &doc, const QString &word)
{
    const QTextCursor found =
        doc.find(word, 0, QTextDocument::FindCaseSensitively | QTextDocument::FindWholeWords);
    if (found.isNull())
        return {};
    QTextCursor at(&doc);
    at.setPosition(found.selectionEnd());
    return at.charFormat();
}

QByteArray hex(const QByteArray &bytes)
{
    QByteArray out = bytes.toHex();
    for (qsizetype i = 64; i < out.size(); i += 65)
        out.insert(i, '\n'); // word processors wrap picture data
    return out;
}

QByteArray imageBytes(const char *format, QColor colour)
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 100);
    return bytes;
}

// A real JPEG whose header claims another size: what a reader sees before decoding it.
QByteArray jpegClaiming(int width, int height)
{
    QByteArray bytes = imageBytes("JPEG", Qt::green);
    const qsizetype sof = bytes.indexOf("\xFF\xC0");
    Q_ASSERT(sof > 0);
    bytes[sof + 5] = char(height >> 8);
    bytes[sof + 6] = char(height & 0xFF);
    bytes[sof + 7] = char(width >> 8);
    bytes[sof + 8] = char(width & 0xFF);
    return bytes;
}

QByteArray picture(const QByteArray &bytes, const char *kind = "jpegblip")
{
    return QByteArray("{\\pict\\") + kind + "\\picwgoal1440\\pichgoal720 " + hex(bytes) + "}";
}

QList<QTextImageFormat> imagesOf(const QTextDocument &doc)
{
    QList<QTextImageFormat> images;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isImageFormat())
                images.append(f.toImageFormat());
        }
    }
    return images;
}

QList<QTextTable *> tablesOf(QTextDocument &doc)
{
    QList<QTextTable *> tables;
    for (QTextFrame *frame : doc.rootFrame()->childFrames())
        if (auto *table = qobject_cast<QTextTable *>(frame))
            tables.append(table);
    return tables;
}

QString cellText(QTextTable *table, int row, int col)
{
    const QTextTableCell cell = table->cellAt(row, col);
    QTextCursor c = cell.firstCursorPosition();
    c.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    return c.selectedText();
}

} // namespace

class RtfReaderTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void text_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("expected");
        const struct
        {
            const char *name, *rtf;
            const char16_t *text;
        } rows[] = {
            {"paragraphs", "{\\rtf1\\ansi Hello\\par World\\par}", u"Hello\nWorld"},
            {"nested groups", "{\\rtf1 a{\\b b{\\i c{\\ul d}}e}f}", u"abcdef"},
            {"line breaks wrapped by the writer",
             "{\\rtf1 one\r\ntwo\\par\r\nthree}", u"onetwo\nthree"},
            {"Windows-1252 hex",
             "{\\rtf1\\ansi\\ansicpg1252 caf\\'e9 \\'80 \\'93\\'94}", u"café € \u201C\u201D"},
            {"unicode with fallback", "{\\rtf1\\uc1 \\u233?t\\u-1279?}", u"ét\uFB01"},
            {"unicode, hex fallback", "{\\rtf1\\uc1\\u8364\\'80 euro}", u"\u20AC euro"},
            {"uc2", "{\\rtf1\\uc2\\u233\\'3f\\'3fX}", u"\u00E9X"},
            {"uc0", "{\\rtf1\\uc0\\u233 X}", u"\u00E9X"},
            {"uc is kept per group", "{\\rtf1{\\uc2\\u233 ab}\\u233 cd}", u"\u00E9\u00E9d"},
            {"surrogate pair", "{\\rtf1\\u-10179?\\u-8704?}", u"\U0001F600"},
            {"ignorable destination", "{\\rtf1{\\*\\unknowndest secret {nested}}shown}", u"shown"},
            {"tables of the document",
             "{\\rtf1{\\fonttbl{\\f0\\fswiss Arial;}{\\f1 Times;}}"
             "{\\colortbl;\\red255\\green0\\blue0;}{\\stylesheet{\\s0 Normal;}}"
             "{\\info{\\title T}{\\author A}}body}",
             u"body"},
            {"field shows its result",
             "{\\rtf1 see {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}}.}",
             u"see link."},
            {"old field instruction", "{\\rtf1{\\field{\\fldinst PAGE}{\\fldrslt 1}}}", u"1"},
            {"hidden text", "{\\rtf1 a{\\v hidden}b\\v c\\v0 d}", u"abd"},
            {"deleted revision", "{\\rtf1 keep{\\deleted gone}\\del gone too}", u"keep"},
            {"deleted paragraph marks",
             "{\\rtf1 line1\\par {\\del note\\par more\\par}line2}", u"line1\nline2"},
            {"escapes", "{\\rtf1 \\{x\\} \\\\ y}", u"{x} \\ y"},
            {"line and tab", "{\\rtf1 a\\line b\\tab c}", u"a\u2028b\tc"},
            {"special characters",
             "{\\rtf1 \\emdash\\endash\\lquote\\rquote\\ldblquote\\rdblquote\\bullet\\~}",
             u"\u2014\u2013\u2018\u2019\u201C\u201D\u2022\u00A0"},
            {"unknown control words", "{\\rtf1 \\foo12 a\\barbaz-3 b\\x c}", u"abc"},
            {"binary data skipped", "{\\rtf1 a{\\*\\blob\\bin3 {}x}b}", u"ab"},
            {"after the last brace", "{\\rtf1 a}b{c}", u"a"},
            {"list text kept", "{\\rtf1{\\listtext\\'95\\tab}item\\par}", u"\u2022\titem"},
            {"picture of an unknown kind", "{\\rtf1 a{\\pict\\wmetafile8 0102ff}b}", u"ab"},
            // Not whole RTF: read as far as it goes.
            {"unbalanced open", "{\\rtf1 {{{{ a", u" a"},
            {"unbalanced close", "{\\rtf1 }}}}} a", u""},
            {"cut in a control word", "{\\rtf1 \\", u""},
            {"cut in a hex escape", "{\\rtf1 \\'", u""},
            {"bad hex escape", "{\\rtf1 \\'zz}", u"zz"},
            {"huge parameter", "{\\rtf1\\fs99999999999999999999 \\u99999999999 a}", u""},
            {"huge binary length", "{\\rtf1\\bin2147483647 }", u""},
            {"negative binary length", "{\\rtf1\\bin-5 a}", u"a"},
            {"colour index out of range", "{\\rtf1{\\colortbl;}\\cf99 a\\cb-4 b}", u"ab"},
            {"font index unknown", "{\\rtf1\\f42 a}", u"a"},
            {"picture never closed", "{\\rtf1{\\pict\\pngblip 8950", u""},
        };
        for (const auto &row : rows)
            QTest::newRow(row.name) << QByteArray(row.rtf) << QString::fromUtf16(row.text);
    }
    void text()
    {
        QFETCH(QByteArray, rtf);
        RtfReader::Result result;
        QTEST(textOf(rtf, &result), "expected");
        QVERIFY(result.ok);
    }

    void notRtf()
    {
        QTextDocument doc;
        doc.setPlainText(QStringLiteral("old"));
        const RtfReader::Result result = RtfReader::read("Just words", doc, kDpi);
        QVERIFY(!result.ok);
        QVERIFY(!result.error.isEmpty());
        QVERIFY(doc.isEmpty());
    }

    // Bold, italic, underline, strike ("-" when not), points, family and any colour.
    void characterFormats_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("format");
        QTest::newRow("plain") << "plain" << "---- 10 Arial";
        QTest::newRow("bold") << "bold" << "B--- 10 Arial";
        QTest::newRow("italic") << "italic" << "-I-- 10 Arial";
        QTest::newRow("underline") << "under" << "--U- 10 Arial";
        QTest::newRow("double underline") << "double" << "--U- 10 Arial";
        QTest::newRow("strike") << "struck" << "---S 10 Arial";
        QTest::newRow("font and size") << "big" << "---- 18 Times New Roman";
        QTest::newRow("colour") << "red" << "---- 10 Arial #ff0000";
        QTest::newRow("plain resets") << "reset" << "---- 12 Arial";
        QTest::newRow("b0 ends bold") << "unbold" << "---- 10 Arial";
    }
    void characterFormats()
    {
        QFETCH(QString, word);
        QTextDocument doc;
        QVERIFY(RtfReader::read(
                    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman\\fcharset0 "
                    "Times New Roman;}}"
                    "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
                    "\\f0\\fs20 plain {\\b bold} {\\i italic} {\\ul under} {\\uldb double} "
                    "{\\strike struck} {\\f1\\fs36 big} {\\cf1 red} {\\b\\cf2\\plain reset} "
                    "\\b x \\b0 unbold\\par}",
                    doc, kDpi)
                    .ok);
        const QTextCharFormat f = formatOf(doc, word);
        QVERIFY2(f.isValid(), qPrintable(word));
        QString format = QStringLiteral("%1%2%3%4 %5 %6")
                             .arg(QChar(f.fontWeight() == QFont::Bold ? u'B' : u'-'))
                             .arg(QChar(f.fontItalic() ? u'I' : u'-'))
                             .arg(QChar(f.fontUnderline() ? u'U' : u'-'))
                             .arg(QChar(f.fontStrikeOut() ? u'S' : u'-'))
                             .arg(f.fontPointSize())
                             .arg(f.fontFamilies().toStringList().value(0));
        if (f.foreground().style() != Qt::NoBrush)
            format += u' ' + f.foreground().color().name();
        QTEST(format, "format");
    }

    void paragraphFormats()
    {
        QTextDocument doc;
        QVERIFY(
            RtfReader::read("{\\rtf1\\pard\\qc centred\\par"
                            "\\pard\\qr\\li720\\ri360\\fi-360\\sb240\\sa120 right\\par"
                            "\\pard\\qj\\sl360\\slmult1\\tx1440\\tqr\\tx5760\\tqc\\tx3000 tabs\\par"
                            "\\pard\\sl-300 exact\\par "
                            "plain}",
                            doc, kDpi)
                .ok);
        QCOMPARE(doc.blockCount(), 5);
        const QTextBlockFormat centred = doc.findBlockByNumber(0).blockFormat();
        QCOMPARE(centred.alignment(), Qt::AlignHCenter);
        const QTextBlockFormat right = doc.findBlockByNumber(1).blockFormat();
        QCOMPARE(right.alignment(), Qt::AlignRight);
        QCOMPARE(right.leftMargin(), 48.0);
        QCOMPARE(right.rightMargin(), 24.0);
        QCOMPARE(right.textIndent(), -24.0);
        QCOMPARE(right.topMargin(), 16.0);
        QCOMPARE(right.bottomMargin(), 8.0);
        const QTextBlockFormat tabs = doc.findBlockByNumber(2).blockFormat();
        QCOMPARE(tabs.alignment(), Qt::AlignJustify);
        QCOMPARE(tabs.lineHeightType(), int(QTextBlockFormat::ProportionalHeight));
        QCOMPARE(tabs.lineHeight(), 150.0);
        const QList<QTextOption::Tab> stops = tabs.tabPositions();
        QCOMPARE(stops.size(), 3);
        QCOMPARE(stops[0].position, 96.0);
        QCOMPARE(stops[0].type, QTextOption::LeftTab);
        QCOMPARE(stops[1].position, 200.0);
        QCOMPARE(stops[1].type, QTextOption::CenterTab);
        QCOMPARE(stops[2].position, 384.0);
        QCOMPARE(stops[2].type, QTextOption::RightTab);
        QCOMPARE(doc.findBlockByNumber(3).blockFormat().lineHeightType(),
                 int(QTextBlockFormat::FixedHeight));
        QCOMPARE(doc.findBlockByNumber(3).blockFormat().tabPositions().size(), 0);
        QCOMPARE(doc.findBlockByNumber(3).blockFormat().lineHeight(), 20.0);
        // \pard returns to the defaults
        QCOMPARE(doc.findBlockByNumber(4).blockFormat().alignment(), Qt::AlignLeft);
        QCOMPARE(doc.findBlockByNumber(4).blockFormat().leftMargin(), 0.0);
    }

    void hangingIndentTab()
    {
        // A bullet paragraph: the tab stop at the left indent is where the text starts.
        // Stops are measured from the page margin in RTF, from the line start in Qt.
        QTextDocument doc;
        QVERIFY(RtfReader::read(
                    "{\\rtf1\\pard\\li360\\fi-240\\tx360\\tx1440 {\\listtext \\'95\\tab}item\\par}",
                    doc, kDpi)
                    .ok);
        const QList<QTextOption::Tab> stops = doc.firstBlock().blockFormat().tabPositions();
        QCOMPARE(stops.size(), 2);
        QCOMPARE(stops[0].position, 16.0); // 360 twips less the line start at 360 - 240
        QCOMPARE(stops[1].position, 88.0);
    }

    // A table as a word processor writes it: row properties first, then each cell's
    // paragraph with \intbl, row properties repeated before \row.
    void wordProcessorTable()
    {
        const QByteArray rtf =
            "{\\rtf1\\ansi{\\colortbl;\\red0\\green0\\blue0;\\red200\\green220\\blue240;}"
            "\\pard before\\par\n"
            "\\trowd\\trgaph108\\trleft-108\\trbrdrt\\brdrs\\brdrw10 \\trbrdrb\\brdrs\\brdrw10 "
            "\\clbrdrt\\brdrs\\brdrw10\\brdrcf1 \\clbrdrb\\brdrs\\brdrw30 \\clcbpat2\\clshdng2500\\cellx1332"
            "\\clbrdrb\\brdrs\\brdrw10 \\cellx2772\\cellx4212\n"
            "\\pard\\intbl\\qc Item\\cell Qty\\cell Price\\cell"
            "\\trowd\\trgaph108\\trleft-108\\trbrdrt\\brdrs\\brdrw10 \\trbrdrb\\brdrs\\brdrw10 "
            "\\clbrdrt\\brdrs\\brdrw10\\brdrcf1 \\clbrdrb\\brdrs\\brdrw30 \\clcbpat2\\clshdng2500\\cellx1332"
            "\\clbrdrb\\brdrs\\brdrw10 \\cellx2772\\cellx4212\\row\n"
            "\\trowd\\trgaph108\\trleft-108\\cellx1332\\cellx2772\\cellx4212\n"
            "\\pard\\intbl Hookup\\par second line\\cell 1\\cell {\\b 45.00}\\cell\\row\n"
            "\\pard after\\par}";
        QTextDocument doc;
        RtfReader::Result result = RtfReader::read(rtf, doc, kDpi);
        QVERIFY(result.ok);
        QCOMPARE(result.tables, 1);
        const QList<QTextTable *> tables = tablesOf(doc);
        QCOMPARE(tables.size(), 1);
        QTextTable *table = tables.first();
        QCOMPARE(table->rows(), 2);
        QCOMPARE(table->columns(), 3);
        QCOMPARE(cellText(table, 0, 0), QStringLiteral("Item"));
        QCOMPARE(cellText(table, 0, 2), QStringLiteral("Price"));
        QCOMPARE(cellText(table, 1, 0), QStringLiteral("Hookup\u2029second line"));
        QCOMPARE(cellText(table, 1, 2), QStringLiteral("45.00"));
        QCOMPARE(table->cellAt(0, 0).firstCursorPosition().blockFormat().alignment(),
                 Qt::AlignHCenter);
        // Column widths from \cellx, 1440 twips each
        const QList<QTextLength> widths = table->format().columnWidthConstraints();
        QCOMPARE(widths.size(), 3);
        QCOMPARE(widths[1].type(), QTextLength::FixedLength);
        QCOMPARE(widths[1].rawValue(), 96.0);
        const QTextTableCellFormat first = table->cellAt(0, 0).format().toTableCellFormat();
        QCOMPARE(first.background().color(), QColor(200, 220, 240)); // the colour over the percentage
        QCOMPARE(first.bottomBorder(), 2.0);
        QCOMPARE(first.bottomBorderStyle(), QTextFrameFormat::BorderStyle_Solid);
        QCOMPARE(first.leftPadding(), 7.2);
        // The paragraph before lies right before the table, the one after right after it.
        QCOMPARE(doc.firstBlock().text(), QStringLiteral("before"));
        QCOMPARE(doc.lastBlock().text(), QStringLiteral("after"));
        QVERIFY(table->firstPosition() <= doc.firstBlock().next().position());
    }

    void rowsWithDifferentCells()
    {
        // A heading row of one cell over rows of two: the heading spans both columns.
        QTextDocument doc;
        QVERIFY(RtfReader::read("{\\rtf1\\trowd\\cellx4000\\pard\\intbl Heading\\cell\\row"
                                "\\trowd\\cellx1000\\cellx4000\\pard\\intbl a\\cell b\\cell\\row"
                                "\\trowd\\cellx4000\\pard\\intbl Footer\\cell\\row\\pard end}",
                                doc, kDpi)
                    .ok);
        QTextTable *table = tablesOf(doc).value(0);
        QVERIFY(table);
        QCOMPARE(table->rows(), 3);
        QCOMPARE(table->columns(), 2);
        QCOMPARE(table->cellAt(0, 0).columnSpan(), 2);
        QCOMPARE(cellText(table, 1, 1), QStringLiteral("b"));
        QCOMPARE(table->cellAt(2, 0).columnSpan(), 2);
        QCOMPARE(cellText(table, 2, 0), QStringLiteral("Footer"));
    }

    void malformedTables_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::newRow("cell without row definition")
            << QByteArray("{\\rtf1 a\\cell b\\cell\\row c}") << QStringLiteral("abc");
        QTest::newRow("row without table")
            << QByteArray("{\\rtf1 a\\row b}") << QStringLiteral("ab");
        QTest::newRow("table never closed")
            << QByteArray("{\\rtf1\\trowd\\cellx100\\intbl a\\cell b") << QStringLiteral("ab");
        QTest::newRow("more cells than defined")
            << QByteArray("{\\rtf1\\trowd\\cellx100\\intbl a\\cell b\\cell c\\cell\\row}")
            << QStringLiteral("abc");
    }
    void malformedTables()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument doc;
        QVERIFY(RtfReader::read(rtf, doc, kDpi).ok);
        QString letters = doc.toPlainText();
        letters.remove(QRegularExpression(QStringLiteral("\\s")));
        QTEST(letters, "text");
    }

    void columnLimit()
    {
        QByteArray rtf = "{\\rtf1\\trowd";
        for (int i = 1; i <= 500; ++i)
            rtf += "\\cellx" + QByteArray::number(i * 10);
        rtf += "\\intbl";
        for (int i = 0; i < 500; ++i)
            rtf += " x\\cell";
        rtf += "\\row}";
        QTextDocument doc;
        QVERIFY(RtfReader::read(rtf, doc, kDpi).ok);
        QTextTable *table = tablesOf(doc).value(0);
        QVERIFY(table);
        QCOMPARE(table->columns(), RtfReader::kMaxColumns);
        QCOMPARE(doc.toPlainText().count(QLatin1Char('x')), 500);
    }

    void pictures_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<int>("count");
        QTest::addColumn<QColor>("colour");
        const QByteArray png = hex(imageBytes("PNG", Qt::red));
        const QByteArray jpeg = hex(imageBytes("JPEG", Qt::blue));
        QTest::newRow("png")
            << QByteArray("{\\rtf1 logo {\\pict\\pngblip\\picw4\\pich3\\picwgoal1440\\pichgoal720 " + png + "} end}")
            << 1 << QColor(Qt::red);
        QTest::newRow("jpeg")
            << QByteArray("{\\rtf1 {\\pict\\jpegblip\\picwgoal1440\\pichgoal720\n" + jpeg + "}}")
            << 1 << QColor(Qt::blue);
        QTest::newRow("shape picture with metafile fallback")
            << QByteArray("{\\rtf1 {\\*\\shppict{\\pict{\\*\\picprop{\\sp{\\sn x}{\\sv " "1}}}\\pngblip\\picwgoal1440\\pichgoal720 " + png + "}}{\\nonshppict{\\pict\\wmetafile8\\picwgoal1440 0102}}}")
            << 1 << QColor(Qt::red);
        QTest::newRow("binary picture data")
            << QByteArray("{\\rtf1 {\\pict\\pngblip\\picwgoal1440\\pichgoal720\\bin") + QByteArray::number(imageBytes("PNG", Qt::red).size()) + " " + imageBytes("PNG", Qt::red) + "}}"
            << 1 << QColor(Qt::red);
        QTest::newRow("corrupt data")
            << QByteArray("{\\rtf1 {\\pict\\pngblip 89504e470d0a1a0a0000}}") << 0 << QColor();
        QTest::newRow("hidden picture")
            << QByteArray("{\\rtf1 {\\v{\\pict\\pngblip " + png + "}}}") << 0 << QColor();
    }
    void pictures()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(int, count);
        QTextDocument doc;
        const RtfReader::Result result = RtfReader::read(rtf, doc, kDpi);
        QVERIFY(result.ok);
        QCOMPARE(result.pictures, count);
        const QList<QTextImageFormat> images = imagesOf(doc);
        QCOMPARE(images.size(), count);
        if (count == 0)
            return;
        QCOMPARE(images[0].width(), 96.0); // \picwgoal1440: one inch
        QCOMPARE(images[0].height(), 48.0);
        const QImage image =
            doc.resource(QTextDocument::ImageResource, QUrl(images[0].name())).value<QImage>();
        QCOMPARE(image.size(), QSize(4, 3));
        QFETCH(QColor, colour);
        const QColor pixel = image.pixelColor(1, 1);
        QVERIFY2(qAbs(pixel.red() - colour.red()) < 16 && qAbs(pixel.blue() - colour.blue()) < 16,
                 qPrintable(pixel.name()));
    }

    // What passes a limit is left out and named; what is within it is still read.
    void limits_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<int>("pictures");
        QTest::addColumn<int>("xs");
        QTest::addColumn<QString>("note");
        const QByteArray small = picture(imageBytes("PNG", Qt::red), "pngblip");
        QTest::newRow("within every limit") << "{\\rtf1 x" + small + "}" << 1 << 1 << QString();
        QTest::newRow("a picture of more pixels than any photo")
            << "{\\rtf1 x" + picture(jpegClaiming(10000, 10000)) + small + "}" << 1 << 1
            << "A picture of 10000 x 10000 pixels was left out: pictures of more than 40 "
               "million pixels are not shown.";
        QTest::newRow("pictures past the document's pixels")
            << "{\\rtf1 x" + picture(jpegClaiming(6000, 6000)) + picture(jpegClaiming(6000, 6000)) +
                   picture(jpegClaiming(6000, 6000)) + "}"
            << 2 << 1
            << "Pictures were left out: the pictures of a document may have 100 million "
               "pixels in all.";
        QByteArray cells = "{\\rtf1 ";
        for (int row = 0; row < 201; ++row) {
            cells += "\\trowd\\cellx1000\\cellx2000\\intbl";
            for (int cell = 0; cell < 50; ++cell)
                cells += " x\\cell";
            cells += "\\row\n";
        }
        QTest::newRow("cells past the document's limit")
            << cells + "\\pard\\intbl x\\cell\\row}" << 0 << 10051
            << "Table cells beyond the first 10000 were shown as plain text.";
        QTest::newRow("groups nested past the limit")
            << "{\\rtf1 x" + QByteArray(300, '{') + "deep" + QByteArray(300, '}') + "}" << 0 << 1
            << "Parts nested deeper than 200 levels were left out.";
    }
    void limits()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument doc;
        const RtfReader::Result result = RtfReader::read(rtf, doc, kDpi);
        QVERIFY(result.ok);
        QTEST(result.pictures, "pictures");
        QTEST(int(doc.toPlainText().count(QLatin1Char('x'))), "xs");
        QFETCH(QString, note);
        QCOMPARE(result.notes, note.isEmpty() ? QStringList() : QStringList{note});
    }

    // A large photo placed as a one-inch logo is kept at print resolution for that size.
    void largePictureKeptAtPrintResolution()
    {
        QImage photo(3000, 1500, QImage::Format_RGB32);
        photo.fill(Qt::blue);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        photo.save(&buffer, "PNG");
        QTextDocument doc;
        QCOMPARE(RtfReader::read("{\\rtf1 " + picture(png, "pngblip") + "}", doc, kDpi).pictures, 1);
        const QList<QTextImageFormat> images = imagesOf(doc);
        QCOMPARE(images.size(), 1);
        QCOMPARE(images[0].width(), 96.0); // shown one inch wide
        const QImage kept =
            doc.resource(QTextDocument::ImageResource, QUrl(images[0].name())).value<QImage>();
        QCOMPARE(kept.size(), QSize(300, 150)); // 300 dots to the inch
    }

    // The page's header and footer are read apart from the body, with the section's page.
    void headerAndFooter()
    {
        QTextDocument doc;
        const RtfReader::Result r = RtfReader::read(
            "{\\rtf1{\\fonttbl{\\f0 Arial;}}\\margt720\\sectd\\margtsxn1718\\headery500\\footery600"
            "\\titlepg{\\header\\pard\\qc{\\b Bay Tow}\\par 9 Pier St\\par}{\\headerf First}"
            "{\\footer\\pard Page {\\field{\\*\\fldinst PAGE}{\\fldrslt 1}}\\par}"
            "{\\*\\pgdsctbl{\\pgdsc0{\\header Old}}}\\pard Body\\par}",
            doc, kDpi);
        QCOMPARE(doc.toPlainText(), QStringLiteral("Body"));
        QVERIFY(r.header && r.footer && r.firstHeader);
        QVERIFY(!r.firstFooter);
        QCOMPARE(r.header->toPlainText(), QStringLiteral("Bay Tow\n9 Pier St"));
        QCOMPARE(r.header->firstBlock().blockFormat().alignment(), Qt::AlignHCenter);
        QCOMPARE(r.firstHeader->toPlainText(), QStringLiteral("First"));
        QCOMPARE(r.footer->toPlainText(), QStringLiteral("Page 1"));
        QCOMPARE(r.headerTwips, 500);
        QCOMPARE(r.footerTwips, 600);
        QVERIFY(r.titlePage);
        QCOMPARE(r.marginTwips.top(), 1718.0); // the section's margin, below the header
    }

    // Pictures and text boxes anchored to a paragraph float at the side they stand nearer
    // to; one anchored to a character where it stands goes with the text.
    void anchoredShapes()
    {
        const QByteArray png = hex(imageBytes("PNG", Qt::red));
        const QByteArray rtf =
            "{\\rtf1\\paperw12240\\margl1440\\margr1440 "
            "{\\shp{\\*\\shpinst\\shpleft6480\\shptop0\\shpright9360\\shpbottom1440"
            "{\\sp{\\sn posrelh}{\\sv 0}}{\\sp{\\sn pib}{\\sv {\\pict\\pngblip " + png + "}}}"
            "{\\sp{\\sn fillBlip}{\\sv {\\pict\\pngblip " + png + "}}}}}Logo line\\par "
            "{\\field{\\*\\fldinst SHAPE}{\\fldrslt{\\shp{\\*\\shpinst\\shpleft0\\shptop0"
            "\\shpright2880\\shpbottom720{\\sp{\\sn fLine}{\\sv 0}}"
            "{\\shptxt Box ::vehyear::\\par}}}}}Beside the box\\par "
            "Mark {\\shp{\\*\\shpinst\\shpleft0\\shptop-100\\shpright288\\shpbottom100"
            "{\\sp{\\sn posrelh}{\\sv 3}}{\\sp{\\sn pib}{\\sv {\\pict\\pngblip " + png + "}}}}} here\\par}";
        QTextDocument doc;
        const RtfReader::Result r = RtfReader::read(rtf, doc, kDpi);
        QCOMPARE(r.pictures, 2);
        QList<QTextFrame *> frames;
        for (QTextFrame *frame : doc.rootFrame()->childFrames())
            frames.append(frame);
        QCOMPARE(frames.size(), 2);
        QCOMPARE(frames[0]->frameFormat().position(), QTextFrameFormat::FloatRight);
        QCOMPARE(frames[0]->frameFormat().width().rawValue(), 192.0); // two inches
        QCOMPARE(frames[1]->frameFormat().position(), QTextFrameFormat::FloatLeft);
        QCOMPARE(frames[1]->frameFormat().border(), 0.0); // fLine 0
        QTextCursor box = frames[1]->firstCursorPosition();
        box.setPosition(frames[1]->lastPosition(), QTextCursor::KeepAnchor);
        QCOMPARE(box.selectedText(), QStringLiteral("Box ::vehyear::"));
        const QString text = doc.toPlainText();
        QVERIFY2(text.contains(QStringLiteral("Logo line")) &&
                     text.contains(QStringLiteral("Beside the box")),
                 qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("Mark \uFFFC here"))); // the picture, inline
    }

    // Tables: a row wider than the page (widths written relative to it) fits the text
    // area; a table right after another keeps its own columns; cell padding is kept.
    void tableLayout()
    {
        const QByteArray rtf =
            "{\\rtf1\\paperw12240\\margl1440\\margr1440 "
            "\\trowd\\clpadt90\\clpadft3\\clpadr90\\clpadl30\\cellx19662\\cellx65534"
            "\\pard\\intbl Label\\cell Value\\cell\\row"
            "\\trowd\\cellx1000\\cellx2000\\cellx9000\\pard\\intbl a\\cell b\\cell c\\cell\\row"
            "\\trowd\\cellx1000\\cellx2000\\cellx9000\\pard\\intbl d\\cell e\\cell f\\cell\\row"
            "\\pard after\\par}";
        QTextDocument doc;
        QCOMPARE(RtfReader::read(rtf, doc, kDpi).tables, 2);
        const QList<QTextTable *> tables = tablesOf(doc);
        QCOMPARE(tables.size(), 2);
        QCOMPARE(tables[0]->columns(), 2);
        QCOMPARE(tables[1]->columns(), 3);
        QCOMPARE(tables[1]->rows(), 2);
        const QList<QTextLength> widths = tables[0]->format().columnWidthConstraints();
        QCOMPARE(widths.size(), 2);
        QVERIFY2(qAbs(widths[0].rawValue() + widths[1].rawValue() - 624.0) < 1.0,
                 qPrintable(QString::number(widths[0].rawValue() + widths[1].rawValue())));
        QVERIFY(qAbs(widths[0].rawValue() / 624.0 - 19662.0 / 65534.0) < 0.01);
        QCOMPARE(tables[0]->cellAt(0, 0).format().toTableCellFormat().leftPadding(), 6.0);
        QCOMPARE(tables[0]->cellAt(0, 0).format().toTableCellFormat().rightPadding(), 6.0);
        QCOMPARE(tables[0]->cellAt(0, 0).format().toTableCellFormat().topPadding(), 2.0);
        QCOMPARE(cellText(tables[1], 1, 2), QStringLiteral("f"));
    }

    // What a painter draws for the reader: shading, borders, leaders, double underlines.
    void drawnDecorations()
    {
        QTextDocument doc;
        QVERIFY(RtfReader::read(
                    "{\\rtf1{\\colortbl;\\red31\\green56\\blue100;\\red255\\green255\\blue255;}"
                    "\\pard\\cbpat1{\\cf2 BANNER}\\par"
                    "\\pard\\brdrb\\brdrs\\brdrw30\\brdrcf1\\brsp40 Letterhead\\par"
                    "\\pard\\tldot\\tqr\\tx8000 Towing\\tab {\\uldb 265.00}\\par"
                    "\\pard plain\\par}",
                    doc, kDpi)
                    .ok);
        const QTextBlockFormat banner = doc.findBlockByNumber(0).blockFormat();
        QCOMPARE(banner.background().color(), QColor(31, 56, 100));
        QCOMPARE(formatOf(doc, QStringLiteral("BANNER")).foreground().color(), QColor(Qt::white));
        const QTextBlockFormat rule = doc.findBlockByNumber(1).blockFormat();
        QCOMPARE(rule.property(RtfReader::BorderBottom).value<QPen>().color(), QColor(31, 56, 100));
        QCOMPARE(rule.property(RtfReader::BorderBottom).value<QPen>().widthF(), 2.0);
        QVERIFY(!rule.hasProperty(RtfReader::BorderTop));
        const QTextBlockFormat amount = doc.findBlockByNumber(2).blockFormat();
        QCOMPARE(amount.property(RtfReader::LeaderTabs).toList(), QList<QVariant>{8000.0 / 15});
        QVERIFY(formatOf(doc, QStringLiteral("265")).hasProperty(RtfReader::DoubleUnderline));
        QVERIFY(formatOf(doc, QStringLiteral("265")).fontUnderline());
        const QTextBlockFormat plain = doc.findBlockByNumber(3).blockFormat();
        QVERIFY(!plain.hasProperty(RtfReader::LeaderTabs) && !plain.hasProperty(RtfReader::BorderBottom));
        QCOMPARE(plain.background().style(), Qt::NoBrush);
    }

    // An amount on a right tab at the right margin stays on its line, however long it is.
    void rightTabAtTheMargin_data()
    {
        QTest::addColumn<QByteArray>("amount");
        QTest::addColumn<int>("stop");
        for (const char *amount : {"5.00", "265.00", "$12,345.67", "$1,234,567.89"}) {
            QTest::addRow("%s at the margin", amount) << QByteArray(amount) << 9360;
            QTest::addRow("%s just inside", amount) << QByteArray(amount) << 9346;
            QTest::addRow("%s past it", amount) << QByteArray(amount) << 9500;
        }
    }
    void rightTabAtTheMargin()
    {
        QFETCH(QByteArray, amount);
        QFETCH(int, stop);
        QTextDocument doc;
        QVERIFY(RtfReader::read("{\\rtf1{\\fonttbl{\\f0 Arial;}}\\paperw12240\\margl1440\\margr1440"
                                "\\f0\\fs22\\pard\\tqr\\tx" + QByteArray::number(stop) +
                                    " Amount due\\tab " + amount + "\\par}",
                                doc, kDpi)
                    .ok);
        doc.setDocumentMargin(0);
        doc.setPageSize(QSizeF(624, 900)); // 6.5 inches between the margins
        const QTextBlock block = doc.firstBlock();
        doc.documentLayout()->blockBoundingRect(block); // lays it out
        QCOMPARE(block.layout()->lineCount(), 1);
        QVERIFY(block.blockFormat().tabPositions().value(0).position < 624);
    }

    // Characters of the Symbol and Wingdings fonts print as what they show.
    void symbolFonts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Symbol bullet as a byte") << QByteArray("\\f1\\'b7") << QStringLiteral("\u2022");
        QTest::newRow("Symbol bullet as Unicode") << QByteArray("\\f1\\u61623\\'3f") << QStringLiteral("\u2022");
        QTest::newRow("Symbol letters") << QByteArray("\\f1 abp") << QStringLiteral("\u03B1\u03B2\u03C0");
        QTest::newRow("Symbol arrow") << QByteArray("\\f1\\u61614\\'ae") << QStringLiteral("\u2192");
        QTest::newRow("Wingdings tick and box") << QByteArray("\\f2\\'fc\\'a8") << QStringLiteral("\u2713\u25FB");
        QTest::newRow("other fonts untouched") << QByteArray("\\f0 ab\\'b7") << QStringLiteral("ab\u00B7");
    }
    void symbolFonts()
    {
        QFETCH(QByteArray, text);
        QTextDocument doc;
        QVERIFY(RtfReader::read("{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}"
                                "{\\f2 Wingdings;}}{" + text + "}\\par}",
                                doc, kDpi)
                    .ok);
        QTEST(doc.toPlainText(), "expected");
        QVERIFY(!formatOf(doc, doc.toPlainText()).fontFamilies().toStringList().contains(
            QStringLiteral("Symbol")));
    }

    void pageSetup_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<QMarginsF>("marginsPt");
        QTest::newRow("defaults: letter")
            << QByteArray("{\\rtf1 x}") << int(QPageSize::Letter) << QMarginsF(90, 72, 90, 72);
        QTest::newRow("A4 with margins")
            << QByteArray("{\\rtf1\\paperw11906\\paperh16838\\margl1134\\margr1134\\margt1417\\marg" "b1417 x}")
            << int(QPageSize::A4) << QMarginsF(56.7, 70.85, 56.7, 70.85);
        QTest::newRow("absurd margins fall back")
            << QByteArray("{\\rtf1\\margl20000\\margr20000 x}") << int(QPageSize::Letter)
            << QMarginsF(90, 72, 90, 72);
        QTest::newRow("absurd paper falls back") << QByteArray("{\\rtf1\\paperw5\\paperh-3 x}")
            << int(QPageSize::Letter) << QMarginsF(90, 72, 90, 72);
    }
    void pageSetup()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QMarginsF, marginsPt);
        QTextDocument doc;
        const QPageLayout layout = RtfReader::read(rtf, doc, kDpi).pageLayout();
        QVERIFY(layout.isValid());
        QTEST(int(layout.pageSize().id()), "pageSize");
        const QMarginsF m = layout.margins(QPageLayout::Point);
        const auto text = [](const QMarginsF &m) {
            return QStringLiteral("%1 %2 %3 %4").arg(m.left(), 0, 'f', 2).arg(m.top(), 0, 'f', 2)
                .arg(m.right(), 0, 'f', 2).arg(m.bottom(), 0, 'f', 2);
        };
        QCOMPARE(text(m), text(marginsPt));
    }

    // Input that is not whole RTF is read as far as it goes.
    void malformedInput_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("expected");
        QTest::newRow("long control word")
            << QByteArray("{\\rtf1\\") + QByteArray(100000, 'a') + "}" << QString();
        QTest::newRow("nul bytes") << QByteArray("{\\rtf1 a\0b\0}", 12) << QStringLiteral("ab");
    }
    void malformedInput()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument doc;
        QVERIFY(RtfReader::read(rtf, doc, kDpi).ok);
        QTEST(doc.toRawText(), "expected");
    }

    void deepNesting()
    {
        // Far deeper than the limit: read in bounded time, and the text after the deep part
        // is still read.
        const int depth = 200000;
        QByteArray rtf = "{\\rtf1 start";
        rtf += QByteArray(depth, '{') + "deep" + QByteArray(depth, '}');
        rtf += " end}";
        QTextDocument doc;
        QVERIFY(RtfReader::read(rtf, doc, kDpi).ok);
        const QString text = doc.toPlainText();
        QVERIFY(text.startsWith(QStringLiteral("start")));
        QVERIFY(text.endsWith(QStringLiteral("end")));
        QVERIFY(!text.contains(QStringLiteral("deep")));
    }

};

QTEST_MAIN(RtfReaderTest)
#include "RtfReader_test.moc"
