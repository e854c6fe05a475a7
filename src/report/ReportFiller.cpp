#include "ReportFiller.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "DateText.h"
#include "MoneyFormat.h"
#include "RtfDestinations.h"
#include "SettingsFile.h"

namespace tarnvale {

ReportFiller::Company ReportFiller::Company::fromSettings(const SettingsFile &settings)
{
    const QString section = QStringLiteral("Company");
    return Company{settings.read(section, QStringLiteral("Name")),
                   settings.read(section, QStringLiteral("address")),
                   settings.read(section, QStringLiteral("city")),
                   settings.read(section, QStringLiteral("state")),
                   settings.read(section, QStringLiteral("zip"))};
}

QString ReportFiller::escape(const QString &value)
{
    QString out;
    out.reserve(value.size() + 8);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += QLatin1Char('\\');
            out += c;
        } else if (u == ':') {
            out += QLatin1String("\\'3a");
        } else if (u == '\t') {
            out += QLatin1String("\\tab ");
        } else if (u == '\n') {
            out += QLatin1String("\\line ");
        } else if (u < 0x20 || u == 0x7F) {
            // other control characters (a carriage return before a line feed) are dropped
        } else if (u < 0x80) {
            out += c;
        } else {
            // \uN takes a signed 16-bit number; one '?' follows for readers without Unicode.
            out += QStringLiteral("{\\uc1\\u%1?}").arg(int(qint16(u)));
        }
    }
    return out;
}

QString ReportFiller::replace(const QString &text, const QString &find, const QString &with,
                              int count)
{
    if (find.isEmpty() || count == 0)
        return text;
    QString out;
    qsizetype from = 0;
    int done = 0;
    while (count < 0 || done < count) {
        const qsizetype at = text.indexOf(find, from, Qt::CaseSensitive);
        if (at < 0)
            break;
        out += QStringView(text).mid(from, at - from);
        out += with;
        from = at + find.size();
        ++done;
    }
    out += QStringView(text).mid(from);
    return out;
}

QString ReportFiller::money(double amount)
{
    // The one money rounding, with a digit before the point.
    QString text = MoneyFormat(amount, kMoneyDollar);
    const qsizetype point = text.indexOf(u'.');
    if (point > 0 && text.at(point - 1) == u'$')
        text.insert(point, u'0');
    return text;
}

