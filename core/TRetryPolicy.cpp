#include "core/TRetryPolicy.h"

TRetryDecision DecideAfterTry(const TTransferJob& job, const TDownloadOutcome& outcome, int triesDone, qint64 nowMs,
                              double jitter)
{
    TRetryDecision decision;
    const qint64 wait = outcome.State == FileDownloaded
        ? -1
        : NextTryWaitMs(TTryEnd(outcome.TryEnd), outcome.StatusCode, triesDone, outcome.RetryAfterMs, jitter);
    if (wait < 0) {
        decision.Text = outcome.State == FileDownloaded ? outcome.Reason : FinalReasonText(outcome.Reason, triesDone);
        return decision;
    }
    decision.Retry = true;
    decision.NotBeforeMs = nowMs + wait;
    decision.Text = WaitingText(wait, outcome.Reason, triesDone + 1);
    decision.Next = job;
    decision.Next.ResumeFrom = outcome.PartBytes;
    decision.Next.Validator = outcome.Validator;
    return decision;
}

void THostManners::Note(const QByteArray& host, const TDownloadOutcome& outcome, qint64 nowMs)
{
    NoteHostAnswer(FHosts[host], outcome.StatusCode, outcome.RetryAfterMs, nowMs);
}
