#include "core/TRetryPolicy.h"

#include "rules/FailureReasons.h"

TTryEnd TryEndOf(const TDownloadOutcome& outcome)
{
    if (outcome.TryEnd != int(TTryEnd::Done) || outcome.State == FileDownloaded)
        return TTryEnd(outcome.TryEnd);
    if (outcome.Reason == StoppedReason())
        return TTryEnd::Fatal;
    return outcome.StatusCode > 0 ? TTryEnd::HttpError : TTryEnd::Reset;
}

TRetryDecision DecideAfterTry(const TTransferJob& job, const TDownloadOutcome& outcome, int triesDone, qint64 nowMs,
                              double jitter, int maxTries)
{
    TRetryDecision decision;
    const qint64 wait = outcome.State == FileDownloaded
        ? -1
        : NextTryWaitMs(TryEndOf(outcome), outcome.StatusCode, triesDone, outcome.RetryAfterMs, jitter, maxTries);
    if (wait < 0) {
        decision.Text = outcome.State == FileDownloaded ? outcome.Reason : FinalReasonText(outcome.Reason, triesDone);
        return decision;
    }
    decision.Retry = true;
    decision.NotBeforeMs = nowMs + wait;
    decision.Text = WaitingText(wait, outcome.Reason, triesDone + 1, maxTries);
    decision.Next = job;
    decision.Next.ResumeFrom = outcome.PartBytes;
    decision.Next.Validator = outcome.Validator;
    return decision;
}

void THostManners::Note(const QByteArray& host, const TDownloadOutcome& outcome, qint64 nowMs)
{
    NoteHostAnswer(FHosts[host], outcome.StatusCode, outcome.RetryAfterMs, nowMs);
}
