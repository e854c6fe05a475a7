#include "FindWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <utility>

#include "DatabaseCommands.h"
#include "Dialogs.h"
#include "FindResultModel.h"
#include "FindRules.h"
#include "ImpoundRules.h"
#include "RecordSearch.h"
#include "RecordStore.h"
#include "SearchRunner.h"
#include "StoreChange.h"

namespace tarnvale {

FindWindow::FindWindow(RecordStore &store, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window), m_store(store), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Find Contacts"));
    m_runner = new SearchRunner(m_store, this);
    m_model = new FindResultModel(this);
    m_model->setRowIcon(style()->standardIcon(QStyle::SP_FileIcon));
    m_model->setTextReader(
        [this](const QList<qint64> &ids) { return RecordSearch::textsOf(m_store, ids); });
    connect(m_runner, &SearchRunner::rowsFound, this, &FindWindow::onRowsFound);
    connect(m_runner, &SearchRunner::finished, this, &FindWindow::onFinished);
    connect(&m_store, &RecordStore::changed, this, &FindWindow::onStoreChanged);
    buildControls();
    loadGroups();
}

FindWindow::~FindWindow() = default;

void FindWindow::buildControls()
{
    auto *toolbar = new QToolBar(this);
    toolbar->setObjectName(QStringLiteral("Toolbar1"));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_searchAction = toolbar->addAction(style()->standardIcon(QStyle::SP_FileDialogContentsView),
                                        QStringLiteral("Search"));
    m_searchAction->setObjectName(QStringLiteral("btnSearch"));
    connect(m_searchAction, &QAction::triggered, this, &FindWindow::onSearchClicked);
    m_cancelAction =
        toolbar->addAction(style()->standardIcon(QStyle::SP_BrowserStop), QStringLiteral("Cancel"));
    m_cancelAction->setObjectName(QStringLiteral("btnCancel"));
    m_cancelAction->setEnabled(false);
    connect(m_cancelAction, &QAction::triggered, this, &FindWindow::cancelSearch);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tbSearch"));

    auto *searchPage = new QWidget(m_tabs);
    auto *frame = new QFrame(searchPage);
    frame->setObjectName(QStringLiteral("f_search"));

    auto *groupBox = new QGroupBox(QStringLiteral("Find In Group"), frame);
    m_groups = new QComboBox(groupBox);
    m_groups->setObjectName(QStringLiteral("lstGroups"));
    m_groups->setEditable(true);
    m_groups->setInsertPolicy(QComboBox::NoInsert);
    // What is typed stays as typed: group names differ by letter case ("Lot 1", "lot 1"), and
    // the box would otherwise put the first name that matches in any case, or the rest of a
    // longer one, in place of the text. Names that begin so are offered in a list instead.
    m_groups->completer()->setCaseSensitivity(Qt::CaseSensitive);
    m_groups->completer()->setCompletionMode(QCompleter::PopupCompletion);
    auto *groupLayout = new QVBoxLayout(groupBox);
    groupLayout->addWidget(m_groups);

    m_fields = new QComboBox(frame);
    m_fields->setObjectName(QStringLiteral("lstFields"));
    m_fields->setEditable(true);
    m_fields->setInsertPolicy(QComboBox::NoInsert);
    m_fields->addItems(FindRules::fieldKeys());
    m_fields->setCurrentIndex(0);

    m_text = new QLineEdit(frame);
    m_text->setObjectName(QStringLiteral("txtSearch"));
    m_wholeWord = new QCheckBox(QStringLiteral("Match Whole Word"), frame);
    m_wholeWord->setObjectName(QStringLiteral("chkWholeWord"));
    m_matchCase = new QCheckBox(QStringLiteral("Match Case"), frame);
    m_matchCase->setObjectName(QStringLiteral("chkMatchCase"));

    m_status = new QComboBox(frame);
    m_status->setObjectName(QStringLiteral("cboStatus"));
    m_status->addItem(QStringLiteral("<Any>"), QString());
    for (VehicleStatus status : ImpoundRules::allStatuses())
        m_status->addItem(ImpoundRules::statusText(status), ImpoundRules::statusWord(status));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Search Field:"), m_fields);
    form->addRow(QStringLiteral("Search Text:"), m_text);
    form->addRow(QStringLiteral("Status:"), m_status);
    auto *checks = new QHBoxLayout;
    checks->addWidget(m_wholeWord);
    checks->addWidget(m_matchCase);
    checks->addStretch();
    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(groupBox);
    frameLayout->addLayout(form);
    frameLayout->addLayout(checks);
    frameLayout->addStretch();
    m_outcome = new QLabel(searchPage);
    m_outcome->setObjectName(QStringLiteral("lblOutcome"));
    auto *searchLayout = new QVBoxLayout(searchPage);
    searchLayout->addWidget(frame);
    searchLayout->addWidget(m_outcome);
    m_tabs->addTab(searchPage, QStringLiteral("Search"));

    m_results = new QTreeView(m_tabs);
    m_results->setObjectName(QStringLiteral("lstResults"));
    m_results->setModel(m_model);
    m_results->setRootIsDecorated(false);
    m_results->setUniformRowHeights(true);
    m_results->setAllColumnsShowFocus(true);
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_results->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_results->header()->setSectionResizeMode(QHeaderView::Stretch);
    m_results->header()->setSectionsMovable(false);
    m_tabs->addTab(m_results, QStringLiteral("Results"));

    // A result opens with a double-click or Enter (in the browser) or from its menu.
    connect(m_results, &QTreeView::activated, this, [this] { openResult(false); });
    auto *show = new QAction(QStringLiteral("&Show in Tree"), m_results);
    show->setObjectName(QStringLiteral("mnuShowResult"));
    connect(show, &QAction::triggered, this, [this] { openResult(false); });
    auto *edit = new QAction(QStringLiteral("&Edit this Vehicle..."), m_results);
    edit->setObjectName(QStringLiteral("mnuEditResult"));
    edit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    edit->setShortcutContext(Qt::WidgetShortcut);
    connect(edit, &QAction::triggered, this, [this] { openResult(true); });
    m_results->addActions({show, edit});
    m_results->setContextMenuPolicy(Qt::ActionsContextMenu);

    // Enter in any of the criteria runs the search.
    connect(m_text, &QLineEdit::returnPressed, this, &FindWindow::onSearchClicked);
    for (QComboBox *box : {m_groups, m_fields})
        connect(box->lineEdit(), &QLineEdit::returnPressed, this, &FindWindow::onSearchClicked);

    auto *close = new QAction(this);
    close->setShortcuts(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
    auto *find = new QAction(this);
    find->setShortcuts(QKeySequence::Find);
    connect(find, &QAction::triggered, this, &FindWindow::focusSearchText);
    addAction(find);
    // The search text takes the keys first, so typing never lands in the group's name.
    m_text->setFocus();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(toolbar);
    layout->addWidget(m_tabs);
    resize(520, 340);
}

void FindWindow::loadGroups()
{
    // What is typed in the box stays: the list changes under it.
    const QString typed = m_groups->currentText();
    const bool keepTyped = m_groups->count() > 0;
    m_groups->clear();
    const std::optional<QList<GroupRecord>> groups = m_store.groups();
    if (groups) {
        for (const GroupRecord &group : *groups)
            m_groups->addItem(group.name);
    } else {
        DatabaseCommands::ReportUnknownError(m_dialogs, m_store.lastError());
    }
    m_groups->addItem(QStringLiteral("<All>"));
    m_groups->addItem(QStringLiteral("<None>"));
    m_groups->setCurrentIndex(0);
    if (keepTyped)
        preselectGroup(typed);
}

void FindWindow::preselectGroup(const QString &groupName)
{
    const int index = m_groups->findText(groupName, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        m_groups->setCurrentIndex(index);
    m_groups->setEditText(groupName);
}

bool FindWindow::isSearching() const
{
    return m_runner->isRunning();
}

void FindWindow::Search(const QString &groupName, const QString &fields, const QString &findText,
                        bool matchWord, bool matchCase)
{
    const FindRequest request{groupName, fields, findText, matchWord, matchCase,
                              m_status->currentData().toString()};
    m_model->clear();
    m_outcome->setText(QStringLiteral("Searching..."));
    m_recheck.clear();
    m_lastRequest = request;
    m_searchedGroup = request.groupText;
    m_runner->start(request);
    m_cancelAction->setEnabled(true);
}

void FindWindow::cancelSearch()
{
    m_runner->cancel();
}

void FindWindow::focusSearchText()
{
    m_tabs->setCurrentIndex(0);
    m_text->setFocus(Qt::ShortcutFocusReason);
    m_text->selectAll();
}

void FindWindow::onRowsFound(const QList<FindResult> &rows)
{
    m_model->append(rows);
    m_outcome->setText(QStringLiteral("Searching... %1 found so far.").arg(m_model->rowCount()));
}

void FindWindow::onSearchClicked()
{
    Search(m_groups->currentText(), m_fields->currentText(), m_text->text(),
           m_wholeWord->isChecked(), m_matchCase->isChecked());
}

void FindWindow::onFinished(bool completed, int errorNumber, const QString &errorDescription)
{
    m_cancelAction->setEnabled(false);
    if (errorNumber != 0) {
        m_outcome->clear();
        DatabaseCommands::ReportUnknownError(m_dialogs, DbError{errorNumber, errorDescription});
    } else if (completed) {
        // The scan may have read a record before or after a change the store announced.
        recheck(std::exchange(m_recheck, {}));
        m_outcome->setText(FindRules::outcomeText(m_model->rowCount(), m_searchedGroup));
        if (!m_results->currentIndex().isValid()) // the first row, when there is one
            m_results->setCurrentIndex(m_model->index(0, 0));
    } else {
        const qsizetype found = m_model->rowCount();
        m_outcome->setText(
            found == 0 ? QStringLiteral("Search cancelled: nothing found.")
                       : QStringLiteral("Search cancelled: %1 found so far, see the Results tab.")
                             .arg(found));
    }
    m_recheck.clear();
    Q_EMIT searchFinished();
}

void FindWindow::recheck(const QList<qint64> &ids)
{
    if (!m_lastRequest || ids.isEmpty())
        return;
    DbError error;
    const auto found = RecordSearch::findAmong(m_store, *m_lastRequest, ids, &error);
    if (!found) {
        DatabaseCommands::ReportUnknownError(m_dialogs, error);
        return;
    }
    m_model->updateRecords(ids, *found);
}

void FindWindow::onStoreChanged(const StoreChange &change)
{
    // A closed store has no groups to read; its list stays until one is open.
    if ((change.reset || !change.addedGroups.isEmpty() || !change.removedGroups.isEmpty()) &&
        m_store.isOpen())
        loadGroups();
    if (change.reset) {
        // Results of another database: none of them can be opened here.
        m_runner->cancel();
        m_lastRequest.reset();
        m_recheck.clear();
        m_model->clear();
        m_outcome->clear();
        return;
    }
    const QList<qint64> named =
        change.addedRecords + change.changedRecords + change.removedRecords;
    m_model->removeRecords(change.removedRecords);
    if (m_runner->isRunning()) {
        m_recheck.append(named); // once the scan is through
        return;
    }
    // Only the records the change names are compared with the search; the rest stand.
    recheck(change.addedRecords + change.changedRecords);
    if (m_lastRequest && !named.isEmpty())
        m_outcome->setText(FindRules::outcomeText(m_model->rowCount(), m_searchedGroup));
}

qint64 FindWindow::currentResultId() const
{
    const QModelIndex current = m_results->currentIndex();
    return current.isValid() ? m_model->at(current.row()).id : 0;
}

void FindWindow::openResult(bool inForm)
{
    const qint64 id = currentResultId();
    if (id == 0)
        return;
    if (inForm)
        Q_EMIT editRequested(id);
    else
        Q_EMIT showRequested(id);
}

void FindWindow::closeEvent(QCloseEvent *event)
{
    m_runner->cancel();
    QWidget::closeEvent(event);
}

} // namespace tarnvale
