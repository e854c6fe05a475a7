#include <QLocale>
#include <QTest>

#include "FormatPhoneBox.h"

using namespace tarnvale;

class FormatPhoneBoxTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void format_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
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
    }
    void format()
    {
        QFETCH(QString, text);
        QTEST(FormatPhoneBox(text), "expected");
    }
};

QTEST_GUILESS_MAIN(FormatPhoneBoxTest)
#include "FormatPhoneBox_test.moc"
