// The databases this workstation opened last, newest first, for File > Open Recent. Kept in
// the workstation's own file under Recent/Databases, never in the yard's settings.ini.
#pragma once

#include <QStringList>

class QSettings;

namespace tarnvale {

class RecentDatabases
{
public:
    static constexpr int kMostKept = 8;

    explicit RecentDatabases(QSettings &workstation) : m_workstation(workstation) {}

    QStringList paths() const;
    // Puts the database first. A file is kept by its absolute path, a server by its address;
    // an address that holds a password is not kept (this file is not the place for it), and
    // false says so.
    bool add(const QString &path);
    void remove(const QString &path);
    void clear();

private:
    static QString keptForm(const QString &path);
    void write(const QStringList &paths);

    QSettings &m_workstation;
};

} // namespace tarnvale
