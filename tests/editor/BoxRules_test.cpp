// The tow record form's rules for the VIN's check digit and the phone number's dashes.
#include <QTest>

#include "FormatPhoneBox.h"
#include "IsValidVin.h"

using namespace tarnvale;

class BoxRulesTest : public QObject
{
    Q_OBJECT

  private slots:
    void vin_data()
    {
        QTest::addColumn<QString>("vin");
        QTest::addColumn<bool>("valid");
        // clang-format off
        QTest::newRow("valid, check X") << "1M8GDM9AXKP042788" << true;
        QTest::newRow("valid, all ones") << "11111111111111111" << true;
        QTest::newRow("valid, digit check") << "1HGCM82633A004352" << true;
        QTest::newRow("lower-case check x") << "1M8GDM9AxKP042788" << false;
        QTest::newRow("lower-case letters carry the previous value") << "1m8GDM9AXKP042788" << false;
        // The 9th character is taken from the text as passed in, before trimming.
        QTest::newRow("leading blanks shift the check position") << "  1M8GDM9AXKP042788" << false;
        QTest::newRow("blanks after only") << "11111111111111111   " << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("text beyond 17 ignored") << "11111111111111111ZZZZ" << true;
        // 0 at position 1 and no value anywhere else: sum 0, check "0".
        QTest::newRow("I, O, Q carry the value before them (0 at start)") << "IOQIOQIO0IOQIOQIO" << true;
        // Q at position 2 counts as the 1 of position 1, like the all-ones VIN.
        QTest::newRow("Q counts as previous value") << "1Q111111111111111" << true;
        QTest::newRow("Q where previous value differs") << "2Q111111111111111" << false;
        // A nine-character text: positions 10 to 17 are empty and carry position 8's value.
        QTest::newRow("short text carries the last value") << "111111111" << true;
        QTest::newRow("punctuation carries too") << "1-1111111111111-1" << true;
        QTest::newRow("blank ninth character") << "11111111 11111111" << false;
        // clang-format on
        // Changing any weighted character to one of a different value breaks the check: a digit
        // whose value differs from the original character's value by one.
        for (int i = 0; i < 17; ++i) {
            QString changed = QStringLiteral("1M8GDM9AXKP042788");
            changed[i] = QStringLiteral("1AJ").contains(changed[i]) ? u'2' : u'1';
            if (i != 8)
                QTest::addRow("position %d changed", i + 1) << changed << false;
        }
    }
    void vin()
    {
        QFETCH(QString, vin);
        QTEST(IsValidVin(vin), "valid");
    }

    void phone_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("seven digits") << "5551234" << "555-1234";
        QTest::newRow("ten digits") << "8005551234" << "(800)-555-1234";
        QTest::newRow("eleven digits") << "18005551234" << "1-(800)-555-1234";
        QTest::newRow("already has a dash") << "800555-1234" << "800555-1234";
        QTest::newRow("ten-character zip") << "12345 6789" << "(123)-45 -6789";
        QTest::newRow("any characters count") << "abcdefg" << "abc-defg";
        QTest::newRow("six") << "555123" << "555123";
        QTest::newRow("eight") << "55512345" << "55512345";
        QTest::newRow("twelve") << "180055512345" << "180055512345";
        QTest::newRow("empty") << "" << "";
        // clang-format on
    }
    void phone()
    {
        QFETCH(QString, text);
        QTEST(FormatPhoneBox(text), "expected");
    }
};

QTEST_GUILESS_MAIN(BoxRulesTest)
#include "BoxRules_test.moc"
