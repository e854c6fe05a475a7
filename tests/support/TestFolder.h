// A fresh program folder for one test: settings.ini, data.dll and Reports/ live in it.
#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

namespace tarnvale::test {

class TestFolder
{
  public:
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return QDir(m_dir.path()).filePath(name); }
    QString settingsPath() const { return file(QStringLiteral("settings.ini")); }
    QString databasePath() const { return file(QStringLiteral("data.dll")); }
    QString reportPath() const { return file(QStringLiteral("Reports/report.rtf")); }

  private:
    QTemporaryDir m_dir;
};

} // namespace tarnvale::test
