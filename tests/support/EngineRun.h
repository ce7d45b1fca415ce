#pragma once
// Runs download jobs through a real engine, the classic or the libcurl one, and collects their
// outcomes on the test's thread.
#include <QTest>
#include <memory>

#include "download/TClassicEngine.h"
#include "download/TCurlEngine.h"
#include "download/TReportReceiver.h"

enum class TEngine { Classic, Curl };

struct TEngineRun : TReportReceiver {
    QList<TDownloadOutcome> Outcomes;
    std::unique_ptr<TTransferEngine> Engine;
    int Started = 0;
    explicit TEngineRun(TEngine kind = TEngine::Classic)
    {
        if (kind == TEngine::Curl)
            Engine = std::make_unique<TCurlEngine>();
        else
            Engine = std::make_unique<TClassicEngine>();
        connect(
            Engine.get(), &TTransferEngine::Finished, this, [this](const TDownloadOutcome& o) { Outcomes.append(o); },
            Qt::QueuedConnection);
    }
    void Start(const QByteArray& url, const QString& file, const TDownloadRequest& request = {})
    {
        TTransferJob job;
        job.ItemId = uint64_t(++Started);
        job.Slot = Started - 1;
        job.Address = url;
        job.Path = file;
        job.Request = request;
        Engine->Start(job);
    }
};

inline TDownloadOutcome RunToEnd(const QByteArray& url, const QString& file, const TDownloadRequest& request = {},
                                 TEngine kind = TEngine::Classic)
{
    TEngineRun run(kind);
    run.Start(url, file, request);
    if (!QTest::qWaitFor([&run] { return !run.Outcomes.isEmpty(); }, 20000))
        return {};
    return run.Outcomes.first();
}

Q_DECLARE_METATYPE(TEngine)
