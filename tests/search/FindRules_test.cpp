#include <QLocale>
#include <QRandomGenerator>
#include <QTest>

#include "FindRules.h"
#include "TextMatcher.h"

using namespace tarnvale;

Q_DECLARE_METATYPE(tarnvale::MatchMode)

class FindRulesTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void matchMode_data()
    {
        QTest::addColumn<bool>("wholeWord");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<int>("mode");
        QTest::newRow("neither") << false << false << 0;
        QTest::newRow("match case only") << false << true << 1;
        QTest::newRow("whole word only") << true << false << 2;
        QTest::newRow("both") << true << true << 3;
    }
    void matchMode()
    {
        QFETCH(bool, wholeWord);
        QFETCH(bool, matchCase);
        QTEST(int(FindRules::matchMode(wholeWord, matchCase)), "mode");
    }

    void matches_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("find");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("expected");
        // An empty search text or field text matches nothing, in every mode.
        for (int mode = 0; mode < 4; ++mode) {
            QTest::addRow("empty find, mode %d", mode) << "ann lee" << "" << mode << false;
            QTest::addRow("empty text, mode %d", mode) << "" << "ann" << mode << false;
            QTest::addRow("both empty, mode %d", mode) << "" << "" << mode << false;
        }
        // Whole word: blanks or the ends around the first occurrence.
        QTest::newRow("word at start") << "ann lee" << "ann" << 2 << true;
        QTest::newRow("word at end") << "lee ann" << "ann" << 2 << true;
        QTest::newRow("word in middle") << "jo ann lee" << "ann" << 2 << true;
        QTest::newRow("whole text") << "ann" << "ann" << 2 << true;
        QTest::newRow("inside joann") << "joann" << "ann" << 2 << false;
        QTest::newRow("inside anne") << "anne" << "ann" << 2 << false;
        QTest::newRow("first occurrence decides (no)") << "joann ann" << "ann" << 2 << false;
        QTest::newRow("first occurrence decides (yes)") << "ann joann" << "ann" << 2 << true;
        QTest::newRow("hyphen is no blank") << "mary-ann lee" << "ann" << 2 << false;
        QTest::newRow("tab is no blank") << "jo\tann" << "ann" << 2 << false;
        QTest::newRow("no-break space is no blank")
            << QString::fromUtf16(u"jo\u00A0ann") << "ann" << 2 << false;
        QTest::newRow("comma after is no blank") << "ann, lee" << "ann" << 2 << false;
        QTest::newRow("phrase as word") << "mary ann lee" << "ann lee" << 2 << true;
        QTest::newRow("find longer than text") << "ann" << "anne" << 2 << false;
        QTest::newRow("not there at all") << "bob" << "ann" << 2 << false;
        // Case.
        QTest::newRow("capitals find small, mode 0") << "ann lee" << "ANN" << 0 << true;
        QTest::newRow("capitals find small, mode 2") << "ann lee" << "ANN" << 2 << true;
        QTest::newRow("capitals miss small, mode 1") << "ann lee" << "ANN" << 1 << false;
        QTest::newRow("capitals miss small, mode 3") << "ann lee" << "ANN" << 3 << false;
        QTest::newRow("same case, mode 1") << "Ann Lee" << "Ann" << 1 << true;
        QTest::newRow("same case word, mode 3") << "Ann Lee" << "Ann" << 3 << true;
        QTest::newRow("case and joann, mode 3") << "JoAnn" << "Ann" << 3 << false;
        QTest::newRow("contains, mode 0") << "Joann Smith" << "ann" << 0 << true;
        QTest::newRow("contains, mode 1") << "Joann Smith" << "Smi" << 1 << true;
        // Beyond ASCII, lower-casing is Unicode's.
        QTest::newRow("accented, mode 0")
            << QString::fromUtf16(u"\u00C9COLE") << QString::fromUtf16(u"\u00E9cole") << 0 << true;
        QTest::newRow("accented, mode 1")
            << QString::fromUtf16(u"\u00C9COLE") << QString::fromUtf16(u"\u00E9cole") << 1 << false;
        QTest::newRow("cyrillic, mode 2") << QString::fromUtf16(u"\u0418\u0412\u0410\u041D \u041F")
            << QString::fromUtf16(u"\u0438\u0432\u0430\u043D") << 2 << true;
        QTest::newRow("accented text and find")
            << QString::fromUtf16(u"REN\u00C9E") << QString::fromUtf16(u"ren\u00E9e") << 0 << true;
        QTest::newRow("accented find, ascii text")
            << "Renee" << QString::fromUtf16(u"Ren\u00E9e") << 0 << false;
        QTest::newRow("accented text, ascii word")
            << QString::fromUtf16(u"Ren\u00E9e Lee") << "LEE" << 2 << true;
        QTest::newRow("accented word, case kept") << QString::fromUtf16(u"Ren\u00E9e \u00E9e")
                                                  << QString::fromUtf16(u"\u00E9e") << 3 << false;
        // KELVIN SIGN lower-cases to an ASCII k: a non-ASCII text can hold an ASCII match.
        QTest::newRow("kelvin sign, any case") << QString::fromUtf16(u"\u212Aate") << "kate" << 0 << true;
        QTest::newRow("kelvin sign, case kept") << QString::fromUtf16(u"\u212Aate") << "kate" << 1 << false;
        QTest::newRow("kelvin find, ascii text") << "kate" << QString::fromUtf16(u"\u212Aate") << 0 << true;
        QTest::newRow("emoji around word") << QString::fromUtf16(u"\U0001F697 ann") << "ANN" << 2 << true;
        QTest::newRow("emoji glued to word") << QString::fromUtf16(u"\U0001F697ann") << "ann" << 2 << false;
        // What a matcher that skips ahead could miss.
        QTest::newRow("repeated first char") << "aaab" << "aab" << 1 << true;
        QTest::newRow("repeated first char, any case") << "AAAB" << "aab" << 0 << true;
        QTest::newRow("find at the very end") << "xyz ab" << "ab" << 3 << true;
        QTest::newRow("one char") << "a" << "A" << 0 << true;
    }
    void matches()
    {
        QFETCH(QString, text);
        QFETCH(QString, find);
        QFETCH(int, mode);
        QFETCH(bool, expected);
        QCOMPARE(FindRules::matches(text, find, MatchMode(mode)), expected);
        // The matcher the search runs over the database's bytes agrees.
        const TextMatcher matcher(find, MatchMode(mode));
        const QByteArray bytes = text.toUtf8();
        QCOMPARE(matcher.matches(text), expected);
        QCOMPARE(matcher.matchesUtf8(bytes.constData(), bytes.size()), expected);
    }

    // Many random texts over a small alphabet that mixes blanks, case and characters beyond
    // ASCII: the matcher's byte path never disagrees with the rule.
    void randomTextsAgree()
    {
        const QStringList alphabet = QString::fromUtf16(u" |a|A|b|B|\u00E9|\u00C9|\u212A|k|-").split(u'|');
        QRandomGenerator rng(12345);
        auto randomText = [&](int maxLength) {
            QString text;
            const int length = int(rng.bounded(maxLength + 1));
            for (int i = 0; i < length; ++i)
                text += alphabet.at(int(rng.bounded(qsizetype(alphabet.size()))));
            return text;
        };
        int positives = 0;
        for (int round = 0; round < 4000; ++round) {
            const QString find = randomText(3);
            for (int mode = 0; mode < 4; ++mode) {
                const TextMatcher matcher(find, MatchMode(mode));
                for (int t = 0; t < 5; ++t) {
                    const QString text = randomText(10);
                    const QByteArray bytes = text.toUtf8();
                    const bool rule = FindRules::matches(text, find, MatchMode(mode));
                    positives += rule;
                    if (matcher.matchesUtf8(bytes.constData(), bytes.size()) != rule)
                        QFAIL(qPrintable(QStringLiteral("mode %1 text '%2' find '%3': rule says %4")
                                             .arg(mode)
                                             .arg(text, find)
                                             .arg(rule)));
                }
            }
        }
        QVERIFY(positives > 1000); // the alphabet makes matches, not only misses
    }

    void fieldsForKey_data()
    {
        using F = TowField;
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("known");
        QTest::addColumn<QList<TowField>>("fields");
        const QList<TowField> all = {F::custname, F::custaddress, F::custcity, F::custstate,
                                     F::custzip,  F::vehcolor,    F::vehyear,  F::vehmake,
                                     F::vehmodel, F::vehstyle};
        QTest::newRow("<All>") << "<All>" << true << all;
        QTest::newRow("<all> in small letters") << "<all>" << true << all;
        QTest::newRow("<ALL> with blanks") << "  <ALL> " << true << all;
        QTest::newRow("Name") << "Name" << true << QList<F>{F::custname};
        QTest::newRow("full name") << "FULL NAME" << true << QList<F>{F::custname};
        QTest::newRow("Address") << "address" << true << QList<F>{F::custaddress};
        QTest::newRow("customer address") << "Customer Address" << true << QList<F>{F::custaddress};
        QTest::newRow("City") << " City " << true << QList<F>{F::custcity};
        QTest::newRow("State") << "STATE" << true << QList<F>{F::custstate};
        QTest::newRow("Zip") << "zip" << true << QList<F>{F::custzip};
        QTest::newRow("zip code") << "Zip Code" << true << QList<F>{F::custzip};
        QTest::newRow("Vehicle Year") << "vehicle year" << true << QList<F>{F::vehyear};
        QTest::newRow("Vehicle Make") << "\tVehicle Make\t" << true << QList<F>{F::vehmake};
        QTest::newRow("Vehicle Model") << "VEHICLE MODEL" << true << QList<F>{F::vehmodel};
        QTest::newRow("Vehicle Color") << "Vehicle Color" << true << QList<F>{F::vehcolor};
        QTest::newRow("Vehicle Body") << "vehicle body" << true << QList<F>{F::vehstyle};
        QTest::newRow("groupname") << "GroupName" << true << QList<F>{F::groupname};
        QTest::newRow("Phone") << "phone" << true << QList<F>{F::custphone};
        QTest::newRow("Vehicle Tag") << "Vehicle Tag" << true << QList<F>{F::vehtag};
        QTest::newRow("Plate") << " plate " << true << QList<F>{F::vehtag};
        QTest::newRow("Vehicle Vin") << "VEHICLE VIN" << true << QList<F>{F::vehvin};
        QTest::newRow("VIN") << "vin" << true << QList<F>{F::vehvin};
        QTest::newRow("telephone is unknown") << "telephone" << false << QList<F>{};
        QTest::newRow("a column name is no key") << "custname" << false << QList<F>{};
        QTest::newRow("empty") << "" << false << QList<F>{};
        QTest::newRow("inner blanks count") << "Vehicle  Year" << false << QList<F>{};
        QTest::newRow("colour spelt otherwise") << "Vehicle Colour" << false << QList<F>{};
    }
    void fieldsForKey()
    {
        QFETCH(QString, key);
        QFETCH(bool, known);
        const std::optional<QList<TowField>> got = FindRules::fieldsForKey(key);
        QCOMPARE(got.has_value(), known);
        if (known)
            QTEST(*got, "fields");
    }

    // Every key the window offers is known; the list itself is the find window's test.
    void fieldKeys()
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
        QTest::newRow("nothing in a group") << 0 << "Lot 1" << "Nothing found in group \"Lot 1\".";
        QTest::newRow("nothing anywhere") << 0 << " <all>" << "Nothing found in any group.";
        QTest::newRow("nothing without a group")
            << 0 << "<None>" << "Nothing found among vehicles without a group.";
        QTest::newRow("one") << 1 << "Lot 1" << "1 vehicle found in group \"Lot 1\".";
        QTest::newRow("many") << 12 << "<All>" << "12 vehicles found in all groups.";
    }
    void outcomeText()
    {
        QFETCH(int, found);
        QFETCH(QString, groupText);
        QTEST(FindRules::outcomeText(found, groupText), "expected");
    }

    void groupFilter_data()
    {
        QTest::addColumn<QString>("groupText");
        QTest::addColumn<bool>("all");
        QTest::addColumn<QString>("name");
        QTest::newRow("<All>") << "<All>" << true << "";
        QTest::newRow("<all> with blanks") << "  <all> " << true << "";
        QTest::newRow("star") << "*" << true << "";
        QTest::newRow("star with blanks") << " * " << true << "";
        QTest::newRow("<None>") << "<None>" << false << "";
        QTest::newRow("<NONE> with blanks") << " <NONE>  " << false << "";
        QTest::newRow("empty text") << "" << false << "";
        QTest::newRow("a group") << "Lot 1" << false << "Lot 1";
        QTest::newRow("a group keeps its case") << "lot 1" << false << "lot 1";
        QTest::newRow("a group keeps its blanks") << " Lot 1 " << false << " Lot 1 ";
        QTest::newRow("blanks only") << "   " << false << "   ";
    }
    void groupFilter()
    {
        QFETCH(QString, groupText);
        QFETCH(bool, all);
        QFETCH(QString, name);
        const GroupFilter filter = FindRules::groupFilter(groupText);
        QCOMPARE(filter.all, all);
        if (!all)
            QCOMPARE(filter.name, name);
    }

    void vehicleInfo_data()
    {
        QTest::addColumn<QString>("year");
        QTest::addColumn<QString>("make");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("style");
        QTest::addColumn<QString>("vin");
        QTest::addColumn<QString>("expected");
        QTest::newRow("all set") << "2004" << "Ford" << "Taurus" << "Sedan" << "1FAFP55U04A123456"
                                 << "2004 Taurus 1FAFP55U04A123456";
        QTest::newRow("no make: never the model") << "2004" << "" << "Taurus" << "Sedan" << "VIN1"
                                                  << "2004 VIN1";
        QTest::newRow("no make, no body") << "2004" << "" << "Taurus" << "" << "VIN1" << "2004";
        QTest::newRow("no body: no vin") << "1999" << "Honda" << "Civic" << "" << "VIN2"
                                         << "1999 Civic";
        QTest::newRow("no year") << "" << "Honda" << "Civic" << "Coupe" << "VIN3" << " Civic VIN3";
        QTest::newRow("make but no model") << "1999" << "Honda" << "" << "" << "" << "1999 ";
        QTest::newRow("body but no vin") << "1999" << "" << "" << "Van" << "" << "1999 ";
        QTest::newRow("nothing") << "" << "" << "" << "" << "" << "";
    }
    void vehicleInfo()
    {
        QFETCH(QString, year);
        QFETCH(QString, make);
        QFETCH(QString, model);
        QFETCH(QString, style);
        QFETCH(QString, vin);
        QTEST(FindRules::vehicleInfo(year, make, model, style, vin), "expected");
    }
};

QTEST_GUILESS_MAIN(FindRulesTest)
#include "FindRules_test.moc"
