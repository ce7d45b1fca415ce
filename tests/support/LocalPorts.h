#pragma once
// Ports on 127.0.0.1 for servers and daemons that tests start as processes.
#include <QDeadlineTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// A port nothing listens on just now.
inline quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// True once something accepts connections on `port`; false when `process` ended first or 30 s
// passed.
inline bool WaitForPort(quint16 port, const QProcess& process)
{
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(200))
            return true;
        QTest::qWait(50);  // still starting
    }
    return false;
}
