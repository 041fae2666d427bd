#pragma once

// A one-file web server on 127.0.0.1 for the update check's tests: it answers every request
// with a fixed body (or a 404), or accepts and never answers, and remembers the paths asked for.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

class LocalHttpServer : public QTcpServer
{
public:
    enum Mode { Answer, NotFound, Silent };

    explicit LocalHttpServer(QObject *parent = nullptr) : QTcpServer(parent)
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, &LocalHttpServer::accept);
    }

    void setBody(const QByteArray &body)
    {
        m_mode = Answer;
        m_body = body;
    }
    void setMode(Mode mode) { m_mode = mode; }
    QString address() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }
    const QStringList &paths() const { return m_paths; }

    // A port nothing listens on: taken, then given back.
    static quint16 closedPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        return port;
    }

private:
    void accept()
    {
        while (QTcpSocket *socket = nextPendingConnection()) {
            m_open.append(socket);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        }
    }

    void read(QTcpSocket *socket)
    {
        QByteArray &request = m_requests[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> first = request.left(request.indexOf("\r\n")).split(' ');
        m_paths.append(QString::fromLatin1(first.value(1)));
        if (m_mode == Silent)
            return;
        const QByteArray status = m_mode == Answer ? "200 OK" : "404 Not Found";
        const QByteArray body = m_mode == Answer ? m_body : QByteArray("missing");
        socket->write("HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    Mode m_mode = Answer;
    QByteArray m_body;
    QStringList m_paths;
    QList<QTcpSocket *> m_open;
    QHash<QTcpSocket *, QByteArray> m_requests;
};
