#include "rules/ReferrerPolicy.h"

#include <QString>
#include <QUrl>

namespace {
int PortOf(const QUrl& url) { return url.port(url.scheme() == QLatin1String("https") ? 443 : 80); }

bool SameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme() == b.scheme() && a.host() == b.host() && PortOf(a) == PortOf(b);
}
}  // namespace

QByteArray ReferrerFor(QByteArrayView page, QByteArrayView target)
{
    if (page.isEmpty())
        return {};
    QUrl from = QUrl::fromEncoded(page.toByteArray());
    const QUrl to = QUrl::fromEncoded(target.toByteArray());
    const QString scheme = from.scheme().toLower();
    if (!from.isValid() || from.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    // A secure page's address never travels in the clear.
    if (scheme == QLatin1String("https") && to.scheme().toLower() != QLatin1String("https"))
        return {};
    // A default port is not spelled out, as browsers send it; credentials and the fragment never.
    if (from.port() == PortOf(from.adjusted(QUrl::RemovePort)))
        from.setPort(-1);
    if (SameOrigin(from, to))
        return from.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment).toEncoded();
    return from.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment).toEncoded()
        + '/';
}
