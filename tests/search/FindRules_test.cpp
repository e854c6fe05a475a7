#include <QLocale>
#include <QTest>

#include "FindRules.h"

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
    }
    void matches()
    {
        QFETCH(QString, text);
        QFETCH(QString, find);
        QFETCH(int, mode);
        QTEST(FindRules::matches(text, find, MatchMode(mode)), "expected");
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

    void fieldKeys()
    {
        const QStringList expected = {
            "<All>",        "Name",         "Address",       "City",          "State",       "Zip",
            "Vehicle Year", "Vehicle Make", "Vehicle Model", "Vehicle Color", "Vehicle Body",
            "Vehicle Tag",  "Vehicle Vin",  "Phone"};
        QCOMPARE(FindRules::fieldKeys(), expected);
        for (const QString &key : expected)
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
