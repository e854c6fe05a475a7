#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "AboutBox.h"

using namespace tarnvale;

class AboutBoxTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void showsNameVersionAndDescription()
    {
        QPointer<AboutBox> box = new AboutBox;
        box->show();
        QCOMPARE(box->findChild<QLabel *>(QStringLiteral("lblVersion"))->text(),
                 QStringLiteral("v1.0.1"));
        QVERIFY(!box->findChild<QLabel *>(QStringLiteral("imgAbout"))->pixmap().isNull());
        auto *ok = box->findChild<QPushButton *>(QStringLiteral("cmdOK"));
        QTest::mouseClick(ok, Qt::LeftButton);
        QTRY_VERIFY(box.isNull());
    }
};

QTEST_MAIN(AboutBoxTest)
#include "AboutBox_test.moc"
