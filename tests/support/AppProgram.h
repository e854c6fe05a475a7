// The whole program in a fresh folder: settings, a scripted Dialogs and the main window with
// the browser. Header-only; tests that use it link tarnvale_app.
#pragma once

#include <QApplication>
#include <QLabel>
#include <QTableView>
#include <QTest>
#include <QTreeView>

#include <functional>
#include <memory>

#include "AppContext.h"
#include "ContactsWindow.h"
#include "GroupTreeModel.h"
#include "MainWindow.h"
#include "ScriptedDialogs.h"
#include "StoreFixture.h"
#include "TestFolder.h"

namespace tarnvale::test {

struct AppProgram
{
    TestFolder dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<MainWindow> window;

    // The company is "Harbor Towing" unless setup writes other settings before the start.
    explicit AppProgram(const std::function<void(const SettingsFile &)> &setup = {})
    {
        context = std::make_unique<AppContext>(dir.path(), dialogs);
        context->settings.write("Company", "Name", "Harbor Towing");
        if (setup)
            setup(context->settings);
    }
    ~AppProgram()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w != window.get() && w->isVisible())
                w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        window.reset();
    }
    void start()
    {
        window = std::make_unique<MainWindow>(*context);
        window->load();
        window->show();
    }

    ContactsWindow *browser() const { return window->browser(); }
    GroupTreeModel *model() const { return browser()->treeModel(); }
    QString label(const char *name) const { return browser()->findChild<QLabel *>(name)->text(); }
    qint64 vehicle(const QString &group, const QString &year = "1999")
    {
        return addVehicle(context->store, group, year);
    }

    // The value beside a label on the browser's sheet.
    QString sheetValue(const QString &label) const
    {
        for (int r = 0; r < browser()->list()->model()->rowCount(); ++r)
            if (cell(r, 0) == label)
                return cell(r, 1);
        return "<no " + label + ">";
    }
    // The text of a cell of the browser's list.
    QString cell(int row, int column) const
    {
        return browser()->list()->model()->index(row, column).data().toString();
    }

    // The visible top-level windows named so.
    static QList<QWidget *> shown(const QString &objectName)
    {
        QList<QWidget *> found;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == objectName && w->isVisible())
                found << w;
        return found;
    }

    // A real mouse press and release on a node of the tree.
    void press(const QModelIndex &index, Qt::MouseButton button)
    {
        QTreeView *tree = browser()->tree();
        tree->scrollTo(index);
        QTest::mousePress(tree->viewport(), button, {}, tree->visualRect(index).center());
        QTest::mouseRelease(tree->viewport(), button, {}, tree->visualRect(index).center());
    }
};

} // namespace tarnvale::test
