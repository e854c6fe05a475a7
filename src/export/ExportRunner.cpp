#include "ExportRunner.h"

#include <QThread>

namespace tarnvale {

ExportRunner::ExportRunner(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<RecordExport::Result>();
}

ExportRunner::~ExportRunner()
{
    m_cancel = true;
    if (m_thread)
        m_thread->wait();
}

bool ExportRunner::start(const QString &databasePath, const ExportSelection &selection,
                         const SettingsFile &settings, const QString &outPath,
                         const RecordExport::Options &options)
{
    if (m_running)
        return false;
    m_running = true;
    m_cancel = false;
    RecordExport::Options run = options;
    run.cancel = &m_cancel;
    run.progress = [this](qint64 done, qint64 total) {
        QMetaObject::invokeMethod(this, [this, done, total] { Q_EMIT progress(done, total); },
                                  Qt::QueuedConnection);
    };
    m_thread.reset(QThread::create([=, this] {
        const RecordExport::Result result =
            RecordExport::write(databasePath, selection, settings, outPath, run);
        QMetaObject::invokeMethod(this, [this, result] { conclude(result); }, Qt::QueuedConnection);
    }));
    m_thread->start();
    return true;
}

void ExportRunner::cancel()
{
    if (m_running)
        m_cancel = true;
}

void ExportRunner::conclude(const RecordExport::Result &result)
{
    if (m_thread) {
        m_thread->wait();
        m_thread.reset();
    }
    m_running = false;
    Q_EMIT finished(result);
}

} // namespace tarnvale
