#pragma once
// The classic transfer engine: one TDownload thread per job, with the program's own HTTP/1.0
// client, as the program has always downloaded. Its reports reach the engine's owner on the
// thread that owns the engine, in each job's own order.
#include <stop_token>

#include "download/TTransferEngine.h"

class TReportReceiver;

class TClassicEngine : public TTransferEngine {
    Q_OBJECT
public:
    explicit TClassicEngine(QObject* parent = nullptr);
    // Running jobs are told to stop; they end by themselves and their reports go nowhere.
    ~TClassicEngine() override;

    void Start(const TTransferJob& job) override;
    // Jobs started later run on.
    void StopAll() override;

private:
    TReportReceiver* FReceiver;  // the context of the threads' queued reports
    std::stop_source FStop;
};
