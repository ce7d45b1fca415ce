#pragma once
// Fetches the thumbnails of the picture grid: each from the smallest copy the page offers,
// through the modern engine at most two at a time per host, decoded and scaled off the
// user-interface thread. Only the grid's own requests travel here, apart from the downloads.
#include <QHash>
#include <QImage>
#include <QObject>
#include <QTemporaryDir>
#include <QThreadPool>
#include <memory>

class TCurlEngine;
struct TDownloadOutcome;

class TThumbnailFetcher : public QObject {
    Q_OBJECT
public:
    // Thumbnails are tiny: two per host keeps the page's server at ease while the grid fills.
    static constexpr int HostConnections = 2;
    explicit TThumbnailFetcher(QSize size, QObject* parent = nullptr);
    ~TThumbnailFetcher() override;  // waits for the decoding still running

    // Fetches `from` and reports the picture as `address`'s thumbnail; each address once.
    void Fetch(const QByteArray& address, const QByteArray& from, const QByteArray& userAgent);
    // Scales a decoded picture to fit `size`, read at that size where the format allows it.
    static QImage ReadScaled(const QString& path, QSize size);

signals:
    void Ready(const QByteArray& address, const QImage& thumbnail);

private:
    void Finished(const TDownloadOutcome& outcome);
    QSize FSize;
    QTemporaryDir FDir;
    QThreadPool FDecoders;
    std::unique_ptr<TCurlEngine> FEngine;
    QHash<uint64_t, QByteArray> FPending;  // job id -> address
    uint64_t FNextId = 1;
};