namespace {

// One character of the text a reader sees, and the bytes of the source that make it.
struct Seen
{
    char16_t c; // 0 stands for a break: a paragraph, tab, cell or character that is no
                // part of a placeholder name
    qsizetype at, length;
    bool afterBareWord; // right after a control word that ended without a blank
};

bool isNameChar(char16_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '.' || c == '_';
}

bool isLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// Groups whose text is not part of the page: the document's metadata, and the tables, pictures
// and field instructions whose text the reader turns into something else.
bool isHiddenDestination(QStringView word)
{
    static const QStringList hidden = {
        QStringLiteral("fonttbl"), QStringLiteral("colortbl"), QStringLiteral("stylesheet"),
        QStringLiteral("pict"),    QStringLiteral("fldinst"),  QStringLiteral("sp")};
    return rtf::isMetadataDestination(word) || hidden.contains(word);
}

// Ignorable destinations whose text is still on the page.
bool isShownStarDestination(QStringView word)
{
    return word == QLatin1String("shpinst") || word == QLatin1String("shptxt") ||
           word == QLatin1String("shppict") || word == QLatin1String("fldrslt");
}

// Control words that stand for something on the page.
bool isBreakWord(QStringView word)
{
    static const QStringList breaks = {
        QStringLiteral("par"),     QStringLiteral("line"),    QStringLiteral("tab"),
        QStringLiteral("cell"),    QStringLiteral("row"),     QStringLiteral("nestcell"),
        QStringLiteral("sect"),    QStringLiteral("page"),    QStringLiteral("u"),
        QStringLiteral("emdash"),  QStringLiteral("endash"),  QStringLiteral("bullet"),
        QStringLiteral("lquote"),  QStringLiteral("rquote"),  QStringLiteral("ldblquote"),
        QStringLiteral("rdblquote"), QStringLiteral("emspace"), QStringLiteral("enspace")};
    return breaks.contains(word);
}

// The characters of the source that a reader shows, in order, each with where it stands.
std::vector<Seen> seenText(const QString &source)
{
    std::vector<Seen> seen;
    std::vector<bool> hiddenStack;
    bool hidden = false;
    bool groupStart = false;
    bool star = false;
    bool bareWord = false;
    const qsizetype n = source.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = source.at(i);
        if (c == QLatin1Char('{')) {
            hiddenStack.push_back(hidden);
            groupStart = true;
            star = false;
            bareWord = false;
            ++i;
            continue;
        }
        if (c == QLatin1Char('}')) {
            if (!hiddenStack.empty()) {
                hidden = hiddenStack.back();
                hiddenStack.pop_back();
            }
            groupStart = star = bareWord = false;
            ++i;
            continue;
        }
        if (c == QLatin1Char('\\') && i + 1 < n) {
            const QChar next = source.at(i + 1);
            if (isLetter(next)) {
                qsizetype end = i + 1;
                while (end < n && isLetter(source.at(end)))
                    ++end;
                const QStringView word = QStringView(source).mid(i + 1, end - i - 1);
                const qsizetype sign = end;
                if (end < n && source.at(end) == QLatin1Char('-'))
                    ++end;
                while (end < n && source.at(end) >= QLatin1Char('0') &&
                       source.at(end) <= QLatin1Char('9'))
                    ++end;
                const int param = QStringView(source).mid(sign, end - sign).toInt();
                bool delimited = false;
                if (end < n && source.at(end) == QLatin1Char(' ')) {
                    ++end;
                    delimited = true;
                }
                if (groupStart || star) {
                    if (isHiddenDestination(word) || (star && !isShownStarDestination(word)))
                        hidden = true;
                }
                groupStart = star = false;
                if (word == QLatin1String("bin")) {
                    end = std::min(n, end + std::max(0, param));
                    delimited = true;
                }
                if (!hidden && isBreakWord(word))
                    seen.push_back(Seen{0, i, end - i, false});
                bareWord = !delimited;
                i = end;
                continue;
            }
            groupStart = false;
            if (next == QLatin1Char('*')) {
                star = true;
                i += 2;
                continue;
            }
            if (next == QLatin1Char('\'')) {
                const qsizetype end = std::min(n, i + 4);
                bool ok = false;
                const int byte = QStringView(source).mid(i + 2, 2).toInt(&ok, 16);
                if (!hidden)
                    seen.push_back(Seen{ok ? char16_t(byte) : char16_t(0), i, end - i, bareWord});
                bareWord = false;
                i = end;
                continue;
            }
            if (!hidden)
                seen.push_back(Seen{0, i, 2, bareWord}); // an escaped brace or backslash, \~ ...
            bareWord = false;
            i += 2;
            continue;
        }
        groupStart = false;
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n') && !hidden) {
            seen.push_back(Seen{c.unicode(), i, 1, bareWord});
            bareWord = false;
        }
        ++i;
    }
    return seen;
}

} // namespace

QString ReportFiller::joinSplitPlaceholders(const QString &source)
{
    const std::vector<Seen> seen = seenText(source);
    struct Edit
    {
        qsizetype at, length;
        QString with;
    };
    std::vector<Edit> edits;
    const size_t n = seen.size();
    for (size_t i = 0; i + 4 < n;) {
        if (seen[i].c != ':' || seen[i + 1].c != ':') {
            ++i;
            continue;
        }
        size_t end = i + 2;
        while (end < n && end - i - 2 < kMaxPlaceholderName && isNameChar(seen[end].c))
            ++end;
        if (end == i + 2 || end >= n || seen[end].c != ':') {
            ++i;
            continue;
        }
        ++end; // the first closing colon; a second one belongs to the placeholder too
        if (end < n && seen[end].c == ':')
            ++end;
        bool whole = true;
        QString text;
        for (size_t k = i; k < end; ++k) {
            text += QChar(seen[k].c);
            if (seen[k].length != 1 || (k > i && seen[k].at != seen[k - 1].at + 1))
                whole = false;
        }
        if (!whole) {
            // The whole placeholder goes where its first character stood, with that
            // character's formatting; the rest of its characters leave the source.
            edits.push_back(Edit{seen[i].at, seen[i].length, text});
            for (size_t k = i + 1; k < end; ++k)
                edits.push_back(Edit{seen[k].at, seen[k].length,
                                     seen[k].afterBareWord ? QStringLiteral(" ") : QString()});
        }
        i = end;
    }
    if (edits.empty())
        return source;
    QString out;
    out.reserve(source.size());
    qsizetype from = 0;
    for (const Edit &edit : edits) {
        out += QStringView(source).mid(from, edit.at - from);
        out += edit.with;
        from = edit.at + edit.length;
    }
    out += QStringView(source).mid(from);
    return out;
}

QString ReportFiller::longDate(const QString &dateText)
{
    const std::optional<QDate> date = DateText::read(dateText);
    return date ? DateText::longForm(*date) : dateText;
}

