#include "booklocation.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <QUrl>

#include "bookevent.h"
#include "changehistory.h"
#include "platform.h"
#include "portaccess.h"

namespace tavik7::book {

namespace {

constexpr const char *kSchemes[] = {"postgresql://", "postgres://"};
constexpr const char *kSslModes[] = {"disable", "allow", "prefer", "require", "verify-ca", "verify-full"};

QString decoded(const QString &text)
{
    return QUrl::fromPercentEncoding(text.toUtf8());
}

QString encoded(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

qsizetype schemeLength(const QString &text)
{
    for (const char *scheme : kSchemes) {
        if (text.startsWith(QLatin1String(scheme), Qt::CaseInsensitive))
            return qsizetype(qstrlen(scheme));
    }
    return 0;
}

bool fail(QString *complaint, const QString &why)
{
    *complaint = why;
    return false;
}

// Host and port of "host", "host:port", "[v6]" or "[v6]:port".
bool parseHostPort(const QString &text, BookLocation *location, QString *complaint)
{
    QString portText;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype end = text.indexOf(QLatin1Char(']'));
        if (end < 0 || (end + 1 < text.size() && text.at(end + 1) != QLatin1Char(':')))
            return fail(complaint, QStringLiteral("bad host \"%1\"").arg(text));
        location->host = text.mid(1, end - 1);
        portText = end + 1 < text.size() ? text.mid(end + 2) : QString();
        if (end + 1 < text.size() && portText.isEmpty())
            return fail(complaint, QStringLiteral("bad port \"\""));
    } else {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        location->host = decoded(colon < 0 ? text : text.left(colon));
        if (colon >= 0)
            portText = text.mid(colon + 1);
        if (colon >= 0 && portText.isEmpty())
            return fail(complaint, QStringLiteral("bad port \"\""));
    }
    if (location->host.isEmpty())
        return fail(complaint, QStringLiteral("no host name"));
    if (location->host.contains(QLatin1Char(' ')))
        return fail(complaint, QStringLiteral("bad host \"%1\"").arg(location->host));
    if (portText.isEmpty())
        return true;
    bool ok = false;
    const int port = portText.toInt(&ok);
    const bool digitsOnly = !portText.contains(QLatin1Char('+')) && !portText.contains(QLatin1Char('-'));
    if (!ok || !digitsOnly || port < 1 || port > 65535)
        return fail(complaint, QStringLiteral("bad port \"%1\" (1 to 65535)").arg(portText));
    location->port = port;
    return true;
}

bool parseOptions(const QString &query, BookLocation *location, QString *complaint)
{
    for (const QString &item : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype equals = item.indexOf(QLatin1Char('='));
        const QString name = decoded(item.left(equals));
        const QString value = equals < 0 ? QString() : decoded(item.mid(equals + 1));
        if (name == QLatin1String("sslmode")) {
            if (std::none_of(std::begin(kSslModes), std::end(kSslModes),
                             [&](const char *mode) { return value == QLatin1String(mode); }))
                return fail(complaint, QStringLiteral("bad sslmode \"%1\"").arg(value));
            location->sslMode = value;
        } else if (name == QLatin1String("connect_timeout")) {
            bool ok = false;
            const int seconds = value.toInt(&ok);
            if (!ok || seconds < 0)
                return fail(complaint, QStringLiteral("bad connect_timeout \"%1\" (seconds)").arg(value));
            // 0 would wait for ever; a device action waits at most 5 s for its book.
            location->connectTimeoutS = seconds == 0 ? kMaxConnectTimeoutS : qMin(seconds, kMaxConnectTimeoutS);
        } else {
            return fail(complaint, QStringLiteral("unknown option \"%1\" (sslmode, connect_timeout)").arg(name));
        }
    }
    return true;
}

} // namespace

bool isServerLocation(const QString &text)
{
    return schemeLength(text) > 0;
}

bool BookLocation::parse(const QString &text, BookLocation *location, QString *complaint)
{
    *location = BookLocation();
    const qsizetype start = schemeLength(text);
    if (start == 0) {
        location->file = text;
        return true;
    }
    location->port = kDefaultServerPort;
    QString rest = text.mid(start);
    const qsizetype question = rest.indexOf(QLatin1Char('?'));
    const QString query = question < 0 ? QString() : rest.mid(question + 1);
    rest = rest.left(question);
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (slash < 0 || slash + 1 >= rest.size())
        return fail(complaint, QStringLiteral("no database name (postgresql://[USER[:PASSWORD]@]HOST[:PORT]/DBNAME)"));
    location->database = decoded(rest.mid(slash + 1));
    if (location->database.contains(QLatin1Char('/')))
        return fail(complaint, QStringLiteral("bad database name \"%1\"").arg(location->database));
    const QString authority = rest.left(slash);
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        location->user = decoded(userInfo.left(colon));
        location->password = colon < 0 ? QString() : decoded(userInfo.mid(colon + 1));
        if (location->user.isEmpty())
            return fail(complaint, QStringLiteral("no user name before \"@\""));
    }
    return parseHostPort(authority.mid(at + 1), location, complaint) && parseOptions(query, location, complaint);
}

