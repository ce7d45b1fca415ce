#include "TlsTestServer.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {
// Extensions of the test certificates, chosen by section name.
const char* const Config = "[req]\n"
                           "distinguished_name = dn\n"
                           "[dn]\n"
                           "[authority]\n"
                           "basicConstraints = critical,CA:TRUE\n"
                           "keyUsage = critical,keyCertSign,cRLSign\n"
                           "subjectKeyIdentifier = hash\n"
                           "[good]\n"
                           "basicConstraints = CA:FALSE\n"
                           "extendedKeyUsage = serverAuth\n"
                           "subjectAltName = IP:127.0.0.1,DNS:localhost\n"
                           "[other]\n"
                           "basicConstraints = CA:FALSE\n"
                           "extendedKeyUsage = serverAuth\n"
                           "subjectAltName = DNS:other.test\n";
}  // namespace

bool TestCertificates::Run(const QStringList& arguments) const
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        qWarning("openssl %s failed: %s", qPrintable(arguments.join(' ')), openssl.readAll().constData());
        return false;
    }
    return true;
}

bool TestCertificates::Make()
{
    if (!FDir.isValid())
        return false;
    QFile config(File("test.cnf"));
    if (!config.open(QIODevice::WriteOnly) || config.write(Config) < 0)
        return false;
    config.close();
    const QString cnf = config.fileName();
    const auto authority = [&](const char* name, const char* subject) {
        return Run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                    File(name) + ".key", "-out", File(name) + ".pem", "-days", "30", "-subj", subject, "-config", cnf,
                    "-extensions", "authority"});
    };
    int serial = 0;
    const auto sign = [&](const char* authorityName, const char* section, const char* days, const char* out) {
        return Run({"x509", "-req", "-in", File("server.csr"), "-CA", File(authorityName) + ".pem", "-CAkey",
                    File(authorityName) + ".key", "-set_serial", QString::number(++serial), "-days", days, "-extfile",
                    cnf, "-extensions", section, "-out", File(out)});
    };
    return authority("ca", "/CN=Kelvorn Test Authority") && authority("stranger-ca", "/CN=Unknown Authority")
        && Run({"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", Key()})
        && Run({"req", "-new", "-key", Key(), "-subj", "/CN=test server", "-config", cnf, "-out", File("server.csr")})
        && sign("ca", "good", "30", "good.pem") && sign("ca", "good", "-1", "expired.pem")
        && sign("ca", "other", "30", "other.pem") && sign("stranger-ca", "good", "30", "stranger.pem");
}

QString TestCertificates::Certificate(Kind kind) const
{
    switch (kind) {
    case Kind::Good: return File("good.pem");
    case Kind::Expired: return File("expired.pem");
    case Kind::OtherHost: return File("other.pem");
    case Kind::Stranger: return File("stranger.pem");
    }
    return {};
}

void TestCertificates::Trust() const { qputenv("SSL_CERT_FILE", QFile::encodeName(Authority())); }

PyTlsServer::PyTlsServer(Mode mode, const QString& root, const QString& certificate, const QString& key)
    : FMode(mode), FRoot(root), FCertificate(certificate), FKey(key)
{
}

PyTlsServer::~PyTlsServer()
{
    if (FProcess.state() != QProcess::NotRunning) {
        FProcess.kill();
        FProcess.waitForFinished(5000);
    }
}

bool PyTlsServer::Start()
{
    if (!FDir.isValid())
        return false;
    const QString portFile = FDir.filePath(QStringLiteral("port"));
    QStringList arguments{QStringLiteral(KELVORN_SOURCE_DIR "/tests/support/tls_server.py"), QStringLiteral("--root"),
                          FRoot, QStringLiteral("--port-file"), portFile};
    if (FMode == Mode::Tls)
        arguments << QStringLiteral("--cert") << FCertificate << QStringLiteral("--key") << FKey;
    else
        arguments << (FMode == Mode::Plain ? QStringLiteral("--plain") : QStringLiteral("--stall"));
    FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProcess.start(QStringLiteral("python3"), arguments);
    if (!FProcess.waitForStarted(10000))
        return false;
    // The server writes its port once it listens.
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired() && FProcess.state() == QProcess::Running) {
        QFile file(portFile);
        if (file.open(QIODevice::ReadOnly)) {
            FPort = quint16(file.readAll().trimmed().toUInt());
            return FPort != 0;
        }
        FProcess.waitForFinished(20);  // returns early only if the server died
    }
    return false;
}

QByteArray PyTlsServer::Url(const QByteArray& path, const QByteArray& host) const
{
    return (FMode == Mode::Plain ? "http://" : "https://") + host + ":" + QByteArray::number(FPort) + path;
}
