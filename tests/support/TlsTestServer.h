#pragma once
// For the https tests: certificates made at test time by the openssl command, and the small
// Python server of tls_server.py (over TLS, plain, or one that never answers) on 127.0.0.1.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class TestCertificates {
public:
    enum class Kind {
        Good,       // signed by the test authority for 127.0.0.1 and localhost
        Expired,    // the same, but no longer valid
        OtherHost,  // signed by the test authority for other.test only
        Stranger,   // for 127.0.0.1 and localhost, but signed by an unknown authority
    };

    // Makes the test authority and one certificate of each kind (one key for all of them).
    bool Make();
    QString Authority() const { return File("ca.pem"); }
    QString Key() const { return File("server.key"); }
    QString Certificate(Kind kind) const;
    // Makes the test authority trusted, as SSL_CERT_FILE does for every OpenSSL program. Must
    // come before the process's first TLS connection (the trust store is read once).
    void Trust() const;

private:
    QString File(const char* name) const { return FDir.filePath(QString::fromLatin1(name)); }
    bool Run(const QStringList& arguments) const;

    QTemporaryDir FDir;
};

class PyTlsServer {
public:
    enum class Mode { Tls, Plain, Stall };

    // Serves `root`; Tls mode presents `certificate` with `key`.
    PyTlsServer(Mode mode, const QString& root, const QString& certificate = {}, const QString& key = {});
    ~PyTlsServer();
    PyTlsServer(const PyTlsServer&) = delete;
    PyTlsServer& operator=(const PyTlsServer&) = delete;

    bool Start();  // true once the server listens
    quint16 Port() const { return FPort; }
    // "https://127.0.0.1:PORT" + path ("http://" for a plain server); `host` replaces 127.0.0.1.
    QByteArray Url(const QByteArray& path, const QByteArray& host = "127.0.0.1") const;

private:
    Mode FMode;
    QString FRoot;
    QString FCertificate;
    QString FKey;
    QTemporaryDir FDir;  // holds the port file
    QProcess FProcess;
    quint16 FPort = 0;
};