QString ReportFiller::fill(const QString &source, const PrintSnapshot &snapshot,
                           const Company &company, const QDate &today)
{
    const auto &slot = snapshot.txtprint;
    const QString tab = QStringLiteral("\\tab ");
    const QString del = QStringLiteral("\\del ");
    auto upper = [](const QString &value) { return escape(value.toUpper()); };
    const QString released = snapshot.dateReleased.trimmed().isEmpty()
                                 ? DateText::longForm(today)
                                 : longDate(snapshot.dateReleased);

    struct Step
    {
        QString find;
        QString with;
        int count;
    };
    const std::array<Step, 34 + 7> steps = {{
        {QStringLiteral("::FROM.DATE::"), escape(longDate(snapshot.dateTowed)), -1},
        {QStringLiteral("::TO.DATE::"), escape(released), -1},
        {QStringLiteral("::custname::"), tab + tab + upper(slot[0]), 1},
        {QStringLiteral("::custaddress::"), tab + upper(slot[1]), 1},
        {QStringLiteral("::custcity:"),
         tab + upper(slot[2]) + QStringLiteral(" ,") + upper(slot[3]) + QStringLiteral(" ") +
             upper(slot[4]),
         1},
        {QStringLiteral("::address::"),
         tab + escape(company.address) + QStringLiteral(",") + escape(company.city) +
             QStringLiteral(",") + escape(company.state) + QStringLiteral(",") +
             escape(company.zip),
         2},
        {QStringLiteral("::companyname::"), tab + escape(company.name), 2},
        {QStringLiteral("::vehyear::"), tab + upper(slot[6]), 1},
        {QStringLiteral("::vehmake::"), tab + upper(slot[7]), 1},
        {QStringLiteral("::vehmodel::"), tab + upper(slot[8]), 1},
        {QStringLiteral("::vehcolor::"), tab + upper(slot[9]), 1},
        {QStringLiteral("::vehvin::"), tab + upper(slot[11]), 1},
        {QStringLiteral("::vehtag::"), tab + upper(slot[5]), 1},
        {QStringLiteral("::vehstyle::"), tab + upper(slot[10]), 1},
        {QStringLiteral("::towedfrom::"), tab + upper(slot[12]), 1},
        {QStringLiteral("::towedto::"), tab + upper(slot[13]), 1},
        {QStringLiteral("::towedfee::"), tab + upper(slot[14]), 1},
        {QStringLiteral("::storagedays::"), tab + upper(snapshot.storageDays), 1},
        {QStringLiteral("::storagerate::"), upper(snapshot.storageRate), 1},
        {QStringLiteral("::GRAND::"), tab + upper(snapshot.grandTotal), 1},
        {QStringLiteral("::cost1::"), tab + upper(slot[15]), 1},
        {QStringLiteral("::cost2::"), tab + upper(slot[16]), 1},
        {QStringLiteral("::cost3::"), tab + upper(slot[17]), 1},
        {QStringLiteral("::cost4::"), tab + upper(slot[18]), 1},
        {QStringLiteral("::cost5::"), tab + upper(slot[20]), 1}, // field cost6
        {QStringLiteral("::cost6::"), tab + upper(slot[21]), 1}, // field cost7
        {QStringLiteral("::cost7::"), tab + upper(slot[22]), 1}, // field cost8
        {QStringLiteral("::cost8::"), tab + upper(slot[19]), 1}, // field cost5
        {QStringLiteral("::mile1::"), tab + upper(slot[23]), 1},
        {QStringLiteral("::mile2::"), tab + upper(slot[24]), 1},
        {QStringLiteral("::Customer2::"), del, -1},
        {QStringLiteral("\\par ::DATE2::"), del, -1},
        {QStringLiteral("\\par ::CALC2::"), del, -1},
        {QStringLiteral("::GRAND::"), QString(), -1},
        // Added after the first 34: what a customer asks about, every occurrence.
        {QStringLiteral("::invoice::"), escape(QString::number(snapshot.recordId)), -1},
        {QStringLiteral("::custphone::"), escape(snapshot.phone), -1},
        {QStringLiteral("::dailyrate::"), escape(money(snapshot.dailyRate)), -1},
        {QStringLiteral("::storagecharge::"), escape(money(snapshot.storageCharge)), -1},
        {QStringLiteral("::tax::"), escape(money(snapshot.tax)), -1},
        {QStringLiteral("::grandtotal::"), escape(money(snapshot.total)), -1},
        {QStringLiteral("::charges.lines::"), escape(snapshot.chargeLines), -1},
    }};
    QString text = joinSplitPlaceholders(source);
    for (const Step &step : steps)
        text = replace(text, step.find, step.with, step.count);
    // A placeholder used more often than its count allows (a second copy on the sheet, the
    // company name in the page header and in the body): every later occurrence gets the
    // value its first occurrence got. "::GRAND::" and the deleted markers have none left.
    for (const Step &step : steps)
        if (step.count > 0)
            text = replace(text, step.find, step.with, -1);
    return text;
}

} // namespace tarnvale
