#include <QLocale>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>
#include <QTreeWidget>
#include <QWidget>

#include "QuickSearch.h"
#include "QuickSearchBox.h"
#include "SchemaCheck.h"
#include "SearchTestData.h"

using namespace tarnvale;
using namespace tarnvale::test;

class QuickSearchTest : public QObject
{
    Q_OBJECT

    std::optional<SearchStore> m_data;

    // The ids found, newest first; {-1} when the search failed.
    QList<qint64> found(const QString &text, int limit = QuickSearch::kMaxRows)
    {
        QList<qint64> ids;
        const auto rows = QuickSearch::find(m_data->store, text, limit);
        for (const QuickResult &row : rows.value_or(QList<QuickResult>{}))
            ids << row.id;
        return rows ? ids : QList<qint64>{-1};
    }

  private Q_SLOTS:
    void init()
    {
        SKIP_WITHOUT_ENGINE();
        m_data.emplace();
        QVERIFY(m_data->opened && fillSampleStore(m_data->store));
        // Bob Stone: a phone as people write it, a plate with a blank, released.
        TowRecord bob = *m_data->store.towRecord(5);
        bob.set(TowField::custphone, "(440) 555-0187");
        bob.set(TowField::vehtag, "bob 1988");
        bob.set(TowField::towedrelease, "03/04/2024");
        QVERIFY(m_data->store.updateTowRecord(bob));
        TowRecord three = *m_data->store.towRecord(3); // a Kelvin sign, which the rule takes for K
        three.set(TowField::towedfrom, QString::fromUtf16(u"\u212Aent Road"));
        QVERIFY(m_data->store.updateTowRecord(three));
    }
    void cleanup() { m_data.reset(); }

