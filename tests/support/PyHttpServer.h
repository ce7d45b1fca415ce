#pragma once
// Python's http.server on 127.0.0.1 serving a directory, for end-to-end tests.
#include <QProcess>
#include <QString>

class PyHttpServer {
public:
    explicit PyHttpServer(const QString& root);
    ~PyHttpServer();
    bool Start();  // picks a free port; true once the server answers
    quint16 Port() const { return FPort; }
    QByteArray Url(const QByteArray& path) const;  // "http://127.0.0.1:PORT" + path

private:
    QString FRoot;
    QProcess FProcess;
    quint16 FPort = 0;
};
