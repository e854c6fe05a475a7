#include "RtfReader.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QImage>
#include <QLocale>
#include <QPen>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

using namespace tarnvale;

namespace {

// Lengths in these tests are read at 96 dots per inch: 15 twips to the pixel.
constexpr qreal kDpi = 96.0;
#define FONTS "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}{\\f2 Wingdings;}}"

QString num(qreal v)
{
    return QString::number(v);
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

// Bold, italic, underline (D: double), strike ("-" when not), points, family, any colour.
QString characterOf(const QTextCharFormat &f)
{
    const QChar under = f.boolProperty(RtfReader::DoubleUnderline) ? u'D' : u'U';
    QString s = QStringLiteral("%1%2%3%4 %5 %6")
                    .arg(QChar(f.fontWeight() == QFont::Bold ? u'B' : u'-'))
                    .arg(QChar(f.fontItalic() ? u'I' : u'-'))
                    .arg(f.fontUnderline() ? under : QChar(u'-'))
                    .arg(QChar(f.fontStrikeOut() ? u'S' : u'-'))
                    .arg(f.fontPointSize())
                    .arg(f.fontFamilies().toStringList().join(u','));
    if (f.foreground().style() != Qt::NoBrush)
        s += u' ' + f.foreground().color().name();
    return s;
}

// A paragraph's layout in short: its alignment, then whatever differs from the defaults.
QString paragraphOf(const QTextBlockFormat &f)
{
    const Qt::Alignment a = f.alignment();
    QString s = a == Qt::AlignLeft      ? QStringLiteral("L")
                : a == Qt::AlignRight   ? QStringLiteral("R")
                : a == Qt::AlignHCenter ? QStringLiteral("C")
                : a == Qt::AlignJustify ? QStringLiteral("J")
                                        : num(a);
    const std::pair<const char *, qreal> lengths[] = {{"li", f.leftMargin()},
                                                      {"ri", f.rightMargin()},
                                                      {"fi", f.textIndent()},
                                                      {"sb", f.topMargin()},
                                                      {"sa", f.bottomMargin()}};
    for (const auto &[name, value] : lengths)
        if (value != 0)
            s += u' ' + QLatin1String(name) + num(value);
    if (f.lineHeightType() == QTextBlockFormat::ProportionalHeight)
        s += QStringLiteral(" lh%1%").arg(f.lineHeight());
    else if (f.lineHeightType() == QTextBlockFormat::FixedHeight)
        s += QStringLiteral(" lh%1px").arg(f.lineHeight());
    for (const QTextOption::Tab &tab : f.tabPositions())
        s += QStringLiteral(" tab") + QLatin1Char("LRCD"[tab.type]) + num(tab.position);
    for (const QVariant &leader : f.property(RtfReader::LeaderTabs).toList())
        s += QStringLiteral(" leader") + num(leader.toReal());
    if (f.background().style() != Qt::NoBrush)
        s += QStringLiteral(" bg") + f.background().color().name();
    for (int side = RtfReader::BorderTop; side <= RtfReader::BorderRight; ++side) {
        if (f.hasProperty(side)) {
            const QPen pen = f.property(side).value<QPen>();
            s += QStringLiteral(" border%1:%2px%3")
                     .arg(QLatin1Char("TLBR"[side - RtfReader::BorderTop]))
                     .arg(pen.widthF())
                     .arg(pen.color().name());
        }
    }
    return s;
}

QStringList paragraphsOf(const QTextDocument &doc)
{
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        out << paragraphOf(b.blockFormat());
    return out;
}

QByteArray imageBytes(const char *format, QColor colour, QSize size = {4, 3})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, qstrcmp(format, "JPEG") == 0 ? 100 : -1);
    return bytes;
}

QByteArray hex(const QByteArray &bytes)
{
    QByteArray out = bytes.toHex();
    for (qsizetype i = 64; i < out.size(); i += 65)
        out.insert(i, '\n'); // word processors wrap picture data
    return out;
}

QByteArray picture(const QByteArray &bytes, const char *kind = "jpegblip")
{
    return QByteArray("{\\pict\\") + kind + "\\picwgoal1440\\pichgoal720 " + hex(bytes) + "}";
}

