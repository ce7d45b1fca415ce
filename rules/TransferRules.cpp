#include "rules/TransferRules.h"

#include <QLocale>
#include <QTimeZone>
#include <algorithm>
#include <limits>

TGaugeValues GaugeValuesFor(qint64 received, qint64 total)
{
    constexpr qint64 Largest = std::numeric_limits<int32_t>::max();
    received = qMax<qint64>(received, 0);
    if (total <= 0) {
        // Half way, whatever the count.
        if (received > Largest / 2)
            return {int32_t(Largest - 1), int32_t((Largest - 1) / 2)};
        return {int32_t(received * 2), int32_t(received)};
    }
    while (total > Largest || received > Largest) {
        total /= 2;
        received /= 2;
    }
    return {int32_t(total), int32_t(received)};
}

bool IsRetryableStatus(int status)
{
    switch (status) {
    case 408:  // Request Timeout
    case 425:  // Too Early
    case 429:  // Too Many Requests
    case 500:
    case 502:
    case 503:
    case 504: return true;
    default: return false;
    }
}

bool IsRetryable(TTryEnd end, int status)
{
    switch (end) {
    case TTryEnd::Refused:
    case TTryEnd::Reset:
    case TTryEnd::TimedOut:
    case TTryEnd::Stalled:
    case TTryEnd::Cut: return true;
    case TTryEnd::HttpError: return IsRetryableStatus(status);
    case TTryEnd::Done:
    case TTryEnd::Fatal: return false;
    }
    return false;
}

qint64 BackoffMs(int nextTry, double jitter)
{
    const int doublings = qBound(0, nextTry - 2, 16);
    const qint64 base = qMin(FirstBackoffMs << doublings, MaxBackoffMs);
    const double scale = 0.75 + 0.5 * qBound(0.0, jitter, 1.0);
    return qMin(qint64(double(base) * scale), MaxBackoffMs);
}

qint64 RetryAfterMs(const QByteArray& value, const QDateTime& now)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return -1;
    if (std::all_of(text.cbegin(), text.cend(), [](char c) { return c >= '0' && c <= '9'; })) {
        // Beyond a day it makes no difference: the wait is refused anyway.
        if (text.size() > 6)
            return 24LL * 3600 * 1000 + 1;
        return text.toLongLong() * 1000;
    }
    // IMF-fixdate, the obsolete RFC 850 form, and asctime's form; always GMT.
    // The day's name goes first: it adds nothing, and a two-digit year would make Qt check it
    // against a day of the last century.
    static const char* const Forms[] = {"dd MMM yyyy HH:mm:ss 'GMT'", "dd-MMM-yy HH:mm:ss 'GMT'",
                                        "MMM d HH:mm:ss yyyy"};
    QString s = QString::fromLatin1(text).simplified();
    s = s.mid(s.indexOf(QLatin1Char(' ')) + 1);
    for (const char* form : Forms) {
        QDateTime at = QLocale::c().toDateTime(s, QLatin1String(form));
        if (!at.isValid())
            continue;
        at.setTimeZone(QTimeZone::utc());
        // A two-digit year of the RFC 850 form that lands in the last century means this one.
        if (at.date().year() < 1970)
            at = at.addYears(100);
        return qMax<qint64>(0, now.msecsTo(at));
    }
    return -1;
}

qint64 NextTryWaitMs(TTryEnd end, int status, int triesDone, qint64 retryAfterMs, double jitter, int maxTries)
{
    if (triesDone >= maxTries || !IsRetryable(end, status))
        return -1;
    if (retryAfterMs >= 0)
        return retryAfterMs > MaxRetryAfterMs ? -1 : retryAfterMs;
    return BackoffMs(triesDone + 1, jitter);
}

QString WaitingText(qint64 waitMs, const QString& cause, int nextTry, int maxTries)
{
    const qint64 seconds = (qMax<qint64>(waitMs, 0) + 999) / 1000;
    return QStringLiteral("Waiting %1 s: %2, try %3 of %4").arg(seconds).arg(cause).arg(nextTry).arg(maxTries);
}

QString FinalReasonText(const QString& cause, int tries)
{
    return tries > 1 ? QStringLiteral("%1 (%2 tries)").arg(cause).arg(tries) : cause;
}

TContentRange ParseContentRange(const QByteArray& value)
{
    TContentRange range;
    QByteArray text = value.trimmed();
    if (!text.toLower().startsWith("bytes "))
        return range;
    text = text.mid(6).trimmed();
    const qsizetype slash = text.indexOf('/');
    if (slash < 0)
        return range;
    const QByteArray span = text.left(slash).trimmed();
    const QByteArray length = text.mid(slash + 1).trimmed();
    bool ok = true;
    if (length != "*") {
        range.Length = length.toLongLong(&ok);
        if (!ok || range.Length < 0)
            return range;
    }
    if (span == "*") {
        range.Valid = range.Length >= 0;
        return range;
    }
    const qsizetype dash = span.indexOf('-');
    if (dash <= 0)
        return range;
    bool firstOk = false;
    bool lastOk = false;
    range.First = span.left(dash).toLongLong(&firstOk);
    range.Last = span.mid(dash + 1).toLongLong(&lastOk);
    range.Valid = firstOk && lastOk && range.First >= 0 && range.Last >= range.First
        && (range.Length < 0 || range.Last < range.Length);
    if (!range.Valid)
        range = {};
    return range;
}

TResumeAction ResumeDecision(int status, qint64 resumeFrom, const QByteArray& contentRange)
{
    if (status == 200)
        return TResumeAction::Restart;
    if (status == 206) {
        const TContentRange range = ParseContentRange(contentRange);
        return range.Valid && range.First == resumeFrom ? TResumeAction::Append : TResumeAction::Discard;
    }
    if (status == 416) {
        const TContentRange range = ParseContentRange(contentRange);
        return resumeFrom > 0 && range.Valid && range.First < 0 && range.Length == resumeFrom ? TResumeAction::Complete
                                                                                              : TResumeAction::Discard;
    }
    return TResumeAction::NotBody;
}

QByteArray ResumeValidator(const QByteArray& etag, const QByteArray& lastModified)
{
    const QByteArray tag = etag.trimmed();
    if (!tag.isEmpty() && !tag.startsWith("W/"))
        return tag;
    return lastModified.trimmed();
}

void NoteHostAnswer(THostState& host, int status, qint64 retryAfterMs, qint64 nowMs)
{
    if (retryAfterMs > 0)
        host.NotBeforeMs = qMax(host.NotBeforeMs, nowMs + retryAfterMs);
    if (status == 429 || status == 503)
        host.Throttled = true;
    else if (status >= 200 && status < 400)
        host.Throttled = false;
}

int HostConnectionLimit(const THostState& host, int chosen) { return host.Throttled ? 1 : qMax(1, chosen); }
