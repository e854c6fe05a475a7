#include "ServerAddress.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

#include <libpq-fe.h>

namespace tarnvale {

namespace {

void failWith(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
}

// The keyword=value form: a keyword, then "=" (what a file's path seldom starts with); libpq's
// own reading decides.
const QRegularExpression &keywordForm()
{
    static const QRegularExpression form(QStringLiteral("^\\s*([a-z_]+)\\s*="));
    return form;
}

// What libpq reads from the text, or its reason for not reading it.
std::optional<QList<std::pair<QString, QString>>> readByLibpq(const QString &text, QString *reason)
{
    // libpq takes the scheme in small letters only; this program took any case.
    QString written = text.trimmed();
    const qsizetype scheme = written.indexOf(QLatin1String("://"));
    if (scheme > 0 && !keywordForm().match(written).hasMatch())
        written.replace(0, scheme, written.left(scheme).toLower());
    char *message = nullptr;
    PQconninfoOption *options = PQconninfoParse(written.toUtf8().constData(), &message);
    if (!options) {
        if (reason)
            *reason = message ? QString::fromUtf8(message).simplified()
                              : QStringLiteral("libpq could not read it.");
        PQfreemem(message);
        return std::nullopt;
    }
    QList<std::pair<QString, QString>> values;
    for (const PQconninfoOption *option = options; option->keyword; ++option)
        if (option->val && *option->val)
            values.append({QString::fromUtf8(option->keyword), QString::fromUtf8(option->val)});
    PQconninfoFree(options);
    return values;
}

// A value in a libpq connection string: quoted, its quotes and backslashes escaped.
QString quotedForLibpq(QString value)
{
    value.replace(u'\\', QLatin1String("\\\\")).replace(u'\'', QLatin1String("\\'"));
    return u'\'' + value + u'\'';
}

} // namespace

bool ServerAddress::isServerAddress(const QString &text)
{
    const QString start = text.trimmed();
    if (start.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
        start.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive))
        return true;
    // The keyword=value form when its first keyword is one libpq knows.
    const QRegularExpressionMatch keyword = keywordForm().match(start);
    return keyword.hasMatch() &&
           readByLibpq(keyword.captured(1) + QStringLiteral("=x"), nullptr).has_value();
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

// In the keyword=value form: password=word or password='quoted \' word'.
const QRegularExpression &passwordKeyword()
{
    static const QRegularExpression keyword(
        QStringLiteral("((?:^|\\s)password\\s*=\\s*)('(?:[^'\\\\]|\\\\.)*'|[^\\s']+)"));
    return keyword;
}

QList<const QRegularExpression *> passwordPlaces()
{
    return {&passwordInUserPart(), &passwordOption(), &passwordKeyword()};
}

} // namespace

QString ServerAddress::masked(const QString &text)
{
    if (!isServerAddress(text))
        return text;
    QString shown = text;
    shown.replace(passwordInUserPart(), QStringLiteral("\\1****@"));
    shown.replace(passwordOption(), QStringLiteral("\\1****"));
    shown.replace(passwordKeyword(), QStringLiteral("\\1****"));
    return shown;
}

QString ServerAddress::unmasked(const QString &typed, const QString &stored)
{
    if (!isServerAddress(typed) || !isServerAddress(stored))
        return typed;
    QString text = typed;
    // A "****" left where the password was shown stands for the stored password, also when
    // another part of the address was changed; a password typed anew is taken as typed.
    for (const QRegularExpression *where : passwordPlaces()) {
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
    QString reason;
    std::optional<QList<std::pair<QString, QString>>> values = readByLibpq(text, &reason);
    if (!values) {
        // libpq's reason may quote the text: never the password.
        for (const QRegularExpression *where : passwordPlaces())
            if (const QString password = where->match(text).captured(2); !password.isEmpty())
                reason.replace(password, QStringLiteral("****"));
        failWith(error, QStringLiteral("The server address cannot be read: %1").arg(reason));
        return std::nullopt;
    }
    ServerAddress address;
    const QString start = text.trimmed();
    address.m_scheme = keywordForm().match(start).hasMatch()
                           ? QStringLiteral("postgresql")
                           : start.section(u':', 0, 0).toLower();
    address.m_values = *values;
    // libpq checks the ports only when it connects: a mistyped one is told now.
    for (const QString &port : address.value(QStringLiteral("port")).split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int number = port.trimmed().toInt(&ok);
        if (!ok || number <= 0 || number > 65535) {
            failWith(error, QStringLiteral("The port of the server address is not a number "
                                           "from 1 to 65535."));
            return std::nullopt;
        }
    }
    // The Qt driver takes ";" for the end of an option, also inside quotes.
    for (const auto &[keyword, value] : std::as_const(address.m_values))
        if (value.contains(u';')) {
            failWith(error, QStringLiteral("The %1 of the server address holds a \";\", which "
                                           "cannot be passed on to the server.")
                                .arg(keyword));
            return std::nullopt;
        }
    return address;
}

QString ServerAddress::value(const QString &keyword) const
{
    for (const auto &[key, value] : m_values)
        if (key == keyword)
            return value;
    return QString();
}

int ServerAddress::port() const
{
    bool ok = false;
    const int number = value(QStringLiteral("port")).toInt(&ok);
    return ok ? number : -1;
}

QString ServerAddress::text(bool withPassword) const
{
    QUrl url;
    url.setScheme(m_scheme);
    url.setUserName(user());
    if (withPassword)
        url.setPassword(value(QStringLiteral("password")));
    // One host by name goes before the path; a socket folder, several hosts or several ports go
    // among the options, where libpq reads them as well.
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9.-]+$"));
    const bool hostBeforePath = hostName.match(host()).hasMatch() &&
                                (port() > 0 || value(QStringLiteral("port")).isEmpty());
    if (hostBeforePath) {
        url.setHost(host());
        url.setPort(port());
    }
    url.setPath(u'/' + databaseName());
    static const QStringList kNamedAbove = {QStringLiteral("user"), QStringLiteral("password"),
                                            QStringLiteral("dbname")};
    QUrlQuery query;
    for (const auto &[keyword, value] : m_values) {
        const bool hostOrPort = keyword == QLatin1String("host") || keyword == QLatin1String("port");
        if (kNamedAbove.contains(keyword) || (hostOrPort && hostBeforePath))
            continue;
        query.addQueryItem(keyword, QString::fromUtf8(QUrl::toPercentEncoding(value, "/:,")));
    }
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
    other.m_values.removeIf([](const auto &value) { return value.first == QLatin1String("dbname"); });
    other.m_values.append({QStringLiteral("dbname"), name});
    return other;
}

void ServerAddress::applyTo(QSqlDatabase &db) const
{
    db.setHostName(host());
    db.setPort(port());
    db.setUserName(user());
    db.setPassword(value(QStringLiteral("password")));
    db.setDatabaseName(databaseName());
    // Every other keyword libpq read goes on as given; several ports go as one option.
    static const QStringList kSetAbove = {QStringLiteral("host"), QStringLiteral("user"),
                                          QStringLiteral("password"), QStringLiteral("dbname")};
    QStringList options;
    for (const auto &[keyword, value] : m_values)
        if (!kSetAbove.contains(keyword) && !(keyword == QLatin1String("port") && port() > 0))
            options << keyword + u'=' + quotedForLibpq(value);
    // A server that does not answer is given up after a while instead of hanging the start.
    if (value(QStringLiteral("connect_timeout")).isEmpty())
        options << QStringLiteral("connect_timeout=10");
    db.setConnectOptions(options.join(u';'));
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