// A real JPEG whose header claims another size: what a reader sees before decoding it.
QByteArray jpegClaiming(int width, int height)
{
    QByteArray bytes = imageBytes("JPEG", Qt::green);
    const qsizetype sof = bytes.indexOf("\xFF\xC0");
    Q_ASSERT(sof > 0);
    const char size[] = {char(height >> 8), char(height & 0xFF), char(width >> 8),
                         char(width & 0xFF)};
    bytes.replace(sof + 5, 4, size, 4);
    return bytes;
}

QList<QTextImageFormat> imagesOf(const QTextDocument &doc)
{
    QList<QTextImageFormat> images;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                images.append(it.fragment().charFormat().toImageFormat());
    return images;
}

QImage imageOf(const QTextDocument &doc, const QTextImageFormat &image)
{
    return doc.resource(QTextDocument::ImageResource, QUrl(image.name())).value<QImage>();
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

// Every table as "ROWSxCOLUMNS: cell|cell / next row", a cell spanning columns with "*SPAN".
QString tablesText(QTextDocument &doc)
{
    QStringList tables;
    for (QTextTable *table : tablesOf(doc)) {
        QStringList rows;
        for (int r = 0; r < table->rows(); ++r) {
            QStringList cells;
            for (int c = 0; c < table->columns(); c += table->cellAt(r, c).columnSpan()) {
                const int span = table->cellAt(r, c).columnSpan();
                cells << cellText(table, r, c) + (span > 1 ? u'*' + num(span) : QString());
            }
            rows << cells.join(u'|');
        }
        tables << QStringLiteral("%1x%2: ").arg(table->rows()).arg(table->columns()) +
                      rows.join(QStringLiteral(" / "));
    }
    return tables.join(QStringLiteral(" ; "));
}

const QByteArray kWordProcessorTable =
    "{\\rtf1\\ansi{\\colortbl;\\red0\\green0\\blue0;\\red200\\green220\\blue240;}"
    "\\pard before\\par\n"
    "\\trowd\\trgaph108\\trleft-108\\trbrdrt\\brdrs\\brdrw10 \\trbrdrb\\brdrs\\brdrw10 "
    "\\clbrdrt\\brdrs\\brdrw10\\brdrcf1 \\clbrdrb\\brdrs\\brdrw30 "
    "\\clcbpat2\\clshdng2500\\cellx1332"
    "\\clbrdrb\\brdrs\\brdrw10 \\cellx2772\\cellx4212\n"
    "\\pard\\intbl\\qc Item\\cell Qty\\cell Price\\cell"
    "\\trowd\\trgaph108\\trleft-108\\trbrdrt\\brdrs\\brdrw10 \\trbrdrb\\brdrs\\brdrw10 "
    "\\clbrdrt\\brdrs\\brdrw10\\brdrcf1 \\clbrdrb\\brdrs\\brdrw30 "
    "\\clcbpat2\\clshdng2500\\cellx1332"
    "\\clbrdrb\\brdrs\\brdrw10 \\cellx2772\\cellx4212\\row\n"
    "\\trowd\\trgaph108\\trleft-108\\cellx1332\\cellx2772\\cellx4212\n"
    "\\pard\\intbl Hookup\\par second line\\cell 1\\cell {\\b 45.00}\\cell\\row\n"
    "\\pard after\\par}";

// A row wider than the page (widths relative to it), then a table right after another.
const QByteArray kWideTables =
    "{\\rtf1\\paperw12240\\margl1440\\margr1440 "
    "\\trowd\\clpadt90\\clpadft3\\clpadr90\\clpadl30\\cellx19662\\cellx65534"
    "\\pard\\intbl Label\\cell Value\\cell\\row"
    "\\trowd\\cellx1000\\cellx2000\\cellx9000\\pard\\intbl a\\cell b\\cell c\\cell\\row"
    "\\trowd\\cellx1000\\cellx2000\\cellx9000\\pard\\intbl d\\cell e\\cell f\\cell\\row"
    "\\pard after\\par}";

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
            {"line breaks wrapped by the writer", "{\\rtf1 one\r\ntwo\\par\r\nthree}",
             u"onetwo\nthree"},
            {"Windows-1252 hex", "{\\rtf1\\ansi\\ansicpg1252 caf\\'e9 \\'80 \\'93\\'94}",
             u"café € \u201C\u201D"},
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
            {"deleted paragraph marks", "{\\rtf1 line1\\par {\\del note\\par more\\par}line2}",
             u"line1\nline2"},
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
            // Characters of the Symbol and Wingdings fonts print as what they show.
            {"Symbol bullet as a byte", FONTS "{\\f1\\'b7}}", u"\u2022"},
            {"Symbol bullet as Unicode", FONTS "{\\f1\\u61623\\'3f}}", u"\u2022"},
            {"Symbol letters", FONTS "{\\f1 abp}}", u"\u03B1\u03B2\u03C0"},
            {"Symbol arrow", FONTS "{\\f1\\u61614\\'ae}}", u"\u2192"},
            {"Wingdings tick and box", FONTS "{\\f2\\'fc\\'a8}}", u"\u2713\u25FB"},
            {"other fonts untouched", FONTS "{\\f0 ab\\'b7}}", u"ab\u00B7"},
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
            {"cell without row definition", "{\\rtf1 a\\cell b\\cell\\row c}", u"abc"},
            {"row without table", "{\\rtf1 a\\row b}", u"ab"},
            {"table never closed", "{\\rtf1\\trowd\\cellx100\\intbl a\\cell b", u"ab"},
        };
        for (const auto &row : rows)
            QTest::newRow(row.name) << QByteArray(row.rtf) << QString::fromUtf16(row.text);
        QTest::newRow("nul bytes") << QByteArray("{\\rtf1 a\0b\0}", 12) << QStringLiteral("ab");
        QTest::newRow("long control word") << "{\\rtf1\\" + QByteArray(100000, 'a') + "}"
                                           << "";
        // Far deeper than the limit: read in bounded time, the text after it still read.
        QTest::newRow("deep nesting") << "{\\rtf1 start" + QByteArray(200000, '{') + "deep" +
                                             QByteArray(200000, '}') + " end}"
                                      << "start end";
    }
    void text()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument doc;
        QVERIFY(RtfReader::read(rtf, doc, kDpi).ok);
        QString text = doc.toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        QTEST(text.remove(QRegularExpression(QStringLiteral("[\uFDD0\uFDD1]"))),
              "expected"); // frames
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

    void characterFormats_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("format");
        QTest::newRow("plain") << "plain"
                               << "---- 10 Arial";
        QTest::newRow("bold") << "bold"
                              << "B--- 10 Arial";
        QTest::newRow("italic") << "italic"
                                << "-I-- 10 Arial";
        QTest::newRow("underline") << "under"
                                   << "--U- 10 Arial";
        QTest::newRow("double underline") << "double"
                                          << "--D- 10 Arial";
        QTest::newRow("strike") << "struck"
                                << "---S 10 Arial";
        QTest::newRow("font and size") << "big"
                                       << "---- 18 Times New Roman";
        QTest::newRow("colour") << "red"
                                << "---- 10 Arial #ff0000";
        QTest::newRow("plain resets") << "reset"
                                      << "---- 12 Arial";
        QTest::newRow("b0 ends bold") << "unbold"
                                      << "---- 10 Arial";
        QTest::newRow("no Symbol face") << "\u03B1\u03B2"
                                        << "---- 10 ";
    }
    void characterFormats()
    {
        QFETCH(QString, word);
        QTextDocument doc;
        QVERIFY(RtfReader::read(
                    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman"
                    "\\fcharset0 Times New Roman;}{\\f2\\fcharset2 Symbol;}}"
                    "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
                    "\\f0\\fs20 plain {\\b bold} {\\i italic} {\\ul under} {\\uldb double} "
                    "{\\strike struck} {\\f1\\fs36 big} {\\cf1 red} {\\b\\cf2\\plain reset} "
                    "\\b x \\b0 unbold {\\f2 ab}\\par}",
                    doc, kDpi)
                    .ok);
        const QTextCharFormat f = formatOf(doc, word);
        QVERIFY2(f.isValid(), qPrintable(word));
        QTEST(characterOf(f), "format");
    }

    // Each paragraph's layout; \pard returns to the defaults. Stops are measured from the
    // page margin in RTF, from the line start in Qt.
    void paragraphFormats_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QStringList>("paragraphs");
        QTest::newRow("alignment, indents, spacing")
            << QByteArray("{\\rtf1\\pard\\qc centred\\par"
                          "\\pard\\qr\\li720\\ri360\\fi-360\\sb240\\sa120 right\\par\\pard plain}")
            << QStringList{"C", "R li48 ri24 fi-24 sb16 sa8", "L"};
        QTest::newRow("line spacing and tab stops")
            << QByteArray("{\\rtf1\\pard\\qj\\sl360\\slmult1\\tx1440\\tqr\\tx5760\\tqc\\tx3000 tabs"
                          "\\par\\pard\\sl-300 exact\\par}")
            << QStringList{"J lh150% tabL96 tabC200 tabR384", "L lh20px"};
        QTest::newRow("hanging indent of a bullet")
            << QByteArray(
                   "{\\rtf1\\pard\\li360\\fi-240\\tx360\\tx1440 {\\listtext \\'95\\tab}item\\par}")
            << QStringList{"L li24 fi-16 tabL16 tabL88"};
        QTest::newRow("shading, borders, leaders")
            << QByteArray("{\\rtf1{\\colortbl;\\red31\\green56\\blue100;}\\pard\\cbpat1 BANNER\\par"
                          "\\pard\\brdrb\\brdrs\\brdrw30\\brdrcf1\\brsp40 Letterhead\\par"
                          "\\pard\\tldot\\tqr\\tx8000 Towing\\tab 265.00\\par\\pard plain}")
            << QStringList{"L bg#1f3864", "L sa4.66667 borderB:2px#1f3864",
                           "L tabR533.333 leader533.333", "L"};
    }
    void paragraphFormats()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument doc;
        QVERIFY(RtfReader::read(rtf, doc, kDpi).ok);
        QTEST(paragraphsOf(doc), "paragraphs");
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
                                "\\f0\\fs22\\pard\\tqr\\tx" +
                                    QByteArray::number(stop) + " Amount due\\tab " + amount +
                                    "\\par}",
                                doc, kDpi)
                    .ok);
        doc.setDocumentMargin(0);
        doc.setPageSize(QSizeF(624, 900)); // 6.5 inches between the margins
        const QTextBlock block = doc.firstBlock();
        doc.documentLayout()->blockBoundingRect(block); // lays it out
        QCOMPARE(block.layout()->lineCount(), 1);
        QVERIFY(block.blockFormat().tabPositions().value(0).position < 624);
    }

    // Tables as word processors write them (row properties first, then each cell's paragraph
    // with \intbl, row properties repeated before \row), and what a table may not hold.
    void tables_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("tables");
        QTest::newRow("word processor's table")
            << kWordProcessorTable << "2x3: Item|Qty|Price / Hookup\u2029second line|1|45.00";
        QTest::newRow("a heading row over rows of two")
            << QByteArray("{\\rtf1\\trowd\\cellx4000\\pard\\intbl Heading\\cell\\row"
                          "\\trowd\\cellx1000\\cellx4000\\pard\\intbl a\\cell b\\cell\\row"
                          "\\trowd\\cellx4000\\pard\\intbl Footer\\cell\\row\\pard end}")
            << "3x2: Heading*2 / a|b / Footer*2";
        QTest::newRow("a table right after another")
            << kWideTables << "1x2: Label|Value ; 2x3: a|b|c / d|e|f";
        QTest::newRow("more cells than defined")
            << QByteArray("{\\rtf1\\trowd\\cellx100\\intbl a\\cell b\\cell c\\cell\\row}")
            << "1x3: a|b|c";
        QByteArray wide = "{\\rtf1\\trowd";
        for (int i = 1; i <= 500; ++i)
            wide += "\\cellx" + QByteArray::number(i * 10);
        wide += "\\intbl" + QByteArray(" x\\cell").repeated(500) + "\\row}";
        QTest::newRow("more columns than the limit")
            << wide
            << "1x64: " + QStringLiteral("x|").repeated(63) + u'x' +
                   QStringLiteral("\u2029x").repeated(436);
    }
    void tables()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument doc;
        const RtfReader::Result result = RtfReader::read(rtf, doc, kDpi);
        QVERIFY(result.ok);
        QTEST(tablesText(doc), "tables");
        QCOMPARE(result.tables, tablesOf(doc).size());
    }

    void tableFormats()
    {
        QTextDocument doc;
        QVERIFY(RtfReader::read(kWordProcessorTable, doc, kDpi).ok);
        QTextTable *table = tablesOf(doc).value(0);
        QCOMPARE(table->cellAt(0, 0).firstCursorPosition().blockFormat().alignment(),
                 Qt::AlignHCenter);
        const QList<QTextLength> widths = table->format().columnWidthConstraints();
        QCOMPARE(widths.value(1), QTextLength(QTextLength::FixedLength, 96)); // 1440 twips
        const QTextTableCellFormat first = table->cellAt(0, 0).format().toTableCellFormat();
        QCOMPARE(first.background().color(), QColor(200, 220, 240)); // colour over percentage
        QCOMPARE(first.bottomBorder(), 2.0);
        QCOMPARE(first.bottomBorderStyle(), QTextFrameFormat::BorderStyle_Solid);
        QCOMPARE(first.leftPadding(), 7.2);
        // The paragraph before lies right before the table, the one after right after it.
        QCOMPARE(doc.firstBlock().text(), QStringLiteral("before"));
        QCOMPARE(doc.lastBlock().text(), QStringLiteral("after"));
        QVERIFY(table->firstPosition() <= doc.firstBlock().next().position());

        // Too wide a row fits the text area in its proportions; cell padding is kept.
        QVERIFY(RtfReader::read(kWideTables, doc, kDpi).ok);
        table = tablesOf(doc).value(0);
        const QList<QTextLength> wide = table->format().columnWidthConstraints();
        QCOMPARE(qRound(wide.value(0).rawValue() + wide.value(1).rawValue()), 624);
        QCOMPARE(qRound(wide.value(0).rawValue() / 624.0 * 100), qRound(19662.0 / 65534 * 100));
        const QTextTableCellFormat padded = table->cellAt(0, 0).format().toTableCellFormat();
        QCOMPARE((QList<qreal>{padded.leftPadding(), padded.rightPadding(), padded.topPadding()}),
                 (QList<qreal>{6, 6, 2}));
    }

    void pictures_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<int>("count");
        QTest::addColumn<QColor>("colour");
        const QByteArray png = imageBytes("PNG", Qt::red);
        const QByteArray goal = "\\picwgoal1440\\pichgoal720";
        QTest::newRow("png") << "{\\rtf1 logo {\\pict\\pngblip\\picw4\\pich3" + goal + ' ' +
                                    hex(png) + "} end}"
                             << 1 << QColor(Qt::red);
        QTest::newRow("jpeg") << "{\\rtf1 {\\pict\\jpegblip" + goal + '\n' +
                                     hex(imageBytes("JPEG", Qt::blue)) + "}}"
                              << 1 << QColor(Qt::blue);
        QTest::newRow("shape picture with metafile fallback")
            << "{\\rtf1 {\\*\\shppict{\\pict{\\*\\picprop{\\sp{\\sn x}{\\sv 1}}}\\pngblip" + goal +
                   ' ' + hex(png) + "}}{\\nonshppict{\\pict\\wmetafile8\\picwgoal1440 0102}}}"
            << 1 << QColor(Qt::red);
        QTest::newRow("binary picture data")
            << "{\\rtf1 {\\pict\\pngblip" + goal + "\\bin" + QByteArray::number(png.size()) + ' ' +
                   png + "}}"
            << 1 << QColor(Qt::red);
        QTest::newRow("corrupt data")
            << QByteArray("{\\rtf1 {\\pict\\pngblip 89504e470d0a1a0a0000}}") << 0 << QColor();
        QTest::newRow("hidden picture")
            << "{\\rtf1 {\\v{\\pict\\pngblip " + hex(png) + "}}}" << 0 << QColor();
    }
    void pictures()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(int, count);
        QFETCH(QColor, colour);
        QTextDocument doc;
        const RtfReader::Result result = RtfReader::read(rtf, doc, kDpi);
        QVERIFY(result.ok);
        QCOMPARE(result.pictures, count);
        const QList<QTextImageFormat> images = imagesOf(doc);
        QCOMPARE(images.size(), count);
        if (count == 0)
            return;
        QCOMPARE(QSizeF(images[0].width(), images[0].height()), QSizeF(96, 48)); // 1 x 0.5 inch
        const QImage image = imageOf(doc, images[0]);
        QCOMPARE(image.size(), QSize(4, 3));
        const QColor pixel = image.pixelColor(1, 1);
        QVERIFY2(qAbs(pixel.red() - colour.red()) < 16 && qAbs(pixel.blue() - colour.blue()) < 16,
                 qPrintable(pixel.name()));
    }

    // A large photo placed as a one-inch logo is kept at print resolution for that size.
    void largePictureKeptAtPrintResolution()
    {
        QTextDocument doc;
        const QByteArray photo = imageBytes("PNG", Qt::blue, {3000, 1500});
        QCOMPARE(RtfReader::read("{\\rtf1 " + picture(photo, "pngblip") + "}", doc, kDpi).pictures,
                 1);
        const QList<QTextImageFormat> images = imagesOf(doc);
        QCOMPARE(images.value(0).width(), 96.0);                         // shown one inch wide
        QCOMPARE(imageOf(doc, images.value(0)).size(), QSize(300, 150)); // 300 dots to the inch
    }

    // What passes a limit is left out and named; what is within it is still read.
    void limits_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<int>("pictures");
        QTest::addColumn<int>("xs");
        QTest::addColumn<QString>("note");
        const QByteArray small = picture(imageBytes("PNG", Qt::red), "pngblip");
        const QByteArray huge = picture(jpegClaiming(6000, 6000));
        QTest::newRow("within every limit") << "{\\rtf1 x" + small + "}" << 1 << 1 << QString();
        QTest::newRow("a picture of more pixels than any photo")
            << "{\\rtf1 x" + picture(jpegClaiming(10000, 10000)) + small + "}" << 1 << 1
            << "A picture of 10000 x 10000 pixels was left out: pictures of more than 40 "
               "million pixels are not shown.";
        QTest::newRow("pictures past the document's pixels")
            << "{\\rtf1 x" + huge + huge + huge + "}" << 2 << 1
            << "Pictures were left out: the pictures of a document may have 100 million "
               "pixels in all.";
        const QByteArray row = "\\trowd\\cellx1000\\cellx2000\\intbl" +
                               QByteArray(" x\\cell").repeated(50) + "\\row\n";
        QTest::newRow("cells past the document's limit")
            << "{\\rtf1 " + row.repeated(201) + "\\pard\\intbl x\\cell\\row}" << 0 << 10051
            << "Table cells beyond the first 10000 were shown as plain text.";
        QTest::newRow("groups nested past the limit")
            << "{\\rtf1 x" + QByteArray(300, '{') + "deep" + QByteArray(300, '}') + "}" << 0 << 1
            << "Parts nested deeper than 200 levels were left out.";
    }
    void limits()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, note);
        QTextDocument doc;
        const RtfReader::Result result = RtfReader::read(rtf, doc, kDpi);
        QVERIFY(result.ok);
        QTEST(result.pictures, "pictures");
        QTEST(int(doc.toPlainText().count(QLatin1Char('x'))), "xs");
        QCOMPARE(result.notes, note.isEmpty() ? QStringList() : QStringList{note});
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
        QVERIFY(r.header && r.footer && r.firstHeader && !r.firstFooter);
        QCOMPARE(r.header->toPlainText(), QStringLiteral("Bay Tow\n9 Pier St"));
        QCOMPARE(r.header->firstBlock().blockFormat().alignment(), Qt::AlignHCenter);
        QCOMPARE(r.firstHeader->toPlainText(), QStringLiteral("First"));
        QCOMPARE(r.footer->toPlainText(), QStringLiteral("Page 1"));
        QCOMPARE(QList<int>({r.headerTwips, r.footerTwips}), QList<int>({500, 600}));
        QVERIFY(r.titlePage);
        QCOMPARE(r.marginTwips.top(), 1718.0); // the section's margin, below the header
    }

    // Pictures and text boxes anchored to a paragraph float at the side they stand nearer
    // to; one anchored to a character where it stands goes with the text.
    void anchoredShapes()
    {
        const QByteArray png = hex(imageBytes("PNG", Qt::red));
        const auto shape = [&](const char *name) {
            return "{\\sp{\\sn " + QByteArray(name) + "}{\\sv {\\pict\\pngblip " + png + "}}}";
        };
        const QByteArray rtf =
            "{\\rtf1\\paperw12240\\margl1440\\margr1440 "
            "{\\shp{\\*\\shpinst\\shpleft6480\\shptop0\\shpright9360\\shpbottom1440"
            "{\\sp{\\sn posrelh}{\\sv 0}}" +
            shape("pib") + shape("fillBlip") +
            "}}Logo line\\par "
            "{\\field{\\*\\fldinst SHAPE}{\\fldrslt{\\shp{\\*\\shpinst\\shpleft0\\shptop0"
            "\\shpright2880\\shpbottom720{\\sp{\\sn fLine}{\\sv 0}}"
            "{\\shptxt Box ::vehyear::\\par}}}}}Beside the box\\par "
            "Mark {\\shp{\\*\\shpinst\\shpleft0\\shptop-100\\shpright288\\shpbottom100"
            "{\\sp{\\sn posrelh}{\\sv 3}}" +
            shape("pib") + "}} here\\par}";
        QTextDocument doc;
        QCOMPARE(RtfReader::read(rtf, doc, kDpi).pictures, 2);
        const QList<QTextFrame *> frames = doc.rootFrame()->childFrames();
        QCOMPARE(frames.size(), 2);
        QCOMPARE(frames[0]->frameFormat().position(), QTextFrameFormat::FloatRight);
        QCOMPARE(frames[0]->frameFormat().width().rawValue(), 192.0); // two inches
        QCOMPARE(frames[1]->frameFormat().position(), QTextFrameFormat::FloatLeft);
        QCOMPARE(frames[1]->frameFormat().border(), 0.0); // fLine 0
        QTextCursor box = frames[1]->firstCursorPosition();
        box.setPosition(frames[1]->lastPosition(), QTextCursor::KeepAnchor);
        QCOMPARE(box.selectedText(), QStringLiteral("Box ::vehyear::"));
        const QString text = doc.toPlainText();
        QVERIFY2(text.contains(QStringLiteral("Logo line")) && text.contains(u"Beside the box"),
                 qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("Mark \uFFFC here"))); // the picture, inline
    }

    void pageSetup_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<QString>("marginsPt");
        const QString letter = QStringLiteral("90.00 72.00 90.00 72.00");
        QTest::newRow("defaults: letter")
            << QByteArray("{\\rtf1 x}") << int(QPageSize::Letter) << letter;
        QTest::newRow("A4 with margins")
            << QByteArray("{\\rtf1\\paperw11906\\paperh16838\\margl1134\\margr1134\\margt1417"
                          "\\margb1417 x}")
            << int(QPageSize::A4) << "56.70 70.85 56.70 70.85";
        QTest::newRow("absurd margins fall back")
            << QByteArray("{\\rtf1\\margl20000\\margr20000 x}") << int(QPageSize::Letter) << letter;
        QTest::newRow("absurd paper falls back")
            << QByteArray("{\\rtf1\\paperw5\\paperh-3 x}") << int(QPageSize::Letter) << letter;
    }
    void pageSetup()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument doc;
        const QPageLayout layout = RtfReader::read(rtf, doc, kDpi).pageLayout();
        QVERIFY(layout.isValid());
        QTEST(int(layout.pageSize().id()), "pageSize");
        const QMarginsF m = layout.margins(QPageLayout::Point);
        QTEST(QStringLiteral("%1 %2 %3 %4")
                  .arg(m.left(), 0, 'f', 2)
                  .arg(m.top(), 0, 'f', 2)
                  .arg(m.right(), 0, 'f', 2)
                  .arg(m.bottom(), 0, 'f', 2),
              "marginsPt");
    }
};

QTEST_MAIN(RtfReaderTest)
#include "RtfReader_test.moc"
