#include "QtSqlRows.h"

#include <QSqlError>
#include <QVariant>

namespace tarnvale {

bool QtSqlRows::exec(const char *sql)
{
    QSqlQuery query(m_db);
    const bool begin = qstrcmp(sql, "BEGIN") == 0;
    const bool ok = query.exec(begin ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ "
                                                      "READ ONLY")
                                     : QString::fromUtf8(sql));
    m_error = query.lastError().text();
    return ok;
}

bool QtSqlRows::prepare(QByteArrayView sql, const QString *boundText)
{
    m_query = QSqlQuery(m_db);
    m_query.setForwardOnly(true);
    bool ok = m_query.prepare(QString::fromUtf8(sql));
    if (ok && boundText)
        m_query.addBindValue(*boundText);
    ok = ok && m_query.exec();
    m_error = m_query.lastError().text();
    return ok;
}

SqliteReader::Step QtSqlRows::step()
{
    if (m_query.next())
        return SqliteReader::Step::Row;
    m_error = m_query.lastError().text();
    return m_query.lastError().isValid() ? SqliteReader::Step::Failed : SqliteReader::Step::Done;
}

QByteArrayView QtSqlRows::text(int column) const
{
    if (column >= m_text.size())
        m_text.resize(column + 1);
    m_text[column] = m_query.value(column).toString().toUtf8();
    return m_text[column];
}

} // namespace tarnvale
