// txtQuickSearch: the main window's quick search box. As the clerk types, the vehicles found
// (QuickSearch) are listed under the box; Up and Down move in the list, Enter or a click
// chooses a vehicle, Escape closes the list. The list lives in the window given, over its
// content, and never takes the focus from the box.
#pragma once

#include <QLineEdit>

#include "QuickSearch.h"

class QTreeWidget;

namespace tarnvale {

class RecordStore;

class QuickSearchBox : public QLineEdit
{
    Q_OBJECT

  public:
    QuickSearchBox(RecordStore &store, QWidget *window, QWidget *parent = nullptr);

    // lstQuickSearch: the list under the box.
    QTreeWidget *list() const { return m_list; }
    // Searches again for the text in the box (after a change to the records).
    void refresh();

  Q_SIGNALS:
    void vehicleChosen(qint64 recordId);

  protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

  private:
    void showResults(const QList<QuickResult> &rows, const QString &note);
    void choose(int row);

    RecordStore &m_store;
    QWidget *m_window;
    QTreeWidget *m_list;
};

} // namespace tarnvale
