// SPDX-License-Identifier: MIT
#include "SingleInstance.h"

#include "PrivateFolder.h"
#include "String.h"

#include <QFile>
#include <QLocalSocket>

namespace paddock {

namespace {

constexpr int AnswerTimeoutMs = 2000;
const QByteArray ActivateRequest = QByteArrayLiteral("activate\n");

} // namespace

SingleInstance::SingleInstance(QString path, QObject *parent)
    : QObject(parent)
    , m_path(std::move(path))
{
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = m_server.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().contains(ActivateRequest))
                    Q_EMIT activationRequested();
            });
        }
    });
}

QString SingleInstance::defaultPath()
{
    const std::string folder = keeperSocketFolder();
    if (!makePrivateFolder(folder).empty())
        return {};
    return displayPath(folder + "/paddock.socket");
}

bool SingleInstance::claim()
{
    if (m_path.isEmpty())
        return true;
    QLocalSocket first;
    first.connectToServer(m_path);
    if (first.waitForConnected(AnswerTimeoutMs)) {
        first.write(ActivateRequest);
        if (first.waitForBytesWritten(AnswerTimeoutMs)) {
            first.disconnectFromServer();
            return false;
        }
    }
    // No Paddock answers: a socket left there is a crashed one's, and must not block this one.
    QLocalServer::removeServer(m_path);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(m_path);
    return true;
}

} // namespace paddock