    // Plates are "ANN-2004", "JOANN-1999", ..., "bob 1988" (5), "CARL-2001"; every phone is
    // "555-0100 Ann" but Bob's; every note "Ann called twice".
    void normalisedKeys_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<qint64>>("expected");
        using L = QList<qint64>;
        const L all{7, 6, 5, 4, 3, 2, 1};
        // clang-format off
        QTest::newRow("plate without its dash") << "ann2004" << L{1};
        QTest::newRow("plate with a blank for its dash") << " Ann 2004 " << L{1};
        QTest::newRow("plate with a dash for its blank") << "BOB-1988" << L{5};
        QTest::newRow("plate without its blank") << "bob1988" << L{5};
        QTest::newRow("plate: part of a word and a dash") << "joann-" << L{2};
        QTest::newRow("phone as digits") << "4405550187" << L{5};
        QTest::newRow("phone with dashes") << "440-555-0187" << L{5};
        QTest::newRow("phone as written") << "(440) 555-0187" << L{5};
        QTest::newRow("phone digits across a separator") << "5550" << all;
        QTest::newRow("VIN in any case") << "vinJoann" << L{2};
        QTest::newRow("name, part") << "STON" << L{5};
        QTest::newRow("city") << "arbor" << L{4};
        QTest::newRow("notes") << "called twice" << all;
        QTest::newRow("beyond ASCII") << QString::fromUtf16(u"\u00C5NGSTR") << L{6};
        QTest::newRow("a letter beyond ASCII the rule folds") << "KENT r" << L{3};
        QTest::newRow("two characters: nothing") << " an " << L{};
        QTest::newRow("key form too short, no field holds it") << "a-b" << L{};
        QTest::newRow("nothing holds it") << "zastava" << L{};
        // clang-format on
    }
    void normalisedKeys()
    {
        QFETCH(QString, text);
        QFETCH(QList<qint64>, expected);
        QCOMPARE(found(text), expected);
        // The rule record by record gives the same, through the index or by the scan.
        QList<qint64> byRule;
        for (qint64 id = 7; id >= 1; --id)
            if (QuickSearch::matches(*m_data->store.towRecord(id), text))
                byRule << id;
        QCOMPARE(byRule, expected);
        QCOMPARE(found(text, 2), expected.mid(0, 2));
        QCOMPARE(found(text, 0), QList<qint64>{});
    }

    // A whole line of the list; the scan where the file has no index gives the same.
    void wholeRowsAndTheScan()
    {
        const QList<QuickResult> bob{{5, "bob 1988", "Bob Stone", "1988 Ford F-150", "", "Released"}};
        QCOMPARE(QuickSearch::find(m_data->store, "4405550187"), bob);
        if (m_data->store.isServer())
            return;
        // The index holds the key forms, kept in step by its triggers.
        QSqlQuery index(m_data->store.database());
        QVERIFY(index.prepare("SELECT group_concat(rowid) FROM wrecker_fts WHERE wrecker_fts MATCH ?"));
        index.addBindValue(QuickSearch::indexQuery("bob1988") + " OR " + QuickSearch::indexQuery("ann2004"));
        QVERIFY(index.exec() && index.next());
        QCOMPARE(index.value(0).toString(), "1,5");
        QSqlQuery(m_data->store.database()).exec("DROP TRIGGER wrecker_fts_update");
        QVERIFY(!SchemaCheck::hasSearchIndex(m_data->store.database()));
        QCOMPARE(QuickSearch::find(m_data->store, "4405550187"), bob);
        TowRecord carl = *m_data->store.towRecord(7); // the index no longer follows a change
        carl.set(TowField::vehtag, "zz 9999");
        QVERIFY(m_data->store.updateTowRecord(carl) && found("zz9999") == QList<qint64>{7});
        QCOMPARE(found("5550", 3), (QList<qint64>{7, 6, 5}));
    }

    // Many records found, in every kind of field: all of them, newest first, whether the index
    // names them or the server reads them a page at a time.
    void manyFoundNewestFirst()
    {
        QList<qint64> expected;
        for (int i = 0; i < 460; ++i) {
            TowRecord r;
            r.set(TowField::vehtag, QString("Q%1").arg(i));
            const TowField where[] = {TowField::towedfrom, TowField::custname, TowField::vehnotes,
                                      TowField::custcity};
            if (i % 7 != 3)
                r.set(where[i % 4], QString("by the quarry %1").arg(i));
            const qint64 id = *m_data->store.addTowRecord(r);
            if (i % 7 != 3)
                expected.prepend(id);
        }
        QCOMPARE(expected.size(), 394);
        QCOMPARE(found("QUARRY", 1000), expected);
        QCOMPARE(found("quarry", 250), expected.mid(0, 250));
        const std::atomic<bool> stopped{true}; // a search told to stop finds nothing more
        QCOMPARE(QuickSearch::find(m_data->store.database(), "quarry", 1000, nullptr, &stopped),
                 QList<QuickResult>{});
    }

    // The box searches on a worker: while one search runs, newer texts wait, and only the
    // newest text's rows are shown; a text that becomes too short shows nothing.
    void boxShowsOnlyTheNewestText()
    {
        QWidget window;
        QuickSearchBox box(m_data->store, &window, &window);
        window.resize(900, 500);
        window.show();
        QSignalSpy shown(&box, &QuickSearchBox::resultsShown);
        const auto type = [&](const QStringList &texts) {
            for (const QString &text : texts) {
                box.setText(text);
                box.refresh();
            }
            QVERIFY(QTest::qWaitFor([&] { return !box.isSearching(); }));
        };
        const auto rows = [&] {
            QStringList lines;
            for (int r = 0; box.list()->isVisible() && r < box.list()->topLevelItemCount(); ++r)
                lines << box.list()->topLevelItem(r)->text(0) + ':' + box.list()->topLevelItem(r)->text(4);
            return lines.join('|');
        };
        type({"ann2004", "bob1988", "4405550187"});
        QCOMPARE(shown.count(), 1);
        QCOMPARE(shown.at(0).at(0).toString(), "4405550187");
        QCOMPARE(rows(), "bob 1988:Released");
        type({"joann", "jo"});
        QCOMPARE(shown.count(), 1);
        QCOMPARE(rows(), "");
        type({"zastava"});
        QCOMPARE(rows(), "No vehicle found.:");
        // A change to the records searches the shown list again.
        TowRecord carl = *m_data->store.towRecord(7);
        carl.set(TowField::custname, "Zastava Owner");
        QVERIFY(m_data->store.updateTowRecord(carl));
        QVERIFY(QTest::qWaitFor([&] { return shown.count() == 3; }));
        QCOMPARE(rows(), "CARL-2001:In storage");
    }
};

QTEST_MAIN(QuickSearchTest)
#include "QuickSearch_test.moc"
