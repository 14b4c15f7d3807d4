// SPDX-License-Identifier: MIT
#include "RemoteRequest.h"

#include "SingleInstance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QLocalSocket>

namespace paddock {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("paddock", text);
}

RemoteReply noAnswer(const QString &why)
{
    RemoteReply reply;
    reply.sentence = why;
    return reply;
}

} // namespace

RemoteReply askRunningPaddock(const QString &verb, const QString &world,
                              std::chrono::milliseconds timeout)
{
    const QString path = SingleInstance::defaultPath();
    if (path.isEmpty())
        return noAnswer(tr("Paddock is not running."));
    const QString late =
        tr("Paddock did not answer within %1 seconds.").arg(qint64(timeout.count() / 1000));
    const QDeadlineTimer deadline(timeout);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return noAnswer(socket.error() == QLocalSocket::SocketTimeoutError
                            ? late
                            : tr("Paddock is not running."));
    QJsonObject request{{QStringLiteral("version"), SingleInstance::ProtocolVersion},
                        {QStringLiteral("request"), verb}};
    if (!world.isEmpty())
        request[QStringLiteral("world")] = world;
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || socket.state() != QLocalSocket::ConnectedState ||
            !(socket.bytesToWrite() > 0 ? socket.waitForBytesWritten(int(deadline.remainingTime()))
                                        : socket.waitForReadyRead(int(deadline.remainingTime())))) {
            if (socket.canReadLine())
                break;
            return noAnswer(late);
        }
    }
    const QJsonObject reply = QJsonDocument::fromJson(socket.readLine()).object();
    RemoteReply result;
    if (const QJsonValue answer = reply.value(QStringLiteral("answer")); answer.isObject()) {
        result.outcome = RemoteReply::Outcome::Answered;
        result.answer = answer.toObject();
        return result;
    }
    result.outcome = RemoteReply::Outcome::Refused;
    result.sentence = reply.value(QStringLiteral("error")).toString();
    result.code = reply.value(QStringLiteral("code")).toString();
    if (result.sentence.isEmpty())
        result.sentence = tr("Paddock's answer cannot be read.");
    return result;
}

} // namespace paddock
