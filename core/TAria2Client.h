#pragma once
// A client of an aria2 daemon's JSON-RPC interface (aria2c --enable-rpc): hands files over with
// aria2.addUri and asks how they do with aria2.tellStatus. Each call waits for the daemon's
// answer (libcurl), so it belongs on a thread that may wait.
#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct TAria2File {
    QByteArray Address;
    QString Directory;
    QByteArray Name;       // the output name; empty: aria2 chooses
    QByteArray Referer;    // empty: none
    QByteArray UserAgent;  // empty: aria2's own
    QByteArray Cookie;     // empty: none
};

struct TAria2Status {
    QString State;  // active, waiting, paused, error, complete, removed
    qint64 Total = 0;
    qint64 Completed = 0;
    QString Error;  // the daemon's message when State is error
    QString Path;   // the first file's path
    bool Ended() const
    {
        return State == QLatin1String("complete") || State == QLatin1String("error")
            || State == QLatin1String("removed");
    }
};

class TAria2Client {
public:
    // The longest a single call may take before it counts as failed.
    static constexpr int CallTimeOutSeconds = 30;

    // `url`: the daemon's RPC address, such as http://127.0.0.1:6800/jsonrpc; `secret`: its
    // --rpc-secret, empty when it has none.
    TAria2Client(QString url, QString secret);

    // The download's id (gid); nothing on failure, with LastError saying why.
    std::optional<QString> AddUri(const TAria2File& file);
    std::optional<TAria2Status> TellStatus(const QString& gid);
    QString LastError() const { return FError; }
    // The last call failed for the daemon as a whole (unreachable, no JSON-RPC there, the secret
    // refused) rather than for the one file.
    bool DaemonFailed() const { return FDaemonFailed; }
    QString Url() const { return FUrl; }

    // The body of an RPC request (a pure rule, for the tests).
    static QByteArray RequestBody(const QString& method, const QString& secret, const QJsonArray& params, int id);

private:
    std::optional<QJsonValue> Call(const QString& method, const QJsonArray& params);

    QString FUrl;
    QString FSecret;
    QString FError;
    bool FDaemonFailed = false;
    int FNextId = 1;
};

// Several daemons sharing one harvest's files: each file goes to the next daemon in turn. A daemon
// that fails as a whole is reported once and left out, its files going to the others.
class TAria2Pool {
public:
    TAria2Pool(const QStringList& urls, const QString& secret);

    struct THanded {
        QString Gid;                     // empty when the file was not taken
        TAria2Client* Daemon = nullptr;  // the daemon that took it, or refused it
        QString Error;                   // why not, when no daemon took it
    };
    THanded Hand(const TAria2File& file);
    bool AnyLeft() const;

    // A daemon failed as a whole: its address and why.
    std::function<void(const QString& url, const QString& error)> OnDaemonFailed;

private:
    std::vector<std::unique_ptr<TAria2Client>> FDaemons;
    std::vector<bool> FDead;
    size_t FTurn = 0;
};
