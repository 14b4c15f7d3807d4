// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>

class QTcpSocket;

namespace paddock {

/// One check that a world answers: connects to a port on the loopback interface without
/// blocking and waits a few seconds for the server's first bytes, as any client would get
/// them, then closes. A frozen server's kernel still completes the connection, so only the
/// bytes tell.
class ConnectionProbe final : public QObject {
    Q_OBJECT
public:
    explicit ConnectionProbe(QObject *parent = nullptr);
    ~ConnectionProbe() override;
    Q_DISABLE_COPY_MOVE(ConnectionProbe)

    /// How long the server has to answer, from the start (5 seconds unless changed).
    void setTimeout(std::chrono::milliseconds timeout) { m_deadline.setInterval(timeout); }
    /// Starts a probe of port; one already running is dropped without a result.
    void start(int port);
    /// Drops the running probe, if any, without a result.
    void abort();
    bool isRunning() const { return m_socket != nullptr; }

Q_SIGNALS:
    /// The connection is made, from localPort: the server logs it with that port.
    void connected(int serverPort, int localPort);
    /// The probe ended: answered when the server sent its first bytes in time.
    void finished(bool answered);

private:
    void finish(bool answered);

    std::unique_ptr<QTcpSocket> m_socket;
    QTimer m_deadline;
    int m_port = 0;
};

} // namespace paddock
