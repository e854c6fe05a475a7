// The search window frmFind ("Find Contacts"): criteria on the "Search" tab, the rows found
// on the "Results" tab. The scan runs on SearchRunner's thread; while it runs the "Search"
// button is disabled and a further Search() is refused, so one search never runs inside
// another.
#pragma once

#include <QString>
#include <QWidget>

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QTabWidget;
class QTreeView;

namespace tarnvale {

class Dialogs;
class FindResultModel;
class RecordStore;
class SearchRunner;

class FindWindow : public QWidget
{
    Q_OBJECT

  public:
    // Fills the group list from the store at once (a failure is reported through dialogs).
    FindWindow(RecordStore &store, Dialogs &dialogs, QWidget *parent = nullptr);
    ~FindWindow() override;

    // "Find in group...": puts the group's name into the group box.
    void preselectGroup(const QString &groupName);

    // Clears the result list and starts a search; false, doing nothing, while one runs.
    bool Search(const QString &groupName, const QString &fields, const QString &findText,
                bool matchWord, bool matchCase);
    bool isSearching() const;
    // The rows found by the last search.
    const FindResultModel *resultModel() const { return m_model; }

  Q_SIGNALS:
    void searchFinished();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void buildControls();
    void loadGroups();
    void onSearchClicked();
    void onFinished(bool completed, int errorNumber, const QString &errorDescription);

    RecordStore &m_store;
    Dialogs &m_dialogs;
    SearchRunner *m_runner = nullptr;
    FindResultModel *m_model = nullptr;
    QAction *m_searchAction = nullptr;
    QTabWidget *m_tabs = nullptr;
    QComboBox *m_groups = nullptr;
    QComboBox *m_fields = nullptr;
    QLineEdit *m_text = nullptr;
    QCheckBox *m_wholeWord = nullptr;
    QCheckBox *m_matchCase = nullptr;
    QTreeView *m_results = nullptr;
};

} // namespace tarnvale
