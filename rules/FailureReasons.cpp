#include "rules/FailureReasons.h"

#include "http/HttpRules.h"
#include "http/TPowersock.h"
#include "rules/ListStates.h"

#include <algorithm>
#include <iterator>

namespace {
// The client's texts for a look-up that found no address, whatever the step that noticed it.
const char* const HostFailures[] = {"Host not found", "Host Lookup Failed", "Null Remote Address",
                                    "Non-Authoritative Host not found", "Valid name, no data record of requested type"};

// The client's texts for a local file it could not make or write: a prefix, then the path
// (quoted or not), ": " and the system's reason.
const char* const FileFailurePrefixes[] = {"Cannot create file ", "Cannot write file ", "Cannot open file "};

// The socket errors that say why a connect failed; any other number left in the socket is from
// another step and says nothing about the connect.
const int ConnectErrors[] = {10050, 10051, 10060, 10061, 10064, 10065};

// The texts with which the client and the window's handlers end a failed connect.
const char* const ConnectFailures[] = {"Connection Failed", "Operation aborted"};

QByteArray WithoutLineEnd(QByteArray line)
{
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

QString Unquoted(QString text)
{
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        text = text.mid(1, text.size() - 2);
    return text;
}
}  // namespace

QString FailureReason(const FailureFacts& facts)
{
    if (facts.Stopped)
        return StoppedReason();
    if (facts.IdleSeconds > 0)
        return NoDataReason(facts.IdleSeconds);
    // Only a well-formed status line tells why; any other is "Bad status line", from the client.
    if (WellFormedStatusCode(WithoutLineEnd(facts.StatusLine)) > 399)
        return HttpStatusReason(facts.StatusLine);
    if (!facts.ErrorText.isEmpty())
        return ErrorReason(facts.ErrorText, facts.SocketError);
    if (facts.KeptSize >= 0 && facts.KeptSize < MinimumFileSize)
        return TooSmallReason();
    return {};
}

QString ErrorReason(const QByteArray& errorText, int socketError)
{
    const QByteArray text = errorText.trimmed();
    if (std::find(std::begin(ConnectErrors), std::end(ConnectErrors), socketError) != std::end(ConnectErrors)
        && std::find(std::begin(ConnectFailures), std::end(ConnectFailures), text) != std::end(ConnectFailures)) {
        // The table's text is "10061:Connection refused".
        const QByteArray words = WinsockErrorText(socketError);
        return QString::fromLatin1(words.mid(words.indexOf(':') + 1));
    }
    for (const char* host : HostFailures) {
        if (text == host)
            return QStringLiteral("Host not found");
    }
    for (const char* prefix : FileFailurePrefixes) {
        if (!text.startsWith(prefix))
            continue;
        // The path may itself hold ": ", the system's reason does not: split at the last one.
        const QString rest = QString::fromLocal8Bit(text.mid(qstrlen(prefix)));
        const qsizetype colon = rest.lastIndexOf(QStringLiteral(": "));
        if (colon < 0)
            return WriteFailureReason(Unquoted(rest), QString());
        return WriteFailureReason(Unquoted(rest.left(colon)), rest.mid(colon + 2));
    }
    return QString::fromLatin1(text);
}

QString HttpStatusReason(const QByteArray& statusLine)
{
    // "HTTP/1.0 404 Not Found": the phrase is everything after the code, as the server wrote it.
    const QByteArray line = WithoutLineEnd(statusLine);
    const int code = StatusCode(line);
    if (code <= 0)
        return {};
    const qsizetype first = line.indexOf(' ');
    const qsizetype second = first < 0 ? -1 : line.indexOf(' ', first + 1);
    const QByteArray phrase = second < 0 ? QByteArray() : line.mid(second + 1).trimmed();
    QString reason = QStringLiteral("HTTP ") + QString::number(code);
    if (!phrase.isEmpty())
        reason += QLatin1Char(' ') + QString::fromLatin1(phrase);
    return reason;
}

QString NoFreeNameReason(const QByteArray& name)
{
    if (name.isEmpty())
        return QStringLiteral("No file name");
    return QStringLiteral("No free name for ") + QString::fromLatin1(name);
}

QString NoDataReason(int seconds) { return QStringLiteral("No data for %1 s").arg(seconds); }

QString WriteFailureReason(const QString& file, const QString& why)
{
    QString reason = QStringLiteral("Could not write ") + file;
    if (!why.isEmpty())
        reason += QStringLiteral(": ") + why;
    return reason;
}

QString TooSmallReason() { return QStringLiteral("Smaller than %1 bytes").arg(MinimumFileSize); }

QString StoppedReason() { return QStringLiteral("Stopped"); }

QString NotActiveStatus(const QString& reason)
{
    QString status = QStringLiteral("Status: Not active");
    if (!reason.isEmpty())
        status += QStringLiteral(" - ") + reason;
    return status;
}
