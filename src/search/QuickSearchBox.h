// txtQuickSearch: the main window's quick search box. As the clerk types, the vehicles found
// (QuickSearch) are listed under the box; Up and Down move in the list, Enter or a click
// chooses a vehicle, Escape closes the list. The list lives in the window given, over its
// content, and never takes the focus from the box.
//
// The search runs on a worker thread, over a connection of its own, so that typing never waits
// for the database (a server without an index for the text reads its whole table). One search
// runs at a time: a key typed meanwhile stops it (its statement too) and the newest text is
// searched once it has ended; only the newest text's rows are shown.
#pragma once

#include <QLineEdit>

#include <memory>

#include "QuickSearch.h"

class QThread;
class QTreeWidget;

namespace tarnvale {

class RecordStore;

class QuickSearchBox : public QLineEdit
{
    Q_OBJECT

  public:
    QuickSearchBox(RecordStore &store, QWidget *window, QWidget *parent = nullptr);
    ~QuickSearchBox() override;

    // lstQuickSearch: the list under the box.
    QTreeWidget *list() const { return m_list; }
    // Searches again for the text in the box (after a change to the records).
    void refresh();
    // Whether a search runs or waits to run; the list shows its rows once it has ended.
    bool isSearching() const { return m_search != nullptr; }

  Q_SIGNALS:
    void vehicleChosen(qint64 recordId);
    // The list now shows what the search for `text` found.
    void resultsShown(const QString &text);

  protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

  private:
    struct Search;
    void startSearch();
    void stopSearch();
    void searchEnded(const std::shared_ptr<Search> &search,
                     const std::optional<QList<QuickResult>> &rows, const DbError &error);
    void showResults(const QList<QuickResult> &rows, const QString &note);
    void choose(int row);

    RecordStore &m_store;
    QWidget *m_window;
    QTreeWidget *m_list;
    std::shared_ptr<Search> m_search; // the search that runs
    std::unique_ptr<QThread> m_thread; // its thread
    bool m_searchAgain = false;        // the text changed while it ran
};

} // namespace tarnvale
