#pragma once
// What the transfer queue starts a file with. An engine takes jobs, runs each in the slot it was
// given, and reports by queued signals carrying values; it knows nothing of lists or windows.
// The classic engine runs one thread per file with the program's own HTTP/1.0 client; other
// engines may run many jobs on one thread.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>

#include "download/DownloadTypes.h"

struct TTransferJob {
    uint64_t ItemId = 0;
    int Slot = -1;
    QByteArray Address;
    QString Path;  // the final local path; the engine writes a part file beside it
    TDownloadRequest Request;
    qint64 ResumeFrom = 0;  // bytes already in the part file to continue after; 0 starts afresh
    QByteArray Validator;   // the ETag (else Last-Modified) that the part file's bytes came with
};

class TTransferEngine : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~TTransferEngine() override = default;

    virtual void Start(const TTransferJob& job) = 0;
    // Every running job cancels within its poll interval and still reports its outcome.
    virtual void StopAll() = 0;

signals:
    void HintChanged(int slot, const TDownloadHint& hint);
    void Progress(int slot, qint64 received, qint64 total);
    // The job's last report.
    void Finished(const TDownloadOutcome& outcome);
};
