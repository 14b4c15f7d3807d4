// SPDX-License-Identifier: MIT
#include "ConnectionProbe.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace paddock {

ConnectionProbe::ConnectionProbe(QObject *parent)
    : QObject(parent)
    , m_deadline(this)
{
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(std::chrono::seconds(5));
    connect(&m_deadline, &QTimer::timeout, this, [this] { finish(false); });
}

ConnectionProbe::~ConnectionProbe()
{
    abort();
}

void ConnectionProbe::start(int port)
{
    abort();
    m_port = port;
    m_socket = std::make_unique<QTcpSocket>();
    QTcpSocket *socket = m_socket.get();
    connect(socket, &QTcpSocket::connected, this,
            [this, socket] { Q_EMIT connected(m_port, int(socket->localPort())); });
    connect(socket, &QTcpSocket::readyRead, this, [this] { finish(true); });
    // Refused, reset or closed before a byte came: no answer. The deadline may still be
    // running from an error during connectToHost itself.
    connect(socket, &QTcpSocket::errorOccurred, this, [this] { finish(false); });
    m_deadline.start();
    socket->connectToHost(QHostAddress(QHostAddress::LocalHost), quint16(port));
}

void ConnectionProbe::abort()
{
    m_deadline.stop();
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->abort();
    // Deleted later: this may run inside one of the socket's own signals.
    m_socket.release()->deleteLater();
}

void ConnectionProbe::finish(bool answered)
{
    if (!isRunning())
        return;
    abort();
    Q_EMIT finished(answered);
}

} // namespace paddock
