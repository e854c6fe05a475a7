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
    if (f.verticalAlignment() != QTextCharFormat::AlignNormal)
        s += f.verticalAlignment() == QTextCharFormat::AlignSuperScript ? u" up" : u" down";
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
                                        : QString::number(a.toInt());
    const std::pair<const char *, qreal> lengths[] = {{"li", f.leftMargin()},
                                                      {"ri", f.rightMargin()},
                                                      {"fi", f.textIndent()},
                                                      {"sb", f.topMargin()},
                                                      {"sa", f.bottomMargin()}};
    for (const auto &[name, value] : lengths)
        if (value != 0)
            s += u' ' + QLatin1String(name) + QString::number(value);
    if (f.lineHeightType() == QTextBlockFormat::ProportionalHeight)
        s += QStringLiteral(" lh%1%").arg(f.lineHeight());
    else if (f.lineHeightType() == QTextBlockFormat::FixedHeight)
        s += QStringLiteral(" lh%1px").arg(f.lineHeight());
    for (const QTextOption::Tab &tab : f.tabPositions())
        s += QStringLiteral(" tab") + QLatin1Char("LRCD"[tab.type]) + QString::number(tab.position);
    for (const QVariant &leader : f.property(RtfReader::LeaderTabs).toList())
        s += QStringLiteral(" leader") + QString::number(leader.toReal());
    if (f.background().style() != Qt::NoBrush)
        s += " bg" + f.background().color().name();
    for (int side = RtfReader::BorderTop; side <= RtfReader::BorderRight; ++side) {
        if (f.hasProperty(side)) {
            const QPen pen = f.property(side).value<QPen>();
            s += QStringLiteral(" border%1:%2px%3%4")
                     .arg(QLatin1Char("TLBR"[side - RtfReader::BorderTop]))
                     .arg(pen.widthF())
                     .arg(pen.color().name(), pen.style() == Qt::SolidLine ? "" : ":" + QString::number(pen.style()));
        }
    }
    return s;
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

QList<QTextTable *> tablesOf(QTextDocument &doc)
{
    QList<QTextTable *> tables;
    for (QTextFrame *frame : doc.rootFrame()->childFrames())
        if (auto *table = qobject_cast<QTextTable *>(frame))
            tables.append(table);
    return tables;
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
                QTextCursor text = table->cellAt(r, c).firstCursorPosition();
                text.setPosition(table->cellAt(r, c).lastCursorPosition().position(),
                                 QTextCursor::KeepAnchor);
                const int span = table->cellAt(r, c).columnSpan();
                cells << text.selectedText() +
                             (span > 1 ? u'*' + QString::number(span) : QString());
            }
            rows << cells.join(u'|');
        }
        tables << QStringLiteral("%1x%2: ").arg(table->rows()).arg(table->columns()) +
                      rows.join(QStringLiteral(" / "));
    }
    return tables.join(QStringLiteral(" ; "));
}

// A row as word processors write it: its properties first, repeated before \row.
#define ROW_DEF                                                                                    \
    "\\trowd\\trgaph108\\trleft-108\\trbrdrt\\brdrs\\brdrw10 \\trbrdrb\\brdrs\\brdrw10 "           \
    "\\clbrdrt\\brdrdot\\brdrw10\\brdrcf1 \\clbrdrb\\brdrs\\brdrw30 "                                \
    "\\clcbpat2\\clshdng2500\\cellx1332"                                                           \
    "\\clbrdrb\\brdrs\\brdrw10 \\cellx2772\\cellx4212"
const QByteArray kWordProcessorTable =
    "{\\rtf1\\ansi{\\colortbl;\\red0\\green0\\blue0;\\red200\\green220\\blue240;}"
    "\\pard before\\par\n" ROW_DEF "\n\\pard\\intbl\\qc Item\\cell Qty\\cell Price\\cell" ROW_DEF
    "\\row\n\\trowd\\trgaph108\\trleft-108\\cellx1332\\cellx2772\\cellx4212\n"
    "\\pard\\intbl Hookup\\par second line\\cell 1\\cell {\\b 45.00}\\cell\\row\n"
    "\\pard after\\par}";

