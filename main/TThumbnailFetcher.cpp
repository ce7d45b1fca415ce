#include "main/TThumbnailFetcher.h"

#include <QFile>
#include <QImageReader>

#include "download/TCurlEngine.h"

TThumbnailFetcher::TThumbnailFetcher(QSize size, QObject* parent)
    : QObject(parent), FSize(size), FEngine(std::make_unique<TCurlEngine>(HostConnections))
{
    FDecoders.setMaxThreadCount(1);
    FDecoders.setThreadPriority(QThread::LowPriority);
    connect(FEngine.get(), &TTransferEngine::Finished, this, &TThumbnailFetcher::Finished);
}

TThumbnailFetcher::~TThumbnailFetcher()
{
    FEngine->StopAll();
    FEngine.reset();  // waits for the engine's thread
    FDecoders.clear();
    FDecoders.waitForDone();
}

void TThumbnailFetcher::Fetch(const QByteArray& address, const QByteArray& from, const QByteArray& userAgent)
{
    if (!FDir.isValid())
        return;
    TTransferJob job;
    job.ItemId = FNextId++;
    job.Slot = 0;
    job.Address = from;
    job.Path = FDir.filePath(QString::number(job.ItemId));
    job.Request.UserAgent = userAgent;
    job.Request.KeepSmallFiles = true;
    FPending.insert(job.ItemId, address);
    FEngine->Start(job);
}

QImage TThumbnailFetcher::ReadScaled(const QString& path, QSize size)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    // Reading at the cell's size lets a JPEG decode only an eighth of its pixels.
    if (full.isValid() && (full.width() > size.width() || full.height() > size.height()))
        reader.setScaledSize(full.scaled(size, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > size.width() || image.height() > size.height()))
        image = image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

void TThumbnailFetcher::Finished(const TDownloadOutcome& outcome)
{
    const QByteArray address = FPending.take(outcome.ItemId);
    if (address.isEmpty() || outcome.State != FileDownloaded || outcome.Path.isEmpty()) {
        if (!outcome.Path.isEmpty())
            QFile::remove(outcome.Path);
        return;
    }
    const QString path = outcome.Path;
    const QSize size = FSize;
    FDecoders.start([this, address, path, size] {
        const QImage image = ReadScaled(path, size);
        QFile::remove(path);
        if (!image.isNull())
            QMetaObject::invokeMethod(
                this, [this, address, image] { emit Ready(address, image); }, Qt::QueuedConnection);
    });
}
