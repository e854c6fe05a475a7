#include "RecentDatabases.h"

#include <QFileInfo>
#include <QSettings>

#include "ServerAddress.h"

namespace tarnvale {

namespace {
const QString kKey = QStringLiteral("Recent/Databases");
}

QString RecentDatabases::keptForm(const QString &path)
{
    const QString trimmed = path.trimmed();
    if (trimmed.isEmpty() || ServerAddress::isServerAddress(trimmed))
        return trimmed;
    return QFileInfo(trimmed).absoluteFilePath();
}

QStringList RecentDatabases::paths() const
{
    QStringList kept;
    for (const QString &path : m_workstation.value(kKey).toStringList())
        if (!path.isEmpty() && !kept.contains(path) && !ServerAddress::holdsPassword(path))
            kept << path;
    return kept.mid(0, kMostKept);
}

bool RecentDatabases::add(const QString &path)
{
    const QString kept = keptForm(path);
    if (kept.isEmpty() || ServerAddress::holdsPassword(kept))
        return false;
    QStringList list = paths();
    list.removeAll(kept);
    list.prepend(kept);
    write(list.mid(0, kMostKept));
    return true;
}

void RecentDatabases::remove(const QString &path)
{
    QStringList list = paths();
    list.removeAll(keptForm(path));
    write(list);
}

void RecentDatabases::clear()
{
    write({});
}

void RecentDatabases::write(const QStringList &paths)
{
    if (paths.isEmpty())
        m_workstation.remove(kKey);
    else
        m_workstation.setValue(kKey, paths);
    m_workstation.sync();
}

} // namespace tarnvale
