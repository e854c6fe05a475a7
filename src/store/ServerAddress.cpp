#include "ServerAddress.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

namespace tarnvale {

namespace {

// Options passed on to libpq. Values go into its connection string unquoted, so only plain
// words are taken.
const QStringList kOptions = {QStringLiteral("sslmode"), QStringLiteral("connect_timeout"),
                              QStringLiteral("application_name"),
                              QStringLiteral("target_session_attrs")};

bool failWith(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

} // namespace

bool ServerAddress::isServerAddress(const QString &text)
{
    const QString start = text.trimmed();
    return start.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           start.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

namespace {

// Where a server address keeps its password: in the user part, or as the option password=.
const QRegularExpression &passwordInUserPart()
{
    static const QRegularExpression userPart(
        QStringLiteral("^(\\s*[A-Za-z]+://[^/?#@:]*:)([^/?#@]+)@"));
    return userPart;
}

const QRegularExpression &passwordOption()
{
    static const QRegularExpression option(QStringLiteral("([?&]password=)([^&#]+)"),
                                           QRegularExpression::CaseInsensitiveOption);
    return option;
}

} // namespace

QString ServerAddress::masked(const QString &text)
{
    if (!isServerAddress(text))
        return text;
    QString shown = text;
    shown.replace(passwordInUserPart(), QStringLiteral("\\1****@"));
    shown.replace(passwordOption(), QStringLiteral("\\1****"));
    return shown;
}

QString ServerAddress::unmasked(const QString &typed, const QString &stored)
{
    if (!isServerAddress(typed) || !isServerAddress(stored))
        return typed;
    QString text = typed;
    // A "****" left where the password was shown stands for the stored password, also when
    // another part of the address was changed; a password typed anew is taken as typed.
    for (const QRegularExpression *where : {&passwordInUserPart(), &passwordOption()}) {
        const QRegularExpressionMatch kept = where->match(stored);
        const QRegularExpressionMatch shown = where->match(text);
        if (kept.hasMatch() && shown.hasMatch() && shown.captured(2) == QLatin1String("****"))
            text.replace(shown.capturedStart(2), shown.capturedLength(2), kept.captured(2));
    }
    return text;
}

std::optional<ServerAddress> ServerAddress::parse(const QString &text, QString *error)
{
    if (!isServerAddress(text)) {
        failWith(error, QStringLiteral("The address does not begin with postgresql://."));
        return std::nullopt;
    }
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    // QUrl's own reason may quote the text, password and all.
    if (!url.isValid()) {
        failWith(error, QStringLiteral("The server address is not a valid URI."));
        return std::nullopt;
    }
    ServerAddress address;
    address.m_scheme = url.scheme().toLower();
    address.m_host = url.host(QUrl::FullyDecoded);
    address.m_port = url.port(-1);
    address.m_user = url.userName(QUrl::FullyDecoded);
    address.m_password = url.password(QUrl::FullyDecoded);
    address.m_database = url.path(QUrl::FullyDecoded).mid(1);
    if (address.m_database.contains(u'/')) {
        failWith(error, QStringLiteral("The server address names more than one database."));
        return std::nullopt;
    }
    QStringList options;
    static const QRegularExpression plainWord(QStringLiteral("^[A-Za-z0-9_.-]+$"));
    const QUrlQuery query(url);
    for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("host")) {
            address.m_host = value;
        } else if (key == QLatin1String("port")) {
            bool ok = false;
            address.m_port = value.toInt(&ok);
            if (!ok || address.m_port <= 0 || address.m_port > 65535) {
                failWith(error, QStringLiteral("The port of the server address is not a number "
                                               "from 1 to 65535."));
                return std::nullopt;
            }
        } else if (key == QLatin1String("user")) {
            address.m_user = value;
        } else if (key == QLatin1String("password")) {
            address.m_password = value;
        } else if (key == QLatin1String("dbname")) {
            address.m_database = value;
        } else if (kOptions.contains(key) && plainWord.match(value).hasMatch()) {
            options << key + u'=' + value;
        } else {
            failWith(error, QStringLiteral("The server address has an option this program does "
                                           "not pass on: %1.")
                                .arg(key.left(40)));
            return std::nullopt;
        }
    }
    address.m_options = options.join(u';');
    return address;
}

QString ServerAddress::text(bool withPassword) const
{
    QUrl url;
    url.setScheme(m_scheme);
    url.setUserName(m_user);
    if (withPassword)
        url.setPassword(m_password);
    const bool socketFolder = m_host.startsWith(u'/');
    url.setHost(socketFolder ? QString() : m_host);
    if (!socketFolder && m_port > 0)
        url.setPort(m_port);
    url.setPath(u'/' + m_database);
    QUrlQuery query;
    if (socketFolder) {
        query.addQueryItem(QStringLiteral("host"), m_host);
        if (m_port > 0)
            query.addQueryItem(QStringLiteral("port"), QString::number(m_port));
    }
    for (const QString &option : m_options.split(u';', Qt::SkipEmptyParts))
        query.addQueryItem(option.section(u'=', 0, 0), option.section(u'=', 1));
    url.setQuery(query);
    // "postgresql:/yard" when there is neither user nor host: libpq wants the two slashes.
    QString text = url.toString(QUrl::FullyEncoded);
    if (!text.startsWith(m_scheme + QStringLiteral("://")))
        text.replace(0, m_scheme.size() + 1, m_scheme + QStringLiteral("://"));
    return text;
}

ServerAddress ServerAddress::withDatabase(const QString &name) const
{
    ServerAddress other = *this;
    other.m_database = name;
    return other;
}

void ServerAddress::applyTo(QSqlDatabase &db) const
{
    db.setHostName(m_host);
    db.setPort(m_port);
    db.setUserName(m_user);
    db.setPassword(m_password);
    db.setDatabaseName(m_database);
    // A server that does not answer is given up after a while instead of hanging the start.
    db.setConnectOptions(m_options.contains(QLatin1String("connect_timeout="))
                             ? m_options
                             : m_options + QStringLiteral(";connect_timeout=10"));
}

bool ServerAddress::connect(const QString &connectionName, QString *reason) const
{
    QString why;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
        if (!db.isValid()) {
            why = QStringLiteral("The PostgreSQL driver of Qt SQL (QPSQL) is not installed.");
        } else {
            applyTo(db);
            if (db.open())
                return true;
            why = db.lastError().databaseText().simplified();
            if (why.isEmpty())
                why = db.lastError().text();
            if (why.isEmpty())
                why = QStringLiteral("The server could not be reached.");
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
    if (reason)
        *reason = why;
    return false;
}

} // namespace tarnvale
