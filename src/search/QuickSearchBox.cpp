#include "QuickSearchBox.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMutex>
#include <QScrollBar>
#include <QThread>
#include <QTreeWidget>

#include "RecordStore.h"
#include "StatementCanceller.h"
#include "StoreConnection.h"

namespace tarnvale {

namespace {

constexpr int kShownRows = 12;

} // namespace

// What a search shares with the window's thread: its text, its stop flag and, while its
// statement runs, the means to stop that statement.
struct QuickSearchBox::Search
{
    QString text;
    std::atomic<bool> cancel{false};
    QMutex mutex;
    StatementCanceller *canceller = nullptr; // set while the connection is open
};

QuickSearchBox::QuickSearchBox(RecordStore &store, QWidget *window, QWidget *parent)
    : QLineEdit(parent), m_store(store), m_window(window), m_list(new QTreeWidget(window))
{
    setObjectName(QStringLiteral("txtQuickSearch"));
    setClearButtonEnabled(true);
    m_list->setObjectName(QStringLiteral("lstQuickSearch"));
    m_list->setHeaderLabels({QStringLiteral("Plate"), QStringLiteral("Owner"),
                             QStringLiteral("Vehicle"), QStringLiteral("Group"),
                             QStringLiteral("Status")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setFrameShape(QFrame::Box);
    m_list->header()->setStretchLastSection(false);
    m_list->hide();
    connect(m_list, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { choose(m_list->indexOfTopLevelItem(item)); });
    connect(this, &QLineEdit::textEdited, this, &QuickSearchBox::refresh);
    // A list that is shown follows the records; a closed one is searched again when typed in.
    connect(&m_store, &RecordStore::changed, this, [this] {
        if (m_list->isVisible())
            refresh();
    });
}

QuickSearchBox::~QuickSearchBox()
{
    stopSearch();
    if (m_thread)
        m_thread->wait();
}

void QuickSearchBox::refresh()
{
    if (!QuickSearch::searchable(text())) {
        m_searchAgain = false;
        stopSearch();
        m_list->hide();
        return;
    }
    if (m_search) {
        // The one that runs is stopped; the newest text is searched once it has ended.
        m_searchAgain = true;
        stopSearch();
        return;
    }
    startSearch();
}

void QuickSearchBox::startSearch()
{
    m_searchAgain = false;
    auto search = std::make_shared<Search>();
    search->text = text();
    m_search = search;
    // Only the name crosses threads: the worker clones the connection in its own thread.
    const QString source = m_store.isOpen() ? m_store.database().connectionName() : QString();
    m_thread.reset(QThread::create([this, search, source] {
        std::optional<QList<QuickResult>> rows = QList<QuickResult>{}; // no database: nothing
        DbError error;
        if (!source.isEmpty()) {
            const auto failure = StoreConnection::useReadingCopy(source, [&](QSqlDatabase &db) {
                StatementCanceller canceller(db);
                {
                    const QMutexLocker lock(&search->mutex);
                    search->canceller = &canceller;
                }
                rows = QuickSearch::find(db, search->text, QuickSearch::kMaxRows, &error,
                                         &search->cancel);
                const QMutexLocker lock(&search->mutex);
                search->canceller = nullptr;
            });
            if (failure) {
                rows.reset();
                error = DbError{DbError::kCannotOpen, failure->reason};
            }
        }
        QMetaObject::invokeMethod(
            this, [this, search, rows, error] { searchEnded(search, rows, error); },
            Qt::QueuedConnection);
    }));
    m_thread->start();
}

void QuickSearchBox::stopSearch()
{
    if (!m_search)
        return;
    const QMutexLocker lock(&m_search->mutex);
    m_search->cancel = true;
    if (m_search->canceller)
        m_search->canceller->cancel();
}

void QuickSearchBox::searchEnded(const std::shared_ptr<Search> &search,
                                 const std::optional<QList<QuickResult>> &rows,
                                 const DbError &error)
{
    m_thread->wait();
    m_thread.reset();
    m_search.reset();
    if (m_searchAgain) {
        startSearch();
        return;
    }
    if (search->cancel)
        return;
    if (!rows)
        showResults({}, QStringLiteral("The search failed: ") + error.description);
    else
        showResults(*rows, rows->isEmpty() ? QStringLiteral("No vehicle found.") : QString());
    Q_EMIT resultsShown(search->text);
}

void QuickSearchBox::showResults(const QList<QuickResult> &rows, const QString &note)
{
    m_list->clear();
    QList<QTreeWidgetItem *> items;
    for (const QuickResult &row : rows) {
        auto *item = new QTreeWidgetItem(
            QStringList{row.plate, row.owner, row.vehicle, row.group, row.status});
        item->setData(0, Qt::UserRole, row.id);
        items << item;
    }
    if (!note.isEmpty()) {
        auto *item = new QTreeWidgetItem(QStringList{note});
        item->setFlags(Qt::NoItemFlags);
        item->setFirstColumnSpanned(true);
        items << item;
    }
    m_list->addTopLevelItems(items);
    if (!rows.isEmpty())
        m_list->setCurrentItem(m_list->topLevelItem(0));

    // Under the box, as wide as its columns, as tall as its rows (a screenful at most).
    m_list->doItemsLayout();
    const int rowHeight = qMax(m_list->sizeHintForRow(0), 1);
    const int height = m_list->header()->sizeHint().height() +
                       rowHeight * int(qMin<qsizetype>(items.size(), kShownRows)) +
                       2 * m_list->frameWidth();
    int width = 2 * m_list->frameWidth() + m_list->verticalScrollBar()->sizeHint().width() + 8;
    for (int c = 0; c < m_list->columnCount(); ++c) {
        m_list->resizeColumnToContents(c);
        width += m_list->columnWidth(c);
    }
    width = qBound(this->width(), width, qMax(this->width(), m_window->width() - 16));
    QPoint at = mapTo(m_window, QPoint(0, this->height()));
    at.setX(qBound(0, at.x(), qMax(0, m_window->width() - width)));
    m_list->setGeometry(at.x(), at.y(), width, height);
    m_list->show();
    m_list->raise();
}

void QuickSearchBox::choose(int row)
{
    QTreeWidgetItem *item = m_list->topLevelItem(row);
    if (!item || !(item->flags() & Qt::ItemIsEnabled))
        return;
    m_list->hide();
    Q_EMIT vehicleChosen(item->data(0, Qt::UserRole).toLongLong());
}

void QuickSearchBox::keyPressEvent(QKeyEvent *event)
{
    if (m_list->isVisible()) {
        const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
        const int last = m_list->topLevelItemCount() - 1;
        switch (event->key()) {
        case Qt::Key_Down:
        case Qt::Key_Up: {
            const int next = qBound(0, row + (event->key() == Qt::Key_Down ? 1 : -1), last);
            if (m_list->topLevelItem(next)->flags() & Qt::ItemIsEnabled)
                m_list->setCurrentItem(m_list->topLevelItem(next));
            return;
        }
        case Qt::Key_Return:
        case Qt::Key_Enter:
            choose(row);
            return;
        case Qt::Key_Escape:
            m_list->hide();
            return;
        default:
            break;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void QuickSearchBox::focusOutEvent(QFocusEvent *event)
{
    // A click in the list keeps the focus here; anywhere else closes it.
    if (event->reason() != Qt::PopupFocusReason)
        m_list->hide();
    QLineEdit::focusOutEvent(event);
}

} // namespace tarnvale
