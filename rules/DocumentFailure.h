#pragma once
// Why a document fetch failed, as the window's document commands and the command-line harvester
// both word it.
#include <QByteArray>
#include <QString>

#include "rules/FailureReasons.h"

// The facts gathered while the fetch ran, completed from the reply's header block (its status
// line) and the client's last failure text, else the words of the error that ended the fetch.
QString DocumentFailureReason(FailureFacts facts, const QByteArray& header, const QByteArray& clientFailure,
                              const char* errorWhat);
