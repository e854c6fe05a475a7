#include <QLabel>
#include <QPlainTextEdit>
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
        QVERIFY(QTest::qWaitForWindowExposed(box));
        QCOMPARE(box->objectName(), QStringLiteral("frmabout"));
        QCOMPARE(box->windowTitle(), QStringLiteral("About"));
        QVERIFY(!box->isModal());

        auto *name = box->findChild<QLabel *>(QStringLiteral("lblProduct"));
        QCOMPARE(name->text(), QStringLiteral("Tarnvale"));
        QCOMPARE(name->font().family(), QStringLiteral("Times New Roman"));
        QCOMPARE(name->font().capitalization(), QFont::AllUppercase);
        QVERIFY(name->font().pointSize() >= 2 * box->font().pointSize());
        QCOMPARE(box->findChild<QLabel *>(QStringLiteral("lblVersion"))->text(),
                 QStringLiteral("v1.0.1"));
        QVERIFY(!box->findChild<QLabel *>(QStringLiteral("imgAbout"))->pixmap().isNull());

        auto *description = box->findChild<QPlainTextEdit *>(QStringLiteral("txtDescription"));
        QVERIFY(description->isReadOnly());
        const QString text = description->toPlainText();
        for (const char *word : {"towing", "impound", "groups", "storage", "backs up"})
            QVERIFY2(text.contains(QLatin1String(word)), word);

        auto *ok = box->findChild<QPushButton *>(QStringLiteral("cmdOK"));
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QTest::mouseClick(ok, Qt::LeftButton);
        QTRY_VERIFY(box.isNull());
    }
};

QTEST_MAIN(AboutBoxTest)
#include "AboutBox_test.moc"
