#include "HelpDocumentWindow.h"

#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include "ProgramFolder.h"
#include "TestFiles.h"
#include "TestFolder.h"

using namespace tarnvale;

class HelpDocumentWindowTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // Each help document in its own window; one that is missing or unreadable is named.
    void documents_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("shown"); // PATH: the document's path
        // clang-format off
        QTest::newRow("report help") << int(HelpDocument::Report) << "help.rtf" << "Heading\nText of help.rtf";
        QTest::newRow("config help") << int(HelpDocument::Config) << "confighelp.rtf" << "Heading\nText of confighelp.rtf";
        QTest::newRow("pricing help") << int(HelpDocument::Pricing) << "pricing.rtf" << "Heading\nText of pricing.rtf";
        QTest::newRow("missing") << int(HelpDocument::Pricing) << "" << "This help document could not be found: PATH";
        QTest::newRow("unreadable") << int(HelpDocument::Pricing) << "/" << "This help document could not be read: PATH";
        // clang-format on
    }
    void documents()
    {
        QFETCH(int, kind);
        QFETCH(QString, file);
        QFETCH(QString, shown);
        test::TestFolder folder;
        if (file == u"/")
            QDir(folder.path()).mkpath("Reports/pricing.rtf");
        else if (!file.isEmpty())
            test::writeFile(folder.file("Reports/" + file),
                            "{\\rtf1 {\\b Heading}\\par Text of " + file.toLatin1() + "\\par}");

        QPointer<HelpDocumentWindow> w =
            HelpDocumentWindow::open(HelpDocument::Kind(kind), ProgramFolder(folder.path()));
        QVERIFY(w->isVisible() && w->documentFound() == (file.size() > 1));
        QCOMPARE(w->findChild<QTextBrowser *>(QStringLiteral("help"))->toPlainText(),
                 shown.replace(QStringLiteral("PATH"), folder.file("Reports/pricing.rtf")));
        QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("cmdclose")), Qt::LeftButton);
        QTRY_VERIFY(w.isNull());
    }
};

QTEST_MAIN(HelpDocumentWindowTest)
#include "HelpDocumentWindow_test.moc"
