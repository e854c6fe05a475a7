#include <QLocale>
#include <QRandomGenerator>
#include <QTest>

#include "FindRules.h"
#include "TextMatcher.h"

using namespace tarnvale;

class TextMatcherTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Bytes from the database give the same answer as the rule itself, and the expected one.
    void utf8Agrees_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("find");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("expected");
        QTest::newRow("ascii any case") << "Joann Smith" << "SMITH" << 0 << true;
        QTest::newRow("ascii keeps case") << "Joann Smith" << "SMITH" << 1 << false;
        QTest::newRow("ascii word") << "Joann Smith" << "smith" << 2 << true;
        QTest::newRow("ascii not a word") << "Joann Smith" << "ann" << 2 << false;
        QTest::newRow("ascii word, case") << "Joann Smith" << "Smith" << 3 << true;
        QTest::newRow("repeated first char") << "aaab" << "aab" << 1 << true;
        QTest::newRow("repeated first char, any case") << "AAAB" << "aab" << 0 << true;
        QTest::newRow("find at the very end") << "xyz ab" << "ab" << 3 << true;
        QTest::newRow("find longer than text") << "ab" << "abc" << 0 << false;
        QTest::newRow("one char") << "a" << "A" << 0 << true;
        QTest::newRow("word then non-word: first decides") << "ab abc" << "abc" << 2 << true;
        QTest::newRow("non-word then word: first decides") << "xabc abc" << "abc" << 2 << false;
        QTest::newRow("accented text, ascii find")
            << QString::fromUtf16(u"Ren\u00E9e Lee") << "LEE" << 2 << true;
        QTest::newRow("accented text and find")
            << QString::fromUtf16(u"REN\u00C9E") << QString::fromUtf16(u"ren\u00E9e") << 0 << true;
        QTest::newRow("accented find, ascii text")
            << "Renee" << QString::fromUtf16(u"Ren\u00E9e") << 0 << false;
        QTest::newRow("accented, case kept")
            << QString::fromUtf16(u"Ren\u00E9e") << QString::fromUtf16(u"\u00E9e") << 1 << true;
        QTest::newRow("accented word, case kept") << QString::fromUtf16(u"Ren\u00E9e \u00E9e")
                                                  << QString::fromUtf16(u"\u00E9e") << 3 << false;
        // KELVIN SIGN lower-cases to an ASCII k: a non-ASCII text can hold an ASCII match.
        QTest::newRow("kelvin sign, any case")
            << QString::fromUtf16(u"\u212Aate") << "kate" << 0 << true;
        QTest::newRow("kelvin sign, case kept")
            << QString::fromUtf16(u"\u212Aate") << "kate" << 1 << false;
        QTest::newRow("kelvin find, ascii text")
            << "kate" << QString::fromUtf16(u"\u212Aate") << 0 << true;
        QTest::newRow("emoji around word")
            << QString::fromUtf16(u"\U0001F697 ann") << "ANN" << 2 << true;
        QTest::newRow("emoji glued to word")
            << QString::fromUtf16(u"\U0001F697ann") << "ann" << 2 << false;
    }
    void utf8Agrees()
    {
        QFETCH(QString, text);
        QFETCH(QString, find);
        QFETCH(int, mode);
        QFETCH(bool, expected);
        const TextMatcher matcher(find, MatchMode(mode));
        const QByteArray bytes = text.toUtf8();
        QCOMPARE(FindRules::matches(text, find, MatchMode(mode)), expected);
        QCOMPARE(matcher.matches(text), expected);
        QCOMPARE(matcher.matchesUtf8(bytes.constData(), bytes.size()), expected);
    }

    // Many random texts over a small alphabet that mixes blanks, case and characters beyond
    // ASCII: the fast byte path never disagrees with the rule.
    void randomTextsAgree()
    {
        const QList<QString> alphabet = {u" "_qs,
                                         u"a"_qs, u"A"_qs, u"b"_qs, u"B"_qs,
                                         QString::fromUtf16(u"\u00E9"),
                                         QString::fromUtf16(u"\u00C9"),
                                         QString::fromUtf16(u"\u212A"), u"k"_qs,
                                         u"-"_qs};
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
        QVERIFY(positives > 1000); // the table above exercised matches, not only misses
    }
};

QTEST_GUILESS_MAIN(TextMatcherTest)
#include "TextMatcher_test.moc"
