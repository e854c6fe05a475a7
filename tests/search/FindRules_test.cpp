#include <QLocale>
#include <QTest>

#include <cstring>
#include <memory>

#include "FindRequest.h"
#include "FindRules.h"
#include "TextMatcher.h"

using namespace tarnvale;

Q_DECLARE_METATYPE(tarnvale::GroupFilter)

namespace {

// "w" whole word, "c" match case, through the rule that maps the two boxes to a mode.
MatchMode mode(const QString &flags)
{
    return FindRules::matchMode(flags.contains(u'w'), flags.contains(u'c'));
}

} // namespace

class FindRulesTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void matches_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<bool>("expected");
        // clang-format off
        // An empty search text or field text matches nothing, in every mode.
        for (const QString flags : {"", "c", "w", "wc"}) {
            QTest::addRow("empty find %s", qPrintable(flags)) << "ann lee" << "" << flags << false;
            QTest::addRow("empty text %s", qPrintable(flags)) << "" << "ann" << flags << false;
        }
        // Whole word: blanks or the ends around the first occurrence.
        QTest::newRow("word at start") << "ann lee" << "ann" << "w" << true;
        QTest::newRow("inside joann") << "joann" << "ann" << "w" << false;
        QTest::newRow("first occurrence decides (no)") << "joann ann" << "ann" << "w" << false;
        QTest::newRow("hyphen is no blank") << "mary-ann lee" << "ann" << "w" << false;
        QTest::newRow("phrase as word") << "mary ann lee" << "ann lee" << "w" << true;
        // Case.
        QTest::newRow("capitals find small") << "ann lee" << "ANN" << "" << true;
        QTest::newRow("capitals miss small") << "ann lee" << "ANN" << "c" << false;
        QTest::newRow("same case word") << "Ann Lee" << "Ann" << "wc" << true;
        // Beyond ASCII, lower-casing is Unicode's.
        QTest::newRow("accented") << QString::fromUtf16(u"\u00C9COLE") << QString::fromUtf16(u"\u00E9cole") << "" << true;
        QTest::newRow("accented, case kept") << QString::fromUtf16(u"\u00C9COLE") << QString::fromUtf16(u"\u00E9cole") << "c" << false;
        // KELVIN SIGN lower-cases to an ASCII k: a non-ASCII text can hold an ASCII match.
        QTest::newRow("kelvin sign") << QString::fromUtf16(u"\u212Aate") << "kate" << "" << true;
        QTest::newRow("kelvin sign, case kept") << QString::fromUtf16(u"\u212Aate") << "kate" << "c" << false;
        QTest::newRow("emoji glued to word") << QString::fromUtf16(u"\U0001F697ann") << "ann" << "w" << false;
        // What a matcher that skips ahead could miss.
        QTest::newRow("repeated first char") << "aaab" << "aab" << "c" << true;
        QTest::newRow("find at the very end") << "xyz ab" << "ab" << "wc" << true;
        // clang-format on
    }
    void matches()
    {
        QFETCH(QString, text);
        QFETCH(QString, find);
        QFETCH(QString, flags);
        QFETCH(bool, expected);
        QCOMPARE(FindRules::matches(text, find, mode(flags)), expected);
        // The matcher the search runs over the database's bytes agrees.
        const TextMatcher matcher(find, mode(flags));
        const QByteArray bytes = text.toUtf8();
        QCOMPARE(matcher.matches(text), expected);
        QCOMPARE(matcher.matchesUtf8(bytes.constData(), bytes.size()), expected);
    }

    // On generated texts, the matcher over UTF-8 bytes gives the rule's answer in every mode:
    // texts of every length around the eight-byte steps, letters that fold into one another
    // (and one byte apart once folded), blanks, and characters beyond ASCII, two of which
    // lower-case to ASCII letters.
    void matcherAgreesWithTheRule()
    {
        const QList<QString> pieces = {"r", "R", "d", "D", "s", "S", "q", " ", "rd", "Rd",
                                       QString::fromUtf16(u"\u00E9"), QString::fromUtf16(u"\u212A"),
                                       QString::fromUtf16(u"\u0130"), "k", "i"};
        const QStringList finds = {"rd", "RD", "r", "rs", "rdr", "rd r", "k", "ki", "i",
                                   QString::fromUtf16(u"\u00E9d")};
        quint32 seed = 20261208;
        const auto next = [&seed](quint32 below) {
            seed = seed * 1664525u + 1013904223u;
            return (seed >> 8) % below;
        };
        int found = 0;
        for (int round = 0; round < 4000; ++round) {
            QString text;
            const quint32 length = next(22);
            for (quint32 i = 0; i < length; ++i)
                text += pieces.at(next(quint32(pieces.size())));
            const QByteArray utf8 = text.toUtf8();
            // Exactly the text's bytes, with no terminator after them, as a sanitizer would
            // see a read past the end.
            const std::unique_ptr<char[]> bytes(new char[size_t(utf8.size())]);
            std::memcpy(bytes.get(), utf8.constData(), size_t(utf8.size()));
            const QString &find = finds.at(next(quint32(finds.size())));
            for (const QString flags : {"", "w", "c", "wc"}) {
                const bool expected = FindRules::matches(text, find, mode(flags));
                const TextMatcher matcher(find, mode(flags));
                if (matcher.matchesUtf8(bytes.get(), utf8.size()) != expected)
                    QFAIL(qPrintable(QStringLiteral("'%1' for '%2' (%3): expected %4")
                                         .arg(text, find, flags, expected ? "found" : "not found")));
                found += expected;
            }
        }
        QVERIFY(found > 1000); // the cases are not all misses
    }

    // Each key is matched without case and outer blanks; every key the window offers is known.
    void fieldsForKey_data()
    {
        using F = TowField;
        QTest::addColumn<QString>("key");
        QTest::addColumn<QList<TowField>>("fields");
        const QList<TowField> all = {F::custname, F::custaddress, F::custcity, F::custstate,
                                     F::custzip,  F::vehcolor,    F::vehyear,  F::vehmake,
                                     F::vehmodel, F::vehstyle};
        // clang-format off
        const QList<QPair<QString, QList<TowField>>> keys = {
            {"<All>|  <ALL> ", all}, {"Name|FULL NAME", {F::custname}},
            {"Customer Address", {F::custaddress}}, {" City ", {F::custcity}},
            {"STATE", {F::custstate}}, {"Zip Code", {F::custzip}}, {"vehicle year", {F::vehyear}},
            {"\tVehicle Make\t", {F::vehmake}}, {"VEHICLE MODEL", {F::vehmodel}},
            {"Vehicle Color", {F::vehcolor}}, {"vehicle body", {F::vehstyle}},
            {"GroupName", {F::groupname}}, {"phone", {F::custphone}},
            {"Vehicle Tag| plate ", {F::vehtag}}, {"vin", {F::vehvin}},
            // unknown: another word, a column name, inner blanks, another spelling
            {"telephone|custname||Vehicle  Year|Vehicle Colour", {}},
        };
        // clang-format on
        for (const auto &[names, fields] : keys)
            for (const QString &key : names.split(u'|'))
                QTest::addRow("'%s'", qPrintable(key)) << key << fields;
    }
    void fieldsForKey()
    {
        QFETCH(QString, key);
        QFETCH(QList<TowField>, fields);
        const std::optional<QList<TowField>> got = FindRules::fieldsForKey(key);
        QVERIFY(got.has_value() == !fields.isEmpty() && got.value_or(QList<TowField>{}) == fields);
    }
    // Every key the window offers is known.
    void offeredKeysAreKnown()
    {
        QCOMPARE(FindRules::fieldKeys().size(), 14);
        for (const QString &key : FindRules::fieldKeys())
            QVERIFY2(FindRules::fieldsForKey(key).has_value(), qPrintable(key));
    }

    void outcomeText_data()
    {
        QTest::addColumn<int>("found");
        QTest::addColumn<QString>("groupText");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("nothing in a group") << 0 << "Lot 1" << "Nothing found in group \"Lot 1\".";
        QTest::newRow("nothing anywhere") << 0 << " <all>" << "Nothing found in any group.";
        QTest::newRow("nothing without a group") << 0 << "<None>" << "Nothing found among vehicles without a group.";
        QTest::newRow("one") << 1 << "Lot 1" << "1 vehicle found in group \"Lot 1\": see the Results tab.";
        // clang-format on
    }
    void outcomeText()
    {
        QFETCH(int, found);
        QFETCH(QString, groupText);
        QTEST(FindRules::outcomeText(found, groupText), "expected");
    }

    // "*" stands for every group; a name is kept as typed; "<None>" is the empty name.
    void groupFilter_data()
    {
        QTest::addColumn<QString>("groupText");
        QTest::addColumn<GroupFilter>("filter");
        for (const QString all : {"<All>", "  <all> ", "*", " * "})
            QTest::addRow("'%s'", qPrintable(all)) << all << GroupFilter{true, {}};
        for (const QString none : {"<None>", " <NONE>  ", ""})
            QTest::addRow("'%s'", qPrintable(none)) << none << GroupFilter{false, ""};
        for (const QString name : {"Lot 1", "lot 1", " Lot 1 ", "   "})
            QTest::addRow("'%s'", qPrintable(name)) << name << GroupFilter{false, name};
    }
    void groupFilter()
    {
        QFETCH(QString, groupText);
        GroupFilter got = FindRules::groupFilter(groupText);
        if (got.all)
            got.name.clear(); // a name beside "all" means nothing
        QTEST(got, "filter");
    }

    // A found row keeps its texts as stored and gives them back decoded. The vehicle info is
    // the year, then the model only after a make, then the VIN only after a body.
    void foundRow_data()
    {
        QTest::addColumn<QString>("parts"); // name|year|make|model|style|vin|group
        QTest::addColumn<QString>("info");
        // clang-format off
        QTest::newRow("all set") << "Ann Lee|2004|Ford|Taurus|Sedan|1FAFP55U04A123456|Lot 1" << "2004 Taurus 1FAFP55U04A123456";
        QTest::newRow("no make: never the model") << "Bo|2004||Taurus|Sedan|VIN1|" << "2004 VIN1";
        QTest::newRow("no body: no vin") << "|1999|Honda|Civic||VIN2|Lot 2" << "1999 Civic";
        QTest::newRow("no year") << "Cy|   |Honda|Civic|Coupe|VIN3|Impound" << "    Civic VIN3";
        QTest::newRow("nothing") << "||||||" << "";
        QTest::newRow("a name of one letter alone") << "X||||||" << "";
        QTest::newRow("beyond ASCII") << QString::fromUtf8("Zoë Ñúñez|2019|Škoda|Octávia|Combi|TMB\u00C9|Dépôt") << QString::fromUtf8("2019 Octávia TMB\u00C9");
        // clang-format on
    }
    void foundRow()
    {
        QFETCH(QString, parts);
        QFETCH(QString, info);
        const QStringList p = parts.split(u'|');
        const QByteArray b[7] = {p[0].toUtf8(), p[1].toUtf8(), p[2].toUtf8(), p[3].toUtf8(),
                                 p[4].toUtf8(), p[5].toUtf8(), p[6].toUtf8()};
        const FindResult found = FindResult::fromStored(42, b[0], b[1], b[2], b[3], b[4], b[5], b[6]);
        QCOMPARE(found.id, 42);
        QCOMPARE(found.name(), p[0]);
        QCOMPARE(found.vehicleInfo(), info);
        QCOMPARE(found.group(), p[6]);
        // The same row made from its decoded texts is equal to it; another id or a text
        // moved from one field to the next is not.
        QCOMPARE(found, FindResult(42, p[0], info, p[6]));
        QVERIFY(!(found == FindResult(43, p[0], info, p[6])));
        if (!p[6].isEmpty())
            QVERIFY(!(found == FindResult(42, p[0], info + p[6].left(1), p[6].mid(1))));
    }
};

QTEST_GUILESS_MAIN(FindRulesTest)
#include "FindRules_test.moc"
