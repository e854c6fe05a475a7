// The rows of a database on a server read through Qt SQL with the calls of SqliteReader, so
// that a scan written for one reads either; exec("BEGIN") starts one read-only snapshot.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include "SqliteReader.h"

namespace tarnvale {

class QtSqlRows
{
  public:
    explicit QtSqlRows(const QSqlDatabase &db) : m_db(db) {}
    bool exec(const char *sql);
    // Runs the statement at once; step() then walks its rows.
    bool prepare(QByteArrayView sql, const QString *boundText = nullptr);
    SqliteReader::Step step();
    qint64 integer(int column) const { return m_query.value(column).toLongLong(); }
    // Valid until the same column is read again.
    QByteArrayView text(int column) const;
    QString errorText() const { return m_error; }

  private:
    QSqlDatabase m_db;
    QSqlQuery m_query;
    mutable QList<QByteArray> m_text;
    QString m_error;
};

} // namespace tarnvale
