#pragma once
// What becomes of a file after one try of the modern engine: another try (when, from which
// bytes, and what the item shows meanwhile) or its final reason; and what its host's answer means
// for the host's other files (no request before a time; one connection while it is throttling).
// The queue applies the decisions; these rules make them.
#include <QByteArray>
#include <QHash>
#include <QString>

#include "download/TTransferEngine.h"
#include "rules/TransferRules.h"

struct TRetryDecision {
    bool Retry = false;
    qint64 NotBeforeMs = 0;  // epoch ms of the next try
    QString Text;            // "Waiting 2 s: HTTP 429 Too Many Requests, try 2 of 5", or the final reason
    TTransferJob Next;       // the next try's job: it continues from the bytes kept
};

// How a try ended. An engine that does not classify its tries (the classic one) leaves TryEnd at
// Done: then a failure with a status counts as that status's answer, a stopped try as final, and
// any other as a broken connection.
TTryEnd TryEndOf(const TDownloadOutcome& outcome);

// After try number `triesDone` of `job` ended with `outcome` at `nowMs`; `jitter` in [0, 1); a file
// has at most `maxTries` tries in all.
TRetryDecision DecideAfterTry(const TTransferJob& job, const TDownloadOutcome& outcome, int triesDone, qint64 nowMs,
                              double jitter, int maxTries = MaxTries);

// The manners of every host a run talks to, by the queue's host key.
class THostManners {
public:
    // An outcome's answer from `host` at `nowMs`.
    void Note(const QByteArray& host, const TDownloadOutcome& outcome, qint64 nowMs);
    // No request to the host before this (epoch ms; 0 none).
    qint64 NotBefore(const QByteArray& host) const { return FHosts.value(host).NotBeforeMs; }
    // Connections the host may have now, of the `chosen` limit.
    int Limit(const QByteArray& host, int chosen) const { return HostConnectionLimit(FHosts.value(host), chosen); }

private:
    QHash<QByteArray, THostState> FHosts;
};
