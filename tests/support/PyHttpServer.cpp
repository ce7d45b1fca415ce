#include "PyHttpServer.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

PyHttpServer::PyHttpServer(const QString& root) : FRoot(root) {}

PyHttpServer::~PyHttpServer()
{
    if (FProcess.state() != QProcess::NotRunning) {
        FProcess.kill();
        FProcess.waitForFinished(5000);
    }
}

bool PyHttpServer::Start()
{
    {
        QTcpServer probe;  // a port the kernel says is free right now
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return false;
        FPort = probe.serverPort();
    }
    FProcess.setWorkingDirectory(FRoot);
    FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProcess.start(QStringLiteral("python3"),
                   {QStringLiteral("-m"), QStringLiteral("http.server"), QStringLiteral("--bind"),
                    QStringLiteral("127.0.0.1"), QString::number(FPort)});
    if (!FProcess.waitForStarted(10000))
        return false;
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired() && FProcess.state() == QProcess::Running) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, FPort);
        if (s.waitForConnected(200))
            return true;
        QThread::msleep(50);  // the server is still starting
    }
    return false;
}

QByteArray PyHttpServer::Url(const QByteArray& path) const
{
    return "http://127.0.0.1:" + QByteArray::number(FPort) + path;
}
