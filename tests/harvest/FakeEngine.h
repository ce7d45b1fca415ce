#pragma once
// A transfer engine that runs nothing: it records each job and reports the outcome its script
// names for the job's address, at once or when the test releases it.
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QTimer>

#include "download/TTransferEngine.h"

class FakeEngine : public TTransferEngine {
public:
    using TTransferEngine::TTransferEngine;

    QSet<QByteArray> Held;           // addresses whose jobs wait for Release
    QHash<QByteArray, int> Outcome;  // the state reported per address; FileDownloaded otherwise
    // Outcomes of an address's tries in turn (before Outcome applies); id and slot are filled in.
    QHash<QByteArray, QList<TDownloadOutcome>> Tries;
    QList<qint64> StartedAt;  // epoch ms of each start
    QList<TTransferJob> Started;
    QList<TTransferJob> Running;
    int Stops = 0;

    QList<QByteArray> StartedAddresses() const
    {
        QList<QByteArray> addresses;
        for (const TTransferJob& job : Started)
            addresses << job.Address;
        return addresses;
    }

    void Start(const TTransferJob& job) override
    {
        Started << job;
        StartedAt << QDateTime::currentMSecsSinceEpoch();
        Running << job;
        emit HintChanged(job.Slot, {QStringLiteral("Downloading: ") + QString::fromLatin1(job.Address)});
        if (!Held.contains(job.Address))
            QTimer::singleShot(0, this, [this, job] { Finish(job, Outcome.value(job.Address, FileDownloaded)); });
    }
    void StopAll() override
    {
        ++Stops;
        for (const TTransferJob& job : Running)
            if (Held.contains(job.Address))
                QTimer::singleShot(0, this, [this, job] { Finish(job, FileFailed); });
    }
    void Release(const QByteArray& address)
    {
        Held.remove(address);
        for (const TTransferJob& job : Running)
            if (job.Address == address)
                QTimer::singleShot(0, this, [this, job] { Finish(job, Outcome.value(job.Address, FileDownloaded)); });
    }

private:
    void Finish(const TTransferJob& job, int state)
    {
        for (qsizetype i = 0; i < Running.size(); ++i) {
            if (Running[i].ItemId == job.ItemId && Running[i].Slot == job.Slot) {
                Running.removeAt(i);
                TDownloadOutcome outcome;
                if (QList<TDownloadOutcome>& tries = Tries[job.Address]; !tries.isEmpty())
                    outcome = tries.takeFirst();
                else
                    outcome.State = state;
                if (outcome.State == FileDownloaded && outcome.StatusCode == 0)
                    outcome.StatusCode = 200;
                outcome.ItemId = job.ItemId;
                outcome.Slot = job.Slot;
                emit Progress(job.Slot, 10, 10);
                emit Finished(outcome);
                return;
            }
        }
    }
};