// A row wider than the page (widths relative to it), its cells padded.
const QByteArray kWideRow =
    "{\\rtf1\\paperw12240\\margl1440\\margr1440 "
    "\\trowd\\clpadt90\\clpadft3\\clpadr90\\clpadl30\\cellx19662\\cellx65534"
    "\\pard\\intbl Label\\cell Value\\cell\\row"
    "\\pard after\\par}";

} // namespace

class RtfReaderTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // The paper and margins a sheet asks for (twips: width, height, left, top, right, bottom);
    // letter paper, and margins of 1.25" and 1", where they are absurd.
    void pageLayout()
    {
        const std::pair<std::array<int, 6>, QString> cases[] = {
            {{1440, 144000, 360, 0, 360, 720}, "72x7200 18,0,18,36"}, {{144000, 1440, 0, 360, 0, 360}, "7200x72 0,18,0,18"},
            {{1439, 15840, 0, 0, 0, 0}, "612x792 0,0,0,0"}, {{15840, 1439, 0, 0, 0, 0}, "612x792 0,0,0,0"},
            {{144001, 15840, 0, 0, 0, 0}, "612x792 0,0,0,0"}, {{15840, 144001, 0, 0, 0, 0}, "612x792 0,0,0,0"},
            {{2000, 2000, 641, 0, 640, 0}, "100x100 90,72,90,72"}, {{2000, 2000, 0, 641, 0, 640}, "100x100 90,72,90,72"},
            {{2000, 2000, -1, 0, 0, 0}, "100x100 90,72,90,72"}, {{2000, 2000, 0, -1, 0, 0}, "100x100 90,72,90,72"},
            {{2000, 2000, 0, 0, -1, 0}, "100x100 90,72,90,72"}, {{2000, 2000, 0, 0, 0, -1}, "100x100 90,72,90,72"}};
        for (const auto &[in, expected] : cases) {
            RtfReader::Result r;
            r.paperTwips = QSizeF(in[0], in[1]);
            r.marginTwips = QMarginsF(in[2], in[3], in[4], in[5]);
            const QPageLayout page = r.pageLayout();
            const QSizeF size = page.fullRect(QPageLayout::Point).size();
            const QMarginsF m = page.margins(QPageLayout::Point);
            QCOMPARE(QString::asprintf("%gx%g %g,%g,%g,%g", size.width(), size.height(), m.left(),
                                       m.top(), m.right(), m.bottom()),
                     expected);
        }
    }

    void text_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("expected");
        const struct
        {
            const char *name, *rtf;
            const char16_t *text;
        } rows[] = {
            // clang-format off
            {"paragraphs", "{\\rtf1\\ansi Hello\\par World\\par}", u"Hello\nWorld"},
            {"Windows-1252 hex", "{\\rtf1\\ansi\\ansicpg1252 caf\\'e9 \\'80 \\'93\\'94}", u"café € \u201C\u201D"},
            {"unicode with fallback", "{\\rtf1\\uc1 \\u233?t\\u-1279?}", u"ét\uFB01"},
            {"uc2", "{\\rtf1\\uc2\\u233\\'3f\\'3fX}", u"\u00E9X"},
            {"surrogate pair", "{\\rtf1\\u-10179?\\u-8704?}", u"\U0001F600"},
            {"ignorable destination", "{\\rtf1{\\*\\unknowndest secret {nested}}shown}", u"shown"},
            {"field shows its result", "{\\rtf1 see {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}}.}", u"see link."},
            {"hidden text", "{\\rtf1 a{\\v hidden}b\\v c\\v0 d}", u"abd"},
            {"deleted revision", "{\\rtf1 keep{\\deleted gone}\\del gone too}", u"keep"},
            {"escapes", "{\\rtf1 \\{x\\} \\\\ y}", u"{x} \\ y"},
            {"line and tab", "{\\rtf1 a\\line b\\tab c}", u"a\u2028b\tc"},
            {"special characters", "{\\rtf1 \\emdash\\endash\\lquote\\rquote\\ldblquote\\rdblquote\\bullet\\~}",
             u"\u2014\u2013\u2018\u2019\u201C\u201D\u2022\u00A0"},
            {"binary data skipped", "{\\rtf1 a{\\*\\blob\\bin3 {}x}b}", u"ab"},
            {"no binary data", "{\\rtf1 a{\\*\\blob\\bin0 }bc}", u"abc"},
            {"list text kept", "{\\rtf1{\\listtext\\'95\\tab}item\\par}", u"\u2022\titem"},
            // Characters of the Symbol and Wingdings fonts print as what they show.
            {"Symbol letters", FONTS "{\\f1 abp}}", u"\u03B1\u03B2\u03C0"},
            {"Wingdings tick and box", FONTS "{\\f2\\'fc\\'a8}}", u"\u2713\u25FB"},
            // Not whole RTF: read as far as it goes.
            {"unbalanced open", "{\\rtf1 {{{{ a", u" a"},
            {"bad hex escape", "{\\rtf1 \\'zz}", u"zz"},
            {"code page 1252 at its edges", "{\\rtf1 \\'80\\'9f\\'a0\\'ff}", u"\u20AC\u0178\u00A0\u00FF"},
            {"huge parameter", "{\\rtf1\\fs99999999999999999999 \\u99999999999 a}", u""},
            {"cell without row definition", "{\\rtf1 a\\cell b\\cell\\row c}", u"abc"},
            // clang-format on
        };
        for (const auto &row : rows)
            QTest::newRow(row.name) << QByteArray(row.rtf) << QString::fromUtf16(row.text);
        QTest::newRow("nul bytes") << QByteArray("{\\rtf1 a\0b\0}", 12) << QStringLiteral("ab");
        // A long run gets an invisible place to break every 200 characters; a space or dash breaks a run.
        QTest::newRow("runs with nowhere to break")
            << "{\\rtf1 " + QByteArray(199, 'x') + "\\b x" + QByteArray(250, 'y') + "\\par " +
                   QByteArray(160, 'w') + " " + QByteArray(160, 'v') + "-" + QByteArray(160, 'u') + "}"
            << QString(200, u'x') + u'\u200B' + QString(200, u'y') + u'\u200B' + QString(50, u'y') +
                   u'\n' + QString(160, u'w') + u' ' + QString(160, u'v') + u'-' + QString(160, u'u');
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

    // Each run of text with its character format, in the document's order.
    void characterFormats()
    {
        QTextDocument doc;
        const char *rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman"
                          "\\fcharset0 Times New Roman;}{\\f2\\fcharset2 Symbol;}}"
                          "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
                          "\\f0\\fs20 plain {\\b bold} {\\i italic} {\\ul under \\ulnone over} "
                          "{\\uldb double} {\\strike struck} {\\f1\\fs36 big} {\\cf1 red} "
                          "{\\b\\cf2\\plain reset} \\b x \\b0 unbold {\\f2 ab} {\\up6 raised} {\\dn6 lowered} "
                          "{\\up6\\up0 level} {\\b\\cf3 past}\\par}";
        QVERIFY(RtfReader::read(rtf, doc, kDpi).ok);
        const auto runsOf = [&doc] {
            QStringList runs;
            for (auto it = doc.firstBlock().begin(); !it.atEnd(); ++it)
                if (const QString text = it.fragment().text().trimmed(); !text.isEmpty())
                    runs << text + u'=' + characterOf(it.fragment().charFormat());
            return runs;
        };
        // clang-format off
        QCOMPARE(runsOf(), QStringList({"plain=---- 10 Arial", "bold=B--- 10 Arial", "italic=-I-- 10 Arial", "under=--U- 10 Arial", "over=---- 10 Arial",
                                    "double=--D- 10 Arial", "struck=---S 10 Arial", "big=---- 18 Times New Roman",
                                    "red=---- 10 Arial #ff0000", "reset=---- 12 Arial", "x=B--- 10 Arial", "unbold=---- 10 Arial",
                                    QStringLiteral("\u03B1\u03B2=---- 10 "), "raised=---- 10 Arial up",
                                    "lowered=---- 10 Arial down", "level=---- 10 Arial",
                                    "past=B--- 10 Arial"}));
        // clang-format on
        // A font table without a group for each font, one name without its ";": every font named.
        QVERIFY(RtfReader::read("{\\rtf1{\\fonttbl\\f0\\fswiss Arial\\f1\\froman Times New Roman;}"
                                "\\f1\\fs20 b {\\f0\\b a}\\par}", doc, kDpi).ok);
        QCOMPARE(runsOf(), QStringList({"b=---- 10 Times New Roman", "a=B--- 10 Arial"}));
        // A colour table keeps its first 4096 colours; one past them is no colour.
        const QByteArray colours = "{\\rtf1{\\colortbl;" +
                                   QByteArray("\\red1\\green2\\blue3;").repeated(4096) +
                                   "}{\\cf4095 kept} {\\cf4096 past}\\par}";
        QVERIFY(RtfReader::read(colours, doc, kDpi).ok);
        QCOMPARE(runsOf(), QStringList({"kept=---- 12  #010203", "past=---- 12 "}));
        // A font's name keeps its first 256 characters, typed or escaped.
        for (const QByteArray &letter : {QByteArray("A"), QByteArray("\\'41")}) {
            QVERIFY(RtfReader::read("{\\rtf1{\\fonttbl{\\f0 " + letter.repeated(300) + ";}}\\f0 x\\par}",
                                    doc, kDpi).ok);
            QCOMPARE(runsOf(), QStringList{"x=---- 12 " + QString(256, u'A')});
        }
    }

    // \titlepg gives the first page a header of its own; \titlepg0 takes that back.
    void firstPageHeader()
    {
        QTextDocument doc;
        const auto r =
            RtfReader::read("{\\rtf1\\titlepg{\\headerf First}{\\header Other} x}", doc, kDpi);
        QVERIFY(r.titlePage && r.firstHeader && r.header);
        QCOMPARE(r.firstHeader->toPlainText() + u'|' + r.header->toPlainText(), "First|Other");
        QVERIFY(!RtfReader::read("{\\rtf1\\titlepg\\titlepg0 x}", doc, kDpi).titlePage);
    }

    // Each paragraph's layout; \pard returns to the defaults. Stops are measured from the
    // page margin in RTF, from the line start in Qt.
    void paragraphFormats_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QStringList>("paragraphs");
        // clang-format off
        QTest::newRow("alignment, indents, spacing")
            << QByteArray("{\\rtf1\\pard\\qc centred\\par"
                          "\\pard\\qr\\li720\\ri360\\fi-360\\sb240\\sa120 right\\par\\pard plain}")
            << QStringList{"C", "R li48 ri24 fi-24 sb16 sa8", "L"};
        QTest::newRow("line spacing and tab stops")
            << QByteArray("{\\rtf1\\pard\\qj\\sl360\\slmult1\\tx1440\\tqr\\tx5760\\tqc\\tx3000 tabs"
                          "\\par\\pard\\sl-300 exact\\par}")
            << QStringList{"J lh150% tabL96 tabC200 tabR384", "L lh20px"};
        QTest::newRow("shading, borders, leaders")
            << QByteArray("{\\rtf1{\\colortbl;\\red31\\green56\\blue100;}\\pard\\cbpat1 BANNER\\par"
                          "\\pard\\brdrb\\brdrdash\\brdrw30\\brdrcf1\\brsp40 Letterhead\\par"
                          "\\pard\\tldot\\tqr\\tx8000 Towing\\tab 265.00\\par"
                          "\\pard\\brdrt\\brdrs\\brdrw15\\brdrl\\brdrdot\\brdrr\\brdrs\\brdrw45 Boxed\\par\\pard plain}")
            << QStringList{"L bg#1f3864", "L sa4.66667 borderB:2px#1f3864:2",
                           "L tabR533.333 leader533.333",
                           "L sb1 borderT:1px#000000 borderL:0.75px#000000:3 borderR:3px#000000", "L"};
        QTest::newRow("style sheet, a style based on another") // and the size of the text
            << QByteArray("{\\rtf1{\\stylesheet{\\s0\\fs20\\sa120 Normal;}{\\s1\\sbasedon0\\qc\\sb240{\\*\\k x} Head;}{\\*\\cs5\\fs40 C;}"
                          "{\\s6\\sbasedon6\\fs44 Loop;}}\\pard\\plain\\s1 Head\\par\\pard\\plain\\s0\\qr\\fs18 body\\par\\pard\\plain\\s6\\s5 x\\par}")
            << QStringList{"C sb16 sa8 pt10", "R sa8 pt9", "L pt22"};
        // clang-format on
    }
    void paragraphFormats()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument doc;
        QVERIFY(RtfReader::read(rtf, doc, kDpi).ok);
        QStringList paragraphs;
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
            const qreal points = b.begin().fragment().charFormat().fontPointSize();
            paragraphs << paragraphOf(b.blockFormat()) + (points != 12 ? " pt" + QString::number(points) : QString());
        }
        QTEST(paragraphs, "paragraphs");
    }

    // An amount on a right tab just inside, at or past the right margin stays on its line.
    void rightTabAtTheMargin()
    {
        for (const int stop : {9346, 9360, 9500}) {
            QTextDocument doc;
            const QByteArray rtf =
                FONTS "\\paperw12240\\margl1440\\margr1440\\f0\\fs22\\pard\\tqr\\tx" +
                QByteArray::number(stop) + " Amount due\\tab $1,234,567.89\\par}";
            QVERIFY(RtfReader::read(rtf, doc, kDpi).ok);
            doc.setDocumentMargin(0);
            doc.setPageSize(QSizeF(624, 900)); // 6.5 inches between the margins
            const QTextBlock block = doc.firstBlock();
            doc.documentLayout()->blockBoundingRect(block); // lays it out
            QCOMPARE(block.layout()->lineCount(), 1);
            QVERIFY(block.blockFormat().tabPositions().value(0).position < 624);
        }
    }

    // Tables as word processors write them (row properties first, then each cell's paragraph
    // with \intbl, row properties repeated before \row), and what a table may not hold.
    void tables_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("tables");
        QByteArray wide = "{\\rtf1\\trowd";
        for (int i = 1; i <= 500; ++i)
            wide += "\\cellx" + QByteArray::number(i * 10);
        wide += "\\intbl" + QByteArray(" x\\cell").repeated(500) + "\\row}";
        // clang-format off
        QTest::newRow("word processor's table") << kWordProcessorTable << "2x3: Item|Qty|Price / Hookup\u2029second line|1|45.00";
        QTest::newRow("a heading row over rows of two") << QByteArray("{\\rtf1\\trowd\\cellx4000\\pard\\intbl Heading\\cell\\row"
            "\\trowd\\cellx1000\\cellx4000\\pard\\intbl a\\cell b\\cell\\row\\trowd\\cellx4000\\pard\\intbl Footer\\cell\\row\\pard end}")
            << "3x2: Heading*2 / a|b / Footer*2";
        QTest::newRow("more columns than the limit") << wide << "1x64: " + QStringLiteral("x|").repeated(63) + u'x' + QStringLiteral("\u2029x").repeated(436);
        // clang-format on
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

    // A table in a cell (\\itap2, \\nestcell, \\nestrow) is a table in that cell, its rows
    // formatted by \\nesttableprops and fitted to the cell; the cell goes on after it.
    void nestedTable()
    {
        QTextDocument doc;
        const auto result = RtfReader::read(
            "{\\rtf1{\\colortbl;\\red31\\green56\\blue100;\\red255\\green255\\blue255;}\\trowd\\cellx3000\\cellx9000\\pard\\intbl Outer\\cell"
            "\\pard\\intbl\\itap2{\\cf2 Charge}\\nestcell Amount\\nestcell{\\*\\nesttableprops\\trowd\\clcbpat1\\clbrdrb\\brdrdash\\cellx30000"
            "\\cellx60000\\nestrow}{\\nonesttables\\par}\\pard\\intbl\\itap2 Towing\\nestcell 265.00\\nestcell{\\*\\nesttableprops\\trowd"
            "\\cellx30000\\cellx60000\\nestrow}{\\nonesttables\\par}\\pard\\intbl after\\cell\\row}", doc, kDpi);
        QTextTable *outer = tablesOf(doc).value(0);
        QVERIFY(result.tables == 2 && outer && outer->childFrames().size() == 1);
        auto *inner = qobject_cast<QTextTable *>(outer->childFrames().first());
        QVERIFY(inner && outer->cellAt(inner->firstPosition()).column() == 1);
        QStringList cells;
        for (int r = 0; r < inner->rows(); ++r)
            for (int c = 0; c < inner->columns(); ++c)
                cells << inner->cellAt(r, c).firstCursorPosition().block().text();
        const QTextTableCellFormat head = inner->cellAt(0, 0).format().toTableCellFormat();
        const QList<QTextLength> widths = inner->format().columnWidthConstraints();
        QCOMPARE((QList<QVariant>{cells.join(u'|'), head.background().color(), int(head.bottomBorderStyle()),
                                  inner->cellAt(0, 0).firstCursorPosition().block().begin().fragment().charFormat().foreground().color(),
                                  qRound(widths.value(0).rawValue() + widths.value(1).rawValue()),
                                  outer->cellAt(0, 1).lastCursorPosition().block().text()}),
                 (QList<QVariant>{"Charge|Amount|Towing|265.00", QColor(31, 56, 100), int(QTextFrameFormat::BorderStyle_Dashed),
                                  QColor(Qt::white), 384, "after"})); // 400, less the outer row fitted to the text

        // A table in a cell the row never defines is fitted to the text.
        QByteArray undefined = "{\\rtf1\\trowd\\cellx3000\\pard\\intbl Outer\\cell\\pard\\intbl\\itap2 Charge\\nestcell Amount"
                               "\\nestcell{\\*\\nesttableprops\\trowd\\cellx30000\\cellx60000\\nestrow}{\\nonesttables\\par}"
                               "\\pard\\intbl after\\cell\\row}";
        QVERIFY(RtfReader::read(undefined, doc, kDpi).ok && tablesOf(doc).size() == 1);
        inner = qobject_cast<QTextTable *>(tablesOf(doc).value(0)->childFrames().value(0));
        QVERIFY(inner);
        const QList<QTextLength> fitted = inner->format().columnWidthConstraints();
        QCOMPARE(qRound(fitted.value(0).rawValue() + fitted.value(1).rawValue()), 576); // the text, 6 inches
    }

    void tableFormats()
    {
        QTextDocument doc;
        QVERIFY(RtfReader::read(kWordProcessorTable, doc, kDpi).ok);
        QTextTable *table = tablesOf(doc).value(0);
        QCOMPARE(table->cellAt(0, 0).firstCursorPosition().blockFormat().alignment(),
                 Qt::AlignHCenter);
        const QTextTableFormat f = table->format(); // collapsed borders, no gaps
        QVERIFY(f.borderCollapse() && f.border() + f.cellSpacing() + f.cellPadding() + f.margin() == 0);
        QCOMPARE(f.columnWidthConstraints().value(1), QTextLength(QTextLength::FixedLength, 96)); // 1440 twips
        // The shading's colour over its percentage, a solid bottom border, the row's gap.
        const QTextTableCellFormat first = table->cellAt(0, 0).format().toTableCellFormat();
        QCOMPARE((QList<QVariant>{first.background().color(), first.bottomBorder(),
                                  int(first.bottomBorderStyle()), first.leftPadding(), int(first.topBorderStyle())}),
                 (QList<QVariant>{QColor(200, 220, 240), 2.0,
                                  int(QTextFrameFormat::BorderStyle_Solid), 7.2, int(QTextFrameFormat::BorderStyle_Dotted)}));
        // The paragraph before lies right before the table, the one after right after it.
        QCOMPARE(doc.firstBlock().text() + u'|' + doc.lastBlock().text(), "before|after");
        QVERIFY(table->firstPosition() <= doc.firstBlock().next().position());

        // Too wide a row fits the text area in its proportions; cell padding is kept.
        QVERIFY(RtfReader::read(kWideRow, doc, kDpi).ok);
        table = tablesOf(doc).value(0);
        const QList<QTextLength> wide = table->format().columnWidthConstraints();
        QCOMPARE(qRound(wide.value(0).rawValue() + wide.value(1).rawValue()), 624);
        QCOMPARE(qRound(wide.value(0).rawValue() / 624.0 * 100), qRound(19662.0 / 65534 * 100));
        const QTextTableCellFormat padded = table->cellAt(0, 0).format().toTableCellFormat();
        QCOMPARE((QList<qreal>{padded.leftPadding(), padded.rightPadding(), padded.topPadding()}),
                 (QList<qreal>{6, 6, 2}));
    }

    // Pictures show at their goal size (here 1 x 0.5 inch); a large photo is kept at print
    // resolution for that size (300 dots to the inch).
    void pictures_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QSize>("pixels"); // empty: no picture
        const QByteArray png = imageBytes("PNG", Qt::red);
        const QByteArray goal = "\\picwgoal1440\\pichgoal720";
        // clang-format off
        QTest::newRow("png") << "{\\rtf1 logo {\\pict\\pngblip\\picw4\\pich3" + goal + ' ' + hex(png) + "} end}" << QSize(4, 3);
        QTest::newRow("shape picture with metafile fallback") << "{\\rtf1 {\\*\\shppict{\\pict{\\*\\picprop{\\sp{\\sn x}{\\sv 1}}}\\pngblip" + goal +
                   ' ' + hex(png) + "}}{\\nonshppict{\\pict\\wmetafile8\\picwgoal1440 0102}}}" << QSize(4, 3);
        QTest::newRow("binary picture data") << "{\\rtf1 {\\pict\\pngblip" + goal + "\\bin" + QByteArray::number(png.size()) + ' ' + png + "}}" << QSize(4, 3);
        QTest::newRow("large photo") << "{\\rtf1 " + picture(imageBytes("PNG", Qt::red, {3000, 1500}), "pngblip") + "}" << QSize(300, 150);
        QTest::newRow("corrupt data") << QByteArray("{\\rtf1 {\\pict\\pngblip 89504e470d0a1a0a0000}}") << QSize();
        QTest::newRow("hidden picture") << "{\\rtf1 {\\v{\\pict\\pngblip " + hex(png) + "}}}" << QSize();
        // clang-format on
    }
    void pictures()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QSize, pixels);
        QTextDocument doc;
        const RtfReader::Result result = RtfReader::read(rtf, doc, kDpi);
        QVERIFY(result.ok);
        const int count = pixels.isEmpty() ? 0 : 1;
        QCOMPARE(result.pictures, count);
        QList<QTextImageFormat> images;
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().isImageFormat())
                    images.append(it.fragment().charFormat().toImageFormat());
        QCOMPARE(images.size(), count);
        if (count == 0)
            return;
        QCOMPARE(QSizeF(images[0].width(), images[0].height()), QSizeF(96, 48));
        const QImage image =
            doc.resource(QTextDocument::ImageResource, QUrl(images[0].name())).value<QImage>();
        QCOMPARE(image.size(), pixels);
        QCOMPARE(image.pixelColor(1, 1), QColor(Qt::red));
        // Read again with the cache of the first read: the picture is not decoded again.
        RtfReader::PictureCache cache;
        QTextDocument first, again;
        RtfReader::read(rtf, first, kDpi, &cache);
        QCOMPARE(cache.size(), 1);
        cache.begin()->fill(Qt::blue);
        RtfReader::read(rtf, again, kDpi, &cache);
        QCOMPARE(again.resource(QTextDocument::ImageResource, QUrl(images[0].name()))
                     .value<QImage>()
                     .pixelColor(1, 1),
                 QColor(Qt::blue));
    }

    // What passes a limit is left out and named; what is within it is still read.
    void limits_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<int>("pictures");
        QTest::addColumn<int>("xs");
        QTest::addColumn<QString>("note");
        const QByteArray small = picture(imageBytes("PNG", Qt::red), "pngblip");
        const QByteArray huge = picture(jpegClaiming(4000, 4000));
        const QByteArray row = "\\trowd\\cellx1000\\cellx2000\\intbl" +
                               QByteArray(" x\\cell").repeated(50) + "\\row\n";
        // clang-format off
        QTest::newRow("a picture of more pixels than any photo") << "{\\rtf1 x" + picture(jpegClaiming(10000, 10000)) + small + "}" << 1 << 1
            << "A picture of 10000 x 10000 pixels was left out: pictures of more than 25 million pixels are not shown.";
        QTest::newRow("pictures past the document's pixels") << "{\\rtf1 x" + huge + huge + huge + "}" << 2 << 1
            << "Pictures were left out: the pictures of a document may have 40 million pixels in all.";
        QTest::newRow("a picture of more bytes than any photo") << "{\\rtf1 x{\\pict\\jpegblip\\bin8388609 " + QByteArray(8388609, 'x') + "}" + small + "}" << 1 << 1
            << "A picture was left out: pictures of more than 8 MB are not shown.";
        QTest::newRow("cells past the document's limit") << "{\\rtf1 " + row.repeated(101) + "\\pard\\intbl x\\cell\\row}" << 0 << 5051
            << "Table cells beyond the first 5000 were shown as plain text.";
        QTest::newRow("text past the document's limit") << "{\\rtf1 " + QByteArray("x\\par ").repeated(200000) + "}" << 0 << 125001
            << "Text beyond the first 250000 characters was left out.";
        // clang-format on
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
        int rows = 0; // of 50 cells: no more rows than the limit on cells makes room for
        for (const QTextTable *table : tablesOf(doc))
            rows += table->rows();
        QVERIFY2(rows <= RtfReader::kMaxCells / 50, qPrintable(QString::number(rows)));
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
            "{\\shptxt Box ::vehyear::\\par}}}}}Beside the box\\par}";
        QTextDocument doc;
        QCOMPARE(RtfReader::read(rtf, doc, kDpi).pictures, 1);
        const QList<QTextFrame *> frames = doc.rootFrame()->childFrames();
        QCOMPARE(frames.size(), 2);
        // The logo two inches wide at the right; the box at the left, without its line.
        QCOMPARE(frames[0]->frameFormat().position(), QTextFrameFormat::FloatRight);
        QCOMPARE(frames[0]->frameFormat().width().rawValue(), 192.0);
        QCOMPARE(frames[1]->frameFormat().position(), QTextFrameFormat::FloatLeft);
        QCOMPARE(frames[1]->frameFormat().border(), 0.0);
        QTextCursor box = frames[1]->firstCursorPosition();
        box.setPosition(frames[1]->lastPosition(), QTextCursor::KeepAnchor);
        QCOMPARE(box.selectedText(), QStringLiteral("Box ::vehyear::"));
        QVERIFY2(doc.toPlainText().contains(u"Logo line") &&
                     doc.toPlainText().contains(u"Beside the box"),
                 qPrintable(doc.toPlainText()));
    }
};

QTEST_MAIN(RtfReaderTest)
#include "RtfReader_test.moc"
