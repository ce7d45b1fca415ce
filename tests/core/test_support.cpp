// The end-to-end fixture itself: Python's server must serve a file we put in its directory.
#include <QTemporaryDir>
#include <QTcpSocket>
#include <QtTest>

#include "support/PyHttpServer.h"

class TestSupport : public QObject {
    Q_OBJECT
private slots:
    void servesFiles()
    {
        QTemporaryDir root;
        QFile f(root.filePath("a.html"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<a href=\"x.jpg\">");
        f.close();
        PyHttpServer server(root.path());
        QVERIFY(server.Start());
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, server.Port());
        QVERIFY(s.waitForConnected(5000));
        s.write("GET /a.html HTTP/1.0\r\n\r\n");
        QByteArray reply;
        while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(5000))
            reply += s.readAll();
        reply += s.readAll();
        QVERIFY2(reply.startsWith("HTTP/1.0 200"), reply.constData());
        QVERIFY(reply.endsWith("<a href=\"x.jpg\">"));
    }
};

QTEST_GUILESS_MAIN(TestSupport)
#include "test_support.moc"
