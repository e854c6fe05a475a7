#include "RtfParser.h"

#include <algorithm>

#include "Cp1252.h"

namespace tarnvale::rtf {

// Words about characters: \u with \uc, the character format, and special characters.
bool RtfParser::characterWord(const QByteArray &w, bool hasParam, int param)
{
    CharState &c = m_state.chr;
    const bool on = !hasParam || param != 0;
    if (w == "uc") {
        m_state.uc = std::clamp(param, 0, 8);
    } else if (w == "u") {
        int code = param;
        if (code < 0)
            code += 65536;
        if (code > 0 && code < 65536)
            addText(QString(QChar(char16_t(code))));
        m_skipChars = m_state.uc;
    } else if (w == "plain") {
        const int font = m_tables->defaultFont;
        c = CharState();
        c.font = font;
    } else if (w == "b") {
        c.bold = on;
    } else if (w == "i") {
        c.italic = on;
    } else if (w == "uldb") {
        c.underline = on;
        c.doubleUnderline = on;
    } else if (w == "ul" || (w.startsWith("ul") && w != "ulc" && w != "ulnone" && w.size() > 2)) {
        c.underline = on;
        c.doubleUnderline = false;
    } else if (w == "ulnone") {
        c.underline = false;
        c.doubleUnderline = false;
    } else if (w == "strike" || w == "striked") {
        c.strike = on;
    } else if (w == "v") {
        c.hidden = on;
    } else if (w == "del" || w == "deleted") {
        c.deleted = on;
    } else if (w == "caps") {
        c.caps = on;
    } else if (w == "scaps") {
        c.smallCaps = on;
    } else if (w == "super") {
        c.vertical = 1;
    } else if (w == "sub") {
        c.vertical = 2;
    } else if (w == "nosupersub") {
        c.vertical = 0;
    } else if (w == "up") {
        c.vertical = param > 0 ? 1 : 0;
    } else if (w == "dn") {
        c.vertical = param > 0 ? 2 : 0;
    } else if (w == "f") {
        c.font = param;
    } else if (w == "fs") {
        c.halfPoints = hasParam && param > 0 ? std::clamp(param, 2, 3200) : 24;
    } else if (w == "cf") {
        c.color = param;
    } else if (w == "cb" || w == "highlight" || w == "chcbpat") {
        c.background = param;
    } else if (w == "chpgn") { // the page number, where it is drawn
        const CharState around = c;
        if (!c.pageField) {
            c.pageField = RtfReader::Page * 16;
            c.field = ++m_tables->fields;
        }
        addText(QStringLiteral("1"));
        m_state.chr = around;
    } else if (w == "emdash") {
        addText(QString(QChar(0x2014)));
    } else if (w == "endash") {
        addText(QString(QChar(0x2013)));
    } else if (w == "bullet") {
        addText(QString(QChar(0x2022)));
    } else if (w == "lquote") {
        addText(QString(QChar(0x2018)));
    } else if (w == "rquote") {
        addText(QString(QChar(0x2019)));
    } else if (w == "ldblquote") {
        addText(QString(QChar(0x201C)));
    } else if (w == "rdblquote") {
        addText(QString(QChar(0x201D)));
    } else if (w == "emspace") {
        addText(QString(QChar(0x2003)));
    } else if (w == "enspace") {
        addText(QString(QChar(0x2002)));
    } else if (w == "qmspace") {
        addText(QString(QChar(0x2005)));
    } else {
        return false;
    }
    return true;
}

bool RtfParser::isSymbolFont(int font) const
{
    const auto it = m_tables->fonts.constFind(font >= 0 ? font : m_tables->defaultFont);
    if (it == m_tables->fonts.constEnd())
        return false;
    return it->name.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0 ||
           it->name.startsWith(QLatin1String("Wingdings"), Qt::CaseInsensitive);
}

// Characters of the Symbol and Wingdings fonts as the Unicode characters they show, so that
// they print in any font. Those fonts put their characters at 0x20..0xFF, or at 0xF020..0xF0FF
// when written as Unicode.
QString RtfParser::symbolText(const QString &text) const
{
    static const char16_t symbol[224] = {
        0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217,
        0x002B, 0x002C, 0x2212, 0x002E, 0x002F, 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035,
        0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, 0x2245,
        0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A,
        0x039B, 0x039C, 0x039D, 0x039F, 0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2,
        0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B, 0x2234, 0x005D, 0x22A5, 0x005F, 0x203E, 0x03B1,
        0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3, 0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB,
        0x03BC, 0x03BD, 0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9,
        0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0x0020, 0x0020, 0x0020, 0x0020,
        0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020,
        0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020,
        0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x20AC, 0x03D2, 0x2032, 0x2264,
        0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192,
        0x2193, 0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7, 0x2260,
        0x2261, 0x2248, 0x2026, 0x23D0, 0x23AF, 0x21B5, 0x2135, 0x2111, 0x211C, 0x2118, 0x2297,
        0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209,
        0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228,
        0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3, 0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211,
        0x239B, 0x239C, 0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA, 0x0020,
        0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F, 0x23A0, 0x23A4, 0x23A5, 0x23A6,
        0x23AB, 0x23AC, 0x23AD, 0x0020};
    // The Wingdings characters a charge sheet uses: bullets, boxes, ticks and arrows.
    static const QHash<char16_t, char16_t> wingdings = {
        {0x28, 0x260E}, {0x2A, 0x2709}, {0x4A, 0x263A}, {0x6C, 0x25CF}, {0x6E, 0x25A0},
        {0x6F, 0x25A1}, {0x71, 0x2751}, {0x75, 0x25C6}, {0x76, 0x2756}, {0x9F, 0x2022},
        {0xA7, 0x25AA}, {0xA8, 0x25FB}, {0xD8, 0x27A2}, {0xE8, 0x2794}, {0xFB, 0x2717},
        {0xFC, 0x2713}, {0xFD, 0x2612}, {0xFE, 0x2611}};
    const auto it =
        m_tables->fonts.constFind(m_state.chr.font >= 0 ? m_state.chr.font : m_tables->defaultFont);
    const bool isWingdings = it != m_tables->fonts.constEnd() &&
                             it->name.startsWith(QLatin1String("Wingdings"), Qt::CaseInsensitive);
    QString out;
    out.reserve(text.size());
    for (QChar ch : text) {
        char16_t c = ch.unicode();
        if (c >= 0xF020 && c <= 0xF0FF)
            c -= 0xF000;
        if (c < 0x20 || c > 0xFF) {
            out += ch;
        } else if (isWingdings) {
            out += QChar(wingdings.value(c, 0x2022)); // any other mark prints as a bullet
        } else {
            out += QChar(symbol[c - 0x20]);
        }
    }
    return out;
}

void RtfParser::plainByte(char c)
{
    switch (m_state.dest) {
    case Dest::Skip:
        return;
    case Dest::FontTable:
        if (c == ';') {
            if (m_fontId >= 0)
                m_tables->fonts.insert(m_fontId, Font{Cp1252::decode(m_fontName.trimmed()),
                                                      m_fontCharset, m_fontHint});
            m_fontName.clear();
        } else if (m_fontName.size() < 256) {
            m_fontName.append(c);
        }
        return;
    case Dest::ColorTable:
        if (c == ';') {
            if (m_tables->colors.size() < 4096) {
                if (m_red < 0 && m_green < 0 && m_blue < 0)
                    m_tables->colors.push_back(QColor());
                else
                    m_tables->colors.push_back(
                        QColor(std::max(m_red, 0), std::max(m_green, 0), std::max(m_blue, 0)));
            }
            m_red = m_green = m_blue = -1;
        }
        return;
    case Dest::Picture: {
        if (m_picture.binary || m_picture.tooLarge)
            return;
        int v = -1;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        if (v < 0)
            return;
        if (m_picture.nibble < 0) {
            m_picture.nibble = v;
        } else if (m_picture.data.size() == kMaxPictureBytes) {
            m_picture.tooLarge = true;
        } else {
            m_picture.data.append(char(m_picture.nibble * 16 + v));
            m_picture.nibble = -1;
        }
        return;
    }
    case Dest::ShapeName:
        if (m_shape.property.size() < 64)
            m_shape.property.append(c);
        return;
    case Dest::ShapeValue:
        if (m_shape.value.size() < 64)
            m_shape.value.append(c);
        return;
    case Dest::FieldInstruction:
        if (m_instruction.size() < 256)
            m_instruction.append(c);
        return;
    case Dest::Shape:
    case Dest::StyleSheet:
        return;
    case Dest::Text:
        break;
    }
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80) {
        addByte(c);
        return;
    }
    flushBytes();
    if (c == '\t') {
        addText(QStringLiteral("\t"));
        return;
    }
    if (b < 0x20)
        return;
    if (m_skipChars > 0) {
        --m_skipChars;
        return;
    }
    addText(QString(QChar(char16_t(b))));
}