QString BookLocation::display() const
{
    if (!isServer())
        return file;
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        text += encoded(user) + (password.isEmpty() ? QString() : QStringLiteral(":***")) + QLatin1Char('@');
    text += host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : encoded(host);
    if (port != kDefaultServerPort)
        text += QLatin1Char(':') + QString::number(port);
    text += QLatin1Char('/') + encoded(database);
    QStringList options;
    if (!sslMode.isEmpty())
        options.append(QStringLiteral("sslmode=") + sslMode);
    if (connectTimeoutS != kMaxConnectTimeoutS)
        options.append(QStringLiteral("connect_timeout=%1").arg(connectTimeoutS));
    return options.isEmpty() ? text : text + QLatin1Char('?') + options.join(QLatin1Char('&'));
}

QString BookLocation::withoutPassword() const
{
    BookLocation copy = *this;
    copy.password.clear();
    return copy.display();
}

QString BookLocation::identity() const
{
    if (isServer()) {
        const QString name = host.toLower();
        return QStringLiteral("postgresql://%1:%2/%3")
            .arg(name.contains(QLatin1Char(':')) ? QLatin1Char('[') + name + QLatin1Char(']') : name)
            .arg(port)
            .arg(database);
    }
    const QFileInfo info(file);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    // Not there yet: its folder may still be reached through a link.
    const QString folder = info.absoluteDir().canonicalPath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + QLatin1Char('/') + info.fileName();
}

QString bookIdentity(const QString &text)
{
    BookLocation location;
    QString complaint;
    return BookLocation::parse(text, &location, &complaint) ? location.identity() : QString();
}

QString BookLocation::loginUser() const
{
    if (!user.isEmpty())
        return user;
    const QString fromEnvironment = qEnvironmentVariable("PGUSER");
    return fromEnvironment.isEmpty() ? loginName() : fromEnvironment;
}

QString locationText(const QString &text)
{
    BookLocation location;
    QString complaint;
    if (BookLocation::parse(text, &location, &complaint))
        return location.display();
    // Unreadable, yet it may hold a password: everything between the
    // scheme and the last "@" is the user's part.
    const qsizetype start = schemeLength(text);
    const qsizetype at = text.lastIndexOf(QLatin1Char('@'));
    const qsizetype colon = text.indexOf(QLatin1Char(':'), start);
    if (at < 0 || colon < 0 || colon > at)
        return text;
    return text.left(colon) + QStringLiteral(":***") + text.mid(at);
}

QString bookPath(const QString &option, bool forReading)
{
    if (!option.isEmpty())
        return option;
    const QString fromEnvironment = qEnvironmentVariable(kBookEnvironmentVariable);
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString folder = platform::appDataFolder();
    if (!forReading)
        platform::ensureAppDataFolder(folder);
    return folder + QLatin1String(kBookFileName);
}

QString userChangeHistoryPath()
{
    return platform::appDataFolder() + QLatin1String(kChangeHistoryFileName);
}

QString technicianFromEnvironment()
{
    const QString name = qEnvironmentVariable(kTechnicianEnvironmentVariable).trimmed();
    return isAuditText(name) ? name : QString();
}

QString loginName()
{
    const QString name = platform::currentUserName();
    return name.isEmpty() ? QStringLiteral("unknown") : name;
}

QString stationName()
{
    const QString named = qEnvironmentVariable(kStationEnvironmentVariable);
    if (!named.isEmpty())
        return named;
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("unknown") : host;
}

} // namespace tavik7::book
