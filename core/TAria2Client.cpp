#include "core/TAria2Client.h"

#include <curl/curl.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <memory>

namespace {
// A daemon's answer larger than this is no answer of aria2's.
constexpr qsizetype MaxAnswerBytes = 4 * 1024 * 1024;

size_t Collect(char* data, size_t size, size_t count, void* user)
{
    QByteArray& answer = *static_cast<QByteArray*>(user);
    const size_t bytes = size * count;
    if (answer.size() + qsizetype(bytes) > MaxAnswerBytes)
        return 0;  // ends the transfer with a write error
    answer.append(data, qsizetype(bytes));
    return bytes;
}

QString Latin1(const QByteArray& bytes) { return QString::fromLatin1(bytes); }
}  // namespace

TAria2Client::TAria2Client(QString url, QString secret) : FUrl(std::move(url)), FSecret(std::move(secret))
{
    if (!FUrl.contains(QLatin1String("://")))
        FUrl.prepend(QLatin1String("http://"));
    // An address of the daemon alone ("http://host:6800", "http://host:6800/") means its RPC path.
    const qsizetype path = FUrl.indexOf(QLatin1Char('/'), FUrl.indexOf(QLatin1String("://")) + 3);
    if (path < 0)
        FUrl += QLatin1String("/jsonrpc");
    else if (path == FUrl.size() - 1)
        FUrl += QLatin1String("jsonrpc");
}

QByteArray TAria2Client::RequestBody(const QString& method, const QString& secret, const QJsonArray& params, int id)
{
    QJsonArray all;
    if (!secret.isEmpty())
        all.append(QStringLiteral("token:") + secret);
    for (const QJsonValue& value : params)
        all.append(value);
    const QJsonObject request{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                              {QStringLiteral("id"), QStringLiteral("kelvorn-%1").arg(id)},
                              {QStringLiteral("method"), method},
                              {QStringLiteral("params"), all}};
    return QJsonDocument(request).toJson(QJsonDocument::Compact);
}

std::optional<QJsonValue> TAria2Client::Call(const QString& method, const QJsonArray& params)
{
    FError.clear();
    FDaemonFailed = true;  // until an answer of the daemon's own says otherwise
    const QByteArray body = RequestBody(method, FSecret, params, FNextId++);
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        FError = QStringLiteral("Cannot start a request");
        return std::nullopt;
    }
    const QByteArray url = FUrl.toUtf8();
    QByteArray answer;
    char errorText[CURL_ERROR_SIZE] = {};
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, long(body.size()));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, long(CallTimeOutSeconds));
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    const CURLcode code = curl_easy_perform(h);
    curl_slist_free_all(headers);
    if (code != CURLE_OK) {
        FError = Latin1(errorText[0] ? QByteArray(errorText) : QByteArray(curl_easy_strerror(code)));
        return std::nullopt;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(answer, &parseError);
    if (!document.isObject()) {
        FError = QStringLiteral("No JSON-RPC answer (HTTP %1)").arg(status);
        return std::nullopt;
    }
    const QJsonObject reply = document.object();
    if (reply.contains(QLatin1String("error"))) {
        const QJsonObject error = reply.value(QLatin1String("error")).toObject();
        FError = error.value(QLatin1String("message")).toString();
        FDaemonFailed = FError == QLatin1String("Unauthorized");
        if (FError.isEmpty())
            FError = QStringLiteral("Error %1").arg(error.value(QLatin1String("code")).toInt());
        return std::nullopt;
    }
    FDaemonFailed = false;
    if (!reply.contains(QLatin1String("result"))) {
        FError = QStringLiteral("No result in the answer");
        return std::nullopt;
    }
    return reply.value(QLatin1String("result"));
}

std::optional<QString> TAria2Client::AddUri(const TAria2File& file)
{
    QJsonObject options;
    if (!file.Directory.isEmpty())
        options.insert(QStringLiteral("dir"), file.Directory);
    if (!file.Name.isEmpty())
        options.insert(QStringLiteral("out"), QString::fromUtf8(file.Name));
    if (!file.Referer.isEmpty())
        options.insert(QStringLiteral("referer"), Latin1(file.Referer));
    if (!file.UserAgent.isEmpty())
        options.insert(QStringLiteral("user-agent"), Latin1(file.UserAgent));
    if (!file.Cookie.isEmpty())
        options.insert(QStringLiteral("header"), QJsonArray{QStringLiteral("Cookie: ") + Latin1(file.Cookie)});
    const std::optional<QJsonValue> result =
        Call(QStringLiteral("aria2.addUri"), QJsonArray{QJsonArray{Latin1(file.Address)}, options});
    if (!result)
        return std::nullopt;
    if (!result->isString() || result->toString().isEmpty()) {
        FError = QStringLiteral("No download id in the answer");
        return std::nullopt;
    }
    return result->toString();
}

std::optional<TAria2Status> TAria2Client::TellStatus(const QString& gid)
{
    const QJsonArray keys{QStringLiteral("status"), QStringLiteral("totalLength"), QStringLiteral("completedLength"),
                          QStringLiteral("errorMessage"), QStringLiteral("files")};
    const std::optional<QJsonValue> result = Call(QStringLiteral("aria2.tellStatus"), QJsonArray{gid, keys});
    if (!result)
        return std::nullopt;
    const QJsonObject object = result->toObject();
    TAria2Status status;
    status.State = object.value(QLatin1String("status")).toString();
    status.Total = object.value(QLatin1String("totalLength")).toString().toLongLong();
    status.Completed = object.value(QLatin1String("completedLength")).toString().toLongLong();
    status.Error = object.value(QLatin1String("errorMessage")).toString();
    const QJsonArray files = object.value(QLatin1String("files")).toArray();
    if (!files.isEmpty())
        status.Path = files.first().toObject().value(QLatin1String("path")).toString();
    if (status.State.isEmpty()) {
        FError = QStringLiteral("No status in the answer");
        return std::nullopt;
    }
    return status;
}

TAria2Pool::TAria2Pool(const QStringList& urls, const QString& secret)
{
    for (const QString& url : urls)
        FDaemons.push_back(std::make_unique<TAria2Client>(url, secret));
    FDead.assign(FDaemons.size(), false);
}

bool TAria2Pool::AnyLeft() const { return std::find(FDead.begin(), FDead.end(), false) != FDead.end(); }

TAria2Pool::THanded TAria2Pool::Hand(const TAria2File& file)
{
    THanded handed;
    for (size_t tried = 0; tried < FDaemons.size(); ++tried) {
        const size_t d = FTurn++ % FDaemons.size();
        if (FDead[d])
            continue;
        TAria2Client& daemon = *FDaemons[d];
        handed.Daemon = &daemon;
        if (const std::optional<QString> gid = daemon.AddUri(file)) {
            handed.Gid = *gid;
            handed.Error.clear();
            return handed;
        }
        handed.Error = daemon.LastError();
        if (!daemon.DaemonFailed())
            return handed;  // the daemon refused this file only
        FDead[d] = true;
        if (OnDaemonFailed)
            OnDaemonFailed(daemon.Url(), daemon.LastError());
    }
    if (!AnyLeft())
        handed.Error = QStringLiteral("No aria2 daemon left to take it");
    return handed;
}