void RtfParser::addByte(char c)
{
    if (m_state.dest == Dest::FontTable) {
        if (m_fontName.size() < 256)
            m_fontName.append(c);
        return;
    }
    if (m_state.dest != Dest::Text)
        return;
    if (m_skipChars > 0) {
        --m_skipChars;
        return;
    }
    m_bytes.append(c);
}

QString RtfParser::decodeBytes(const QByteArray &bytes) const
{
    // Code pages other than Windows-1252 are read as Windows-1252 too: the documents this
    // program reads are written in Western European languages.
    return Cp1252::decode(bytes);
}

void RtfParser::flushBytes()
{
    if (m_bytes.isEmpty())
        return;
    const QByteArray bytes = std::exchange(m_bytes, QByteArray());
    addText(decodeBytes(bytes));
}

void RtfParser::addText(const QString &given)
{
    if (m_state.dest != Dest::Text || m_state.chr.invisible() || given.isEmpty())
        return;
    const QString text = isSymbolFont(m_state.chr.font) ? symbolText(given) : given;
    if (!m_text.isEmpty() && !(m_textState == m_state.chr))
        flushText();
    m_textState = m_state.chr;
    if (m_state.chr.pageField)
        m_fieldShown = m_state.chr.field;
    // A line breaker given a run with nowhere to break measures the rest of the run for every
    // line it makes: a long run gets an invisible break opportunity every kMaxRun characters,
    // so that laying it out stays linear. No word is that long; the text shown is the same.
    for (const QChar c : text) {
        m_text += c;
        m_run = (c.isSpace() || c == u'-' || c == QChar(0x200B)) ? 0 : m_run + 1;
        if (m_run == kMaxRun) {
            m_text += QChar(0x200B);
            m_run = 0;
        }
    }
}

