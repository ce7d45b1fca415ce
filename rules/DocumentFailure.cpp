#include "rules/DocumentFailure.h"

QString DocumentFailureReason(FailureFacts facts, const QByteArray& header, const QByteArray& clientFailure,
                              const char* errorWhat)
{
    facts.StatusLine = header.left(header.indexOf('\n') + 1);
    if (facts.ErrorText.isEmpty())
        facts.ErrorText = clientFailure.isEmpty() ? QByteArray(errorWhat) : clientFailure;
    return FailureReason(facts);
}
