// Where a database server is, as the user writes it in Database/Path: a PostgreSQL connection
// URI ("postgresql://clerk@yard-server:5432/yard", "postgres:///yard?host=/run/pg",
// "postgresql://a,b/yard?target_session_attrs=read-write") or libpq's keyword=value form
// ("host=yard-server dbname=yard sslmode=verify-full"). libpq itself reads it, so every form
// psql takes works here too.
//
// Parts left out are left to libpq, which then takes them from its service and password files
// and the PG* environment variables. The password is kept only to connect: shown() never has it.
#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <utility>

class QSqlDatabase;

namespace tarnvale {

class ServerAddress
{
  public:
    // Whether the text names a server (postgresql:// or postgres://, any case, or a
    // keyword=value list libpq reads) and not a file.
    static bool isServerAddress(const QString &text);
    // The text as written, with the password of a server address (in the user part or as the
    // option password=) replaced by "****": what a box that shows the path may show.
    static QString masked(const QString &text);
    // The address typed in a box that showed `stored` masked: each "****" left where the
    // password was shown gives back the stored password.
    static QString unmasked(const QString &typed, const QString &stored);
    // Whether the text is a server address that holds a password.
    static bool holdsPassword(const QString &text) { return masked(text) != text; }
    // nullopt, with the reason (never the password), for a URI that cannot be read.
    static std::optional<ServerAddress> parse(const QString &text, QString *error = nullptr);

    // The URI with the password left out, for messages and titles.
    QString shown() const { return text(false); }
    // The whole URI, password included: for handing on to another connection only.
    QString uri() const { return text(true); }
    // The same server with another database on it (shown form plus the password).
    ServerAddress withDatabase(const QString &name) const;
    // Sets host, port, user, password, database and options on a QPSQL connection.
    void applyTo(QSqlDatabase &db) const;
    // Adds a QPSQL connection of that name and opens it. On failure the connection is removed
    // again and the reason given: libpq's own (no server, a refused password, no such
    // database), which names the server and the user, never the password.
    bool connect(const QString &connectionName, QString *reason) const;

    QString host() const { return value(QStringLiteral("host")); }
    // The port, or -1 where none or several (one a host) are given.
    int port() const;
    QString user() const { return value(QStringLiteral("user")); }
    QString databaseName() const { return value(QStringLiteral("dbname")); }

  private:
    QString value(const QString &keyword) const;
    QString text(bool withPassword) const;

    QString m_scheme; // "postgresql" for the keyword=value form
    QList<std::pair<QString, QString>> m_values; // what libpq read, in libpq's order
};

} // namespace tarnvale