QColor RtfParser::color(int index) const
{
    if (index <= 0 || index >= int(m_tables->colors.size()))
        return QColor();
    return m_tables->colors[size_t(index)];
}

QTextCharFormat RtfParser::charFormat(const CharState &s) const
{
    QTextCharFormat f;
    const auto font = m_tables->fonts.constFind(s.font >= 0 ? s.font : m_tables->defaultFont);
    if (font != m_tables->fonts.constEnd() && !font->name.isEmpty() && !isSymbolFont(font.key())) {
        f.setFontFamilies(QStringList{font->name});
        f.setFontStyleHint(font->hint);
    }
    f.setFontPointSize(s.halfPoints / 2.0);
    f.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(s.italic);
    f.setFontUnderline(s.underline);
    if (s.doubleUnderline)
        f.setProperty(RtfReader::DoubleUnderline, true);
    f.setFontStrikeOut(s.strike);
    if (s.caps)
        f.setFontCapitalization(QFont::AllUppercase);
    else if (s.smallCaps)
        f.setFontCapitalization(QFont::SmallCaps);
    if (s.vertical == 1)
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (s.vertical == 2)
        f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if (const QColor fg = color(s.color); fg.isValid())
        f.setForeground(fg);
    if (const QColor bg = color(s.background); bg.isValid())
        f.setBackground(bg);
    if (s.pageField) {
        f.setProperty(RtfReader::PageField, s.pageField);
        f.setProperty(RtfReader::FieldId, s.field);
    }
    return f;
}

// A field's instruction read whole: a page number, the pages of the document or of its
// section become fields the page sets where it is drawn; any other field keeps the result
// the file holds.
void RtfParser::fieldInstruction()
{
    const QList<QByteArray> words = m_instruction.simplified().split(' ');
    const QByteArray name = words.value(0).toUpper();
    const int kind = name == "PAGE"           ? RtfReader::Page
                     : name == "NUMPAGES"     ? RtfReader::NumPages
                     : name == "SECTIONPAGES" ? RtfReader::SectionPages
                                              : 0;
    if (!kind)
        return;
    int numbering = RtfReader::Arabic;
    const qsizetype format = words.indexOf("\\*");
    if (format >= 0) {
        const QByteArray style = words.value(format + 1);
        if (style == "roman")
            numbering = RtfReader::RomanLower;
        else if (style == "ROMAN")
            numbering = RtfReader::RomanUpper;
        else if (style == "alphabetic")
            numbering = RtfReader::LetterLower;
        else if (style == "ALPHABETIC")
            numbering = RtfReader::LetterUpper;
    }
    m_state.chr.pageField = kind * 16 + numbering;
    m_state.chr.field = ++m_tables->fields;
}

// A page field whose result held no text still shows its number.
void RtfParser::endField(const CharState &field)
{
    if (m_fieldShown == field.field || field.invisible() || m_state.dest != Dest::Text)
        return;
    flushText();
    m_text = QStringLiteral("1");
    m_textState = field;
    m_fieldShown = field.field;
    flushText();
}

void RtfParser::flushText()
{
    if (m_text.isEmpty())
        return;
    const QString text = std::exchange(m_text, QString());
    prepareContent();
    m_cursor.insertText(text, charFormat(m_textState));
}

} // namespace tarnvale::rtf
