#include "SearchRunner.h"

#include <QAtomicInteger>
#include <QSqlError>
#include <QThread>

#include "RecordStore.h"
#include "SchemaCheck.h"

namespace tarnvale {

namespace {

QString nextConnectionName()
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("tarnvale-search-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

SearchRunner::SearchRunner(RecordStore &store, QObject *parent) : QObject(parent), m_store(store)
{
    qRegisterMetaType<QList<FindResult>>();
}

SearchRunner::~SearchRunner()
{
    m_cancel = true;
    if (m_thread)
        m_thread->wait();
}

bool SearchRunner::start(const FindRequest &request)
{
    if (m_running)
        return false;
    m_running = true;
    m_cancel = false;
    const int generation = ++m_generation;
    // Only the name crosses threads: the worker clones the connection in its own thread.
    const QString source = m_store.isOpen() ? m_store.database().connectionName() : QString();
    m_thread.reset(QThread::create(
        [this, source, request, generation] { work(source, request, generation); }));
    m_thread->start();
    return true;
}

void SearchRunner::cancel()
{
    if (m_running)
        m_cancel = true;
}

void SearchRunner::work(const QString &sourceConnection, const FindRequest &request, int generation)
{
    RecordSearch::Outcome outcome = RecordSearch::Outcome::Failed;
    DbError error{3420, QStringLiteral("The database is not open.")};
    if (!sourceConnection.isEmpty()) {
        const QString name = nextConnectionName();
        {
            QSqlDatabase db = QSqlDatabase::cloneDatabase(sourceConnection, name);
            if (db.driverName() == QLatin1String("QSQLITE"))
                db.setConnectOptions(db.connectOptions() +
                                     QStringLiteral(";QSQLITE_OPEN_READONLY"));
            // The file is untrusted here as in the store: nothing in its schema runs.
            QString reason;
            const bool opened = db.open();
            // A server's schema is the server's business; a file's is hardened.
            if (opened && !SqlDialect::of(db).isServer() &&
                !SchemaCheck::harden(db, SchemaCheck::Use::Inspecting, &reason)) {
                error = DbError{3051, reason};
                db.close();
            } else if (opened) {
                RecordSearch::Options options;
                options.reader = m_reader;
                options.batchSize = m_batchSize;
                options.cancel = &m_cancel;
                outcome = RecordSearch::run(
                    db, request,
                    [this, generation](QList<FindResult> &&rows) {
                        QMetaObject::invokeMethod(
                            this,
                            [this, generation, rows = std::move(rows)] {
                                deliver(generation, rows);
                            },
                            Qt::QueuedConnection);
                    },
                    &error, options);
                db.close();
            } else {
                const QSqlError sqlError = db.lastError();
                error = DbError{3051, sqlError.text().isEmpty()
                                          ? QStringLiteral("The database could not be opened.")
                                          : sqlError.text()};
            }
        }
        QSqlDatabase::removeDatabase(name);
    }
    QMetaObject::invokeMethod(
        this, [this, generation, outcome, error] { conclude(generation, outcome, error); },
        Qt::QueuedConnection);
}

void SearchRunner::deliver(int generation, const QList<FindResult> &rows)
{
    if (generation == m_generation && !m_cancel)
        Q_EMIT rowsFound(rows);
}

void SearchRunner::conclude(int generation, RecordSearch::Outcome outcome, const DbError &error)
{
    if (generation != m_generation)
        return;
    if (m_thread) {
        m_thread->wait();
        m_thread.reset();
    }
    m_running = false;
    // Rows found after a cancel are dropped, so a cancelled search never counts as complete.
    const bool completed = outcome == RecordSearch::Outcome::Done && !m_cancel;
    const bool failed = outcome == RecordSearch::Outcome::Failed;
    Q_EMIT finished(completed, failed ? error.number : 0, failed ? error.description : QString());
}

} // namespace tarnvale
