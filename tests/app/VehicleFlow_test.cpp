// Whole flows of a tow record through the main window, the browser and the tow record form.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "AppProgram.h"
#include "DateText.h"
#include "FormText.h"
#include "ReportWindow.h"
#include "TowRecordForm.h"

using namespace tarnvale;
using namespace tarnvale::test;

namespace {

// Storage at $10 a day, 8% tax and a light hookup of $45; started at once.
struct Program : test::AppProgram
{
    Program()
        : AppProgram([](const SettingsFile &s) {
              s.write("Company", "Name", "Ace Towing");
              s.write("Fee", "Storage Fee", "10");
              s.write("Tow Fee", "Taxrate", ".08");
              s.write("Tow Fee", "Light", "45.00");
          })
    {
        // The charge sheet is printed from the template the program ships.
        QDir(dir.path()).mkpath(QStringLiteral("Reports"));
        QFile::copy(QStringLiteral(TARNVALE_RESOURCES_DIR "/Reports/report.rtf"), dir.reportPath());
        start();
    }

    // Print, and the text of the charge sheet it shows; the report window is closed again.
    QString printedSheet()
    {
        window->command("mnuprint")->trigger();
        const QList<QWidget *> reports = shown("frmprint");
        if (reports.size() != 1)
            return QStringLiteral("<%1 report windows>").arg(reports.size());
        auto *report = qobject_cast<ReportWindow *>(reports.first());
        const QString text = report->report().document().toPlainText();
        report->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return text;
    }

    // The printed value beside a caption of the charge sheet (the next line with text).
    static QString printed(const QString &sheet, const QString &caption)
    {
        const QStringList lines = sheet.split(u'\n');
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            if (lines.at(i).trimmed() != caption)
                continue;
            for (qsizetype j = i + 1; j < lines.size(); ++j)
                if (!lines.at(j).trimmed().isEmpty())
                    return lines.at(j).trimmed();
        }
        return QStringLiteral("<no %1>").arg(caption);
    }

    // Every printed charge, the towing fee and the total, checked against the arithmetic of
    // a charge sheet: the fee is the sum of the charges, the total is fee plus days x rate,
    // plus 8 % tax.
    static void checkPrintedFigures(const QString &sheet, const QList<double> &charges,
                                    qint64 days)
    {
        const QStringList captions = {"Hookup",       "Tow Type",        "Mileage",
                                      "Recovery",     "Standby Time",    "Roadway Cleanup",
                                      "Other Charges", "Tow Reason"};
        double printedSum = 0;
        for (const QString &caption : captions) {
            const QString value = printed(sheet, caption);
            bool ok = false;
            printedSum += value.toDouble(&ok);
            QVERIFY2(ok, qPrintable(caption + ": " + value));
        }
        double fee = 0;
        for (double charge : charges)
            fee += charge;
        const auto money = [](double value) { return QString::number(value, 'f', 2); };
        QCOMPARE(money(printedSum), money(fee));
        QCOMPARE(printed(sheet, "Towing Fee (total of the charges above)"), money(fee));
        QCOMPARE(printed(sheet, "Days in Storage"), QString::number(days));
        QCOMPARE(printed(sheet, "Storage Rate per Day"), QString("$10.00"));
        QCOMPARE(printed(sheet, "TOTAL DUE (towing fee, storage and tax)"),
                 "$" + money((fee + double(days) * 10) * 1.08));
    }

    static QList<TowRecordForm *> openForms()
    {
        QList<TowRecordForm *> forms;
        for (QWidget *w : shown("frmAddEditContact"))
            if (auto *form = qobject_cast<TowRecordForm *>(w))
                forms << form;
        return forms;
    }

    void click(const QModelIndex &index, Qt::MouseButton button)
    {
        browser()->nodeClick(index, button);
        for (QMenu *menu : {window->groupContextMenu(), window->vehicleContextMenu()})
            menu->close();
    }

    QStringList sheetRow(int row) const
    {
        QTableWidget *list = browser()->list();
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c)
            cells << (list->item(row, c) ? list->item(row, c)->text() : QString());
        return cells;
    }

    QString sheetValue(const QString &field) const
    {
        QTableWidget *list = browser()->list();
        for (int r = 0; r < list->rowCount(); ++r)
            if (list->item(r, 0) && list->item(r, 0)->text() == field)
                return list->item(r, 1)->text();
        return QStringLiteral("<no row>");
    }
};

} // namespace

class VehicleFlowTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void addSeeEditStepRemove()
    {
        Program p;
        QVERIFY(p.context->store.isOpen());
        QVERIFY(p.context->database.AddGroup("Police") == 1);
        const qint64 groupId = p.context->store.groupIdByName("Police");
        const QModelIndex group = p.model()->groupIndex(groupId);
        QVERIFY(group.isValid());

        // Right-click the group, "&Add vehicle to this group...".
        p.click(group, Qt::RightButton);
        QCOMPARE(p.browser()->SelNde().tag, "G|" + QString::number(groupId));
        p.window->command("mnuACITG")->trigger();
        QCOMPARE(Program::openForms().size(), 1);
        QPointer<TowRecordForm> form = Program::openForms().first();
        QCOMPARE(form->windowTitle(), QString("Add Vehicle"));
        QCOMPARE(QApplication::activeModalWidget(), form.data());
        QCOMPARE(text(form, "lstGroups"), QString("Police"));

        setText(form, "tFields_0", "John Smith");
        setText(form, "tFields_6", "1999");
        setText(form, "tFields_7", "Ford");
        setText(form, "tFields_8", "Taurus");
        setText(form, "tFields_10", "red");
        setText(form, "tFields_16", "3/1/2026");
        setText(form, "tFields_17", "3/4/2026");
        auto *hookup = form->findChild<QComboBox *>("cmbhookup");
        hookup->setCurrentIndex(0);
        Q_EMIT hookup->activated(0);
        setText(form, "Text8", "55");
        setText(form, "Text13", "20.50");
        form->toolbarClick(3);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!form);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(p.dialogs.count(), 0);

        // The new vehicle is in the tree under its group.
        const qint64 id = p.context->store.towRecords()->first().id;
        const QModelIndex vehicle = p.model()->vehicleIndex(id);
        QVERIFY(vehicle.isValid());
        QCOMPARE(vehicle.parent(), p.model()->groupIndex(groupId));
        QCOMPARE(vehicle.data().toString(), QString("1999 FORD TAURUS RED"));
        QCOMPARE(p.label("Label10"), QString("1"));

        // A group click lists it; a vehicle click fills the sheet and the summary.
        p.click(p.model()->groupIndex(groupId), Qt::LeftButton);
        QCOMPARE(p.browser()->list()->rowCount(), 1);
        QCOMPARE(p.sheetRow(0),
                 (QStringList{"JOHN SMITH", "1999", "FORD", "TAURUS", "RED", "3/1/2026"}));
        p.click(p.model()->vehicleIndex(id), Qt::LeftButton);
        QCOMPARE(p.browser()->list()->horizontalHeaderItem(1)->text(), QString("Value"));
        QCOMPARE(p.sheetRow(0), (QStringList{"Name:", "JOHN SMITH"}));
        QCOMPARE(p.sheetValue("Hookup:"), QString("45.00"));
        QCOMPARE(p.sheetValue("Mileage:"), QString("55"));
        QCOMPARE(p.sheetValue("Other Charges:"), QString("20.50"));
        QCOMPARE(p.sheetValue("Tow Fee:"), QString("120.50"));
        QCOMPARE(p.sheetValue("Days In Storage:"), QString("3"));
        QCOMPARE(p.sheetValue("Total Storage:"), QString("$30.00"));
        QCOMPARE(p.label("Label3"), QString("3"));
        QCOMPARE(p.label("Label5"), QString("$10.00"));
        QCOMPARE(p.label("Label7"), QString("120.50"));
        QCOMPARE(p.label("Label1"), QString("$162.54"));
        QCOMPARE(p.browser()->printSnapshot().customerName, QString("John Smith"));
        QVERIFY(p.browser()->list()->columnWidth(1) > 20);
        Program::checkPrintedFigures(p.printedSheet(), {45.00, 55, 20.50},
                                     QDate(2026, 3, 1).daysTo(QDate(2026, 3, 4)));
        if (QTest::currentTestFailed())
            return;

        // A second vehicle through toolbar New, without a group.
        p.window->toolbarButton(1)->trigger();
        form = Program::openForms().first();
        QCOMPARE(text(form, "lstGroups"), QString("Police"));
        setText(form, "lstGroups", "<None>");
        setText(form, "tFields_6", "2005");
        setText(form, "tFields_7", "Honda");
        form->toolbarClick(3);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!form);
        const qint64 second = p.context->store.towRecords()->last().id;
        QCOMPARE(p.model()->vehicleIndex(second).parent(), p.model()->otherIndex());
        QCOMPARE(p.context->store.towRecord(second)->value(TowField::toweddate), DateText::today());

        // Edit the first from the vehicle menu; step Next and Previous; apply.
        p.click(p.model()->vehicleIndex(id), Qt::RightButton);
        p.window->command("mnuETC")->trigger();
        form = Program::openForms().first();
        QCOMPARE(form->windowTitle(), QString("Edit Vehicle"));
        QCOMPARE(text(form, "tFields_0"), QString("John Smith"));
        form->toolbarClick(6);
        QCOMPARE(text(form, "tFields_7"), QString("Honda"));
        QCOMPARE(text(form, "tFields_0"), QString());
        form->toolbarClick(6);
        QCOMPARE(text(form, "tFields_7"), QString("Honda"));
        form->toolbarClick(5);
        QCOMPARE(text(form, "tFields_0"), QString("John Smith"));
        setText(form, "tFields_8", "Sable");
        setText(form, "tFields_17", "3/6/2026");
        setText(form, "Text13", "30.25");
        form->toolbarClick(3);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!form);
        QCOMPARE(p.dialogs.count(), 0);
        QCOMPARE(p.model()->vehicleIndex(id).data().toString(), QString("1999 FORD SABLE RED"));
        p.click(p.model()->vehicleIndex(id), Qt::LeftButton);
        QCOMPARE(p.label("Label3"), QString("5"));
        QCOMPARE(p.sheetValue("Vehicle Model:"), QString("SABLE"));
        QCOMPARE(p.sheetValue("Tow Fee:"), QString("130.25"));
        Program::checkPrintedFigures(p.printedSheet(), {45.00, 55, 30.25},
                                     QDate(2026, 3, 1).daysTo(QDate(2026, 3, 6)));
        if (QTest::currentTestFailed())
            return;

        // A vehicle click whose sheet has fewer fields leaves nothing of the first.
        p.click(p.model()->vehicleIndex(second), Qt::LeftButton);
        QCOMPARE(p.sheetValue("Name:"), QString());
        QCOMPARE(p.label("Label7"), QString(".00"));
        QCOMPARE(p.sheetValue("Vehicle Vin:"), QString("<no row>"));
        QCOMPARE(p.browser()->printSnapshot().customerName, QString());

        // Remove the first from the vehicle menu.
        p.click(p.model()->vehicleIndex(id), Qt::RightButton);
        p.dialogs.queueAnswer(Answer::Yes);
        p.window->command("mnusRC")->trigger();
        QCOMPARE(p.dialogs.count(), 1);
        QVERIFY(!p.model()->vehicleIndex(id).isValid());
        QVERIFY(!p.context->store.towRecord(id));
        QCOMPARE(p.label("Label10"), QString("1"));
    }

    void addVehicleCommandsOpenTheFormInAddMode_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("context menu Add Vehicle") << "mnusmAC";
        QTest::newRow("toolbar New > Vehicle") << "tbNewVehicle";
    }
    void addVehicleCommandsOpenTheFormInAddMode()
    {
        QFETCH(QString, command);
        Program p;
        QAction *action = p.window->findChild<QAction *>(command);
        QVERIFY(action);
        action->trigger();
        QCOMPARE(Program::openForms().size(), 1);
        TowRecordForm *form = Program::openForms().first();
        QVERIFY(!form->EDT());
        QCOMPARE(form->toolbarButton(3)->text(), QString("Add"));
        QCOMPARE(text(form, "lstGroups"), QString("<None>"));
    }

    void selectionOwnsSheetSummaryAndPrint()
    {
        Program p;
        TowRecord r;
        r.set(TowField::vehyear, "1999");
        r.set(TowField::custname, "first");
        r.set(TowField::towedfee, "100.00");
        const qint64 a = *p.context->store.addTowRecord(r);
        r.set(TowField::custname, "second");
        r.set(TowField::towedfee, "7.00");
        const qint64 b = *p.context->store.addTowRecord(r);
        QVERIFY(p.context->database.AddGroup("Empty") == 1);
        p.click(p.model()->vehicleIndex(a), Qt::LeftButton);
        QCOMPARE(p.label("Label7"), QString("100.00"));

        // A right click selects the vehicle as a left click does, then offers its menu.
        p.click(p.model()->vehicleIndex(b), Qt::RightButton);
        QCOMPARE(p.browser()->SelNde().id(), QString::number(b));
        QCOMPARE(p.sheetValue("Name:"), QString("SECOND"));
        QCOMPARE(p.label("Label7"), QString("7.00"));
        QCOMPARE(p.browser()->printSnapshot().customerName, QString("second"));

        // A group: its vehicles, no figures of the last vehicle, and nothing to print.
        p.click(p.model()->groupIndex(p.context->store.groupIdByName("Empty")), Qt::LeftButton);
        QCOMPARE(p.browser()->list()->rowCount(), 0);
        QCOMPARE(p.browser()->list()->columnCount(), 6);
        QCOMPARE(p.label("Label7"), QString());
        QCOMPARE(p.label("Label1"), QString());
        p.window->command("mnuprint")->trigger();
        QCOMPARE(p.dialogs.last().text, QString("Please Select A Record To Print"));
        QVERIFY(Program::shown("frmprint").isEmpty());

        // The vehicle shown is read again after a change, and forgotten once removed.
        p.click(p.model()->vehicleIndex(a), Qt::LeftButton);
        TowRecord changed = *p.context->store.towRecord(a);
        changed.set(TowField::towedfee, "250.00");
        QVERIFY(p.context->store.updateTowRecord(changed));
        p.browser()->RefContactList();
        QCOMPARE(p.label("Label7"), QString("250.00"));
        QCOMPARE(p.browser()->printSnapshot().towFee, QString("250.00"));
        QCOMPARE(p.browser()->tree()->currentIndex(), p.model()->vehicleIndex(a));
        QVERIFY(p.context->store.removeTowRecord(a));
        p.browser()->RefContactList();
        QVERIFY(!p.browser()->SelNde().isSet());
        QCOMPARE(p.label("Label7"), QString());
        QCOMPARE(p.browser()->list()->rowCount(), 0);
        QVERIFY(!p.browser()->printSnapshot().hasRecord);
    }
};

QTEST_MAIN(VehicleFlowTest)
#include "VehicleFlow_test.moc"
