// A database file is outside bytes when it comes from a backup. The restore check must answer
// every file without crashing or hanging, and a file it accepts must be one this program can
// open for writing and whose next change does nothing but that change: adding a group never
// touches the vehicles.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

#include "DatabaseRestore.h"
#include "RecordStore.h"

namespace {

QString g_path;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv); // the SQL driver is a plugin
    g_path = QDir::tempPath() + QStringLiteral("/tarnvale-fuzz-restore-%1.db").arg(getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        QFile file(g_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    QFile::remove(g_path + QStringLiteral("-journal"));
    QFile::remove(g_path + QStringLiteral("-wal"));

    if (tarnvale::DatabaseRestore::checkDatabase(g_path).isEmpty()) {
        tarnvale::RecordStore store;
        if (!store.open(g_path, tarnvale::RecordStore::OpenMode::ExistingOnly)
            || store.isReadOnly())
            std::abort(); // the check and the store disagree
        const qint64 before = store.towRecordCount();
        store.addGroup(QStringLiteral("fuzz group"));
        if (store.towRecordCount() != before)
            std::abort(); // a change ran code from the file
    }
    QFile::remove(g_path);
    return 0;
}
