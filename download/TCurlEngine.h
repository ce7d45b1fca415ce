#pragma once
// The engine of the modern option: every job on one thread of its own, through libcurl's multi
// interface, so connections to a host are kept alive and reused (HTTP/2 where the server offers
// it), bodies may come compressed, hosts may be IPv6 or dual-stack, and the usual proxy
// variables apply. Bodies stream into the part file beside the final name; a job given a
// ResumeFrom and a Validator asks only for the missing bytes (Range, with If-Range). Each job
// ends with one outcome that tells the queue what it needs for another try: the status, the
// server's Retry-After, the validator and the bytes kept, whether another try may help, and why.
//
// Certificates are checked as the classic client checks them (the system's trust store or
// SSL_CERT_FILE / SSL_CERT_DIR, the host's name or address) and refused with the same reasons.
#include <atomic>
#include <memory>
#include <thread>

#include "download/TTransferEngine.h"

class TCurlEngine : public TTransferEngine {
    Q_OBJECT
public:
    // A body that moves slower than this for this long has stalled: the try ends, retryable.
    static constexpr int StallBytesPerSecond = 1024;
    static constexpr int StallSeconds = 30;
    // Look-up and connect, as the classic client allows them.
    static constexpr int ConnectSeconds = 60;

    // `hostConnections`: at most this many connections to one host at a time.
    explicit TCurlEngine(int hostConnections = 2, QObject* parent = nullptr);
    ~TCurlEngine() override;  // stops every job and waits for the engine's thread

    // From any thread.
    void Start(const TTransferJob& job) override;
    void StopAll() override;

    // Jobs not yet reported.
    int Running() const { return FRunning.load(); }
    // Test-only seam: a shorter stall rule.
    static void SetStallRuleForTests(int bytesPerSecond, int seconds);

    class Worker;

private:
    std::unique_ptr<Worker> FWorker;
    std::thread FThread;
    std::atomic<int> FRunning{0};
};
