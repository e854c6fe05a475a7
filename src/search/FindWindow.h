// The search window frmFind ("Find Contacts"): criteria on the "Search" tab, the rows found
// on the "Results" tab. The scan runs on SearchRunner's thread and its rows come into the
// list as they are found, the line under the criteria counting them; "Search" pressed again
// starts the scan anew, "Cancel" stops it. A search leaves the tab as it is: the line says
// how many were found and where they are. Ctrl+F puts the cursor in the search text.
//
// The window follows the store's changes: a removed record's row goes, an added or changed
// record is compared with the last search alone and its row comes, goes or shows it anew (the
// tab, the focus and the current row stay; during a search, once the scan is through), the
// group list follows the groups, and another database clears the results.
#pragma once

#include "FindRequest.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTreeView;

namespace tarnvale {

class Dialogs;
class FindResultModel;
class RecordStore;
class SearchRunner;
struct StoreChange;

class FindWindow : public QWidget
{
    Q_OBJECT

  public:
    // Fills the group list from the store at once (a failure is reported through dialogs).
    FindWindow(RecordStore &store, Dialogs &dialogs, QWidget *parent = nullptr);
    ~FindWindow() override;

    // "Find in group...": puts the group's name into the group box.
    void preselectGroup(const QString &groupName);

    // Clears the result list and starts a search, ending one that runs.
    void Search(const QString &groupName, const QString &fields, const QString &findText,
                bool matchWord, bool matchCase);
    // A search runs.
    bool isSearching() const;
    // Ends the running search; the rows found so far stay.
    void cancelSearch();
    // The "Search" tab, with the cursor in the search text (all of it selected).
    void focusSearchText();
    // The rows found by the last search.
    const FindResultModel *resultModel() const { return m_model; }

    // The record id of the result row the user is on; 0 when there is none.
    qint64 currentResultId() const;

  Q_SIGNALS:
    void searchFinished();
    // A result opened (double-click or Enter on it, or its context menu): show the vehicle
    // in the browser, or open it in the record form.
    void showRequested(qint64 recordId);
    void editRequested(qint64 recordId);

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void buildControls();
    void loadGroups();
    void onSearchClicked();
    // Brings the rows of these records in line with the last search.
    void recheck(const QList<qint64> &ids);
    void onRowsFound(const QList<FindResult> &rows);
    void onFinished(bool completed, int errorNumber, const QString &errorDescription);
    void onStoreChanged(const StoreChange &change);
    void openResult(bool inForm);

    RecordStore &m_store;
    Dialogs &m_dialogs;
    SearchRunner *m_runner = nullptr;
    FindResultModel *m_model = nullptr;
    QAction *m_searchAction = nullptr;
    QAction *m_cancelAction = nullptr;
    QTabWidget *m_tabs = nullptr;
    QComboBox *m_groups = nullptr;
    QComboBox *m_fields = nullptr;
    QComboBox *m_status = nullptr; // only vehicles of this status; <Any> first
    QLineEdit *m_text = nullptr;
    QCheckBox *m_wholeWord = nullptr;
    QCheckBox *m_matchCase = nullptr;
    QTreeView *m_results = nullptr;
    QLabel *m_outcome = nullptr;
    QString m_searchedGroup;
    std::optional<FindRequest> m_lastRequest; // the search the results come from
    QList<qint64> m_recheck;                  // records changed while a search ran
};

} // namespace tarnvale
