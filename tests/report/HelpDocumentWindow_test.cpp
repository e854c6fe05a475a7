#include "HelpDocumentWindow.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include "ProgramFolder.h"
#include "TestFolder.h"
#include "TestFiles.h"

using namespace tarnvale;

class HelpDocumentWindowTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void documents_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("objectName");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("file");
        QTest::newRow("report help") << int(HelpDocument::Report) << "frmreporthelp"
                                     << "Reports Help" << "help.rtf";
        QTest::newRow("config help") << int(HelpDocument::Config) << "frmconfighelp"
                                     << "Reports Help" << "confighelp.rtf";
        QTest::newRow("pricing help") << int(HelpDocument::Pricing) << "frmpricing" << "Pricing"
                                      << "pricing.rtf";
    }
    void documents()
    {
        QFETCH(int, kind);
        QFETCH(QString, file);
        test::TestFolder folder;
        test::writeFile(folder.file(QStringLiteral("Reports/") + file),
                        "{\\rtf1 {\\b Heading}\\par Text of " + file.toLatin1() + "\\par}");

        QPointer<HelpDocumentWindow> w =
            HelpDocumentWindow::open(HelpDocument::Kind(kind), ProgramFolder(folder.path()));
        QVERIFY(w->isVisible());
        QTEST(w->objectName(), "objectName");
        QTEST(w->windowTitle(), "caption");
        QVERIFY(w->documentFound());
        auto *view = w->findChild<QTextBrowser *>(QStringLiteral("help"));
        QVERIFY(view);
        QVERIFY(view->isReadOnly());
        QCOMPARE(view->toPlainText(), QStringLiteral("Heading\nText of ") + file);

        auto *close = w->findChild<QPushButton *>(QStringLiteral("cmdclose"));
        QVERIFY(close);
        QCOMPARE(close->text(), QStringLiteral("Close"));
        QTest::mouseClick(close, Qt::LeftButton);
        QTRY_VERIFY(w.isNull());
    }

    void missingDocument_data()
    {
        QTest::addColumn<bool>("asFolder");
        QTest::addColumn<QString>("line");
        QTest::newRow("missing") << false << "This help document could not be found: ";
        QTest::newRow("unreadable") << true << "This help document could not be read: ";
    }
    void missingDocument()
    {
        QFETCH(bool, asFolder);
        QFETCH(QString, line);
        test::TestFolder folder;
        if (asFolder)
            QDir(folder.path()).mkpath(QStringLiteral("Reports/pricing.rtf"));
        std::unique_ptr<HelpDocumentWindow> w(
            new HelpDocumentWindow(HelpDocument::Pricing, ProgramFolder(folder.path())));
        QVERIFY(!w->documentFound());
        QCOMPARE(w->view()->toPlainText(),
                 line + folder.path() + QStringLiteral("/Reports/pricing.rtf"));
    }
};

QTEST_MAIN(HelpDocumentWindowTest)
#include "HelpDocumentWindow_test.moc"
