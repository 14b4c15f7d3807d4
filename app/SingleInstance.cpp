// SPDX-License-Identifier: MIT
#include "SingleInstance.h"

#include "DescriptorIo.h"
#include "PrivateFolder.h"
#include "String.h"
#include "SystemError.h"
#include "UniqueFd.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QPointer>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <utility>

namespace paddock {

namespace {

constexpr int AnswerTimeoutMs = 2000;
const QByteArray ActivateRequest = QByteArrayLiteral("activate\n");
// A peer that sends more than this without a line end is not one of Paddock's.
constexpr qsizetype LongestRequest = 64 * 1024;

// Waits for the lock on the file at path, made owner-only and never reached through a link;
// the lock lasts as long as the descriptor. None, with problem set, when it cannot be had.
UniqueFd lockFile(const QString &path, QString &problem)
{
    UniqueFd fd(::open(pathBytes(path).c_str(),
                       O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600));
    struct stat status;
    int error = 0;
    if (!fd || ::fstat(fd.get(), &status) != 0)
        error = errno;
    else if (!S_ISREG(status.st_mode))
        error = EINVAL;
    if (error == 0 && retryOnInterrupt([&] { return ::flock(fd.get(), LOCK_EX); }) != 0)
        error = errno;
    if (error == 0)
        return fd;
    problem =
        QCoreApplication::translate("paddock::SingleInstance", "Paddock cannot lock \"%1\": %2")
            .arg(path, QString::fromLocal8Bit(errorText(error)));
    return {};
}

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : SingleInstance(QString(), parent)
{
    const PrivateSocketPath socket = privateSocketPath("paddock.socket");
    m_path = displayPath(socket.path);
    if (m_path.isEmpty())
        m_problem = displayPath(socket.problem);
}

SingleInstance::SingleInstance(QString path, QObject *parent)
    : QObject(parent)
    , m_path(std::move(path))
{
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = m_server.nextPendingConnection())
            serve(peer);
    });
}

void SingleInstance::serve(QLocalSocket *peer)
{
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
        while (peer->canReadLine()) {
            const QByteArray line = peer->readLine(LongestRequest + 1);
            if (line == ActivateRequest) {
                Q_EMIT activationRequested();
                continue;
            }
            // One request a connection: whatever follows it is not read.
            disconnect(peer, &QLocalSocket::readyRead, this, nullptr);
            const QPointer<QLocalSocket> asker(peer);
            auto answered = std::make_shared<bool>(false);
            handle(line.trimmed(), [asker, answered](const Answer &answer) {
                if (std::exchange(*answered, true) || !asker)
                    return;
                // Closed once the answer is written.
                asker->write(answerLine(answer) + '\n');
                asker->disconnectFromServer();
            });
            return;
        }
        if (peer->bytesAvailable() > LongestRequest)
            peer->abort();
    });
}

void SingleInstance::handle(const QByteArray &requestLine, const Respond &respond)
{
    const QJsonDocument document = QJsonDocument::fromJson(requestLine);
    const QJsonObject request = document.object();
    const QString verb = request.value(QStringLiteral("request")).toString();
    if (!document.isObject() || verb.isEmpty())
        respond(RequestError{tr("The request is not one Paddock understands."), {}});
    else if (!m_handler)
        respond(RequestError{tr("This Paddock answers no requests."), {}});
    else
        m_handler(verb, request, respond);
}

QByteArray SingleInstance::answerLine(const Answer &answer)
{
    QJsonObject reply{{QStringLiteral("version"), ProtocolVersion}};
    if (const auto *object = std::get_if<QJsonObject>(&answer)) {
        reply[QStringLiteral("answer")] = *object;
    } else {
        const RequestError &error = std::get<RequestError>(answer);
        reply[QStringLiteral("error")] = error.sentence;
        if (!error.code.isEmpty())
            reply[QStringLiteral("code")] = error.code;
    }
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

QString SingleInstance::defaultPath()
{
    return displayPath(privateSocketPath("paddock.socket").path);
}

bool SingleInstance::askRunningPaddock()
{
    QLocalSocket first;
    first.connectToServer(m_path);
    if (!first.waitForConnected(AnswerTimeoutMs))
        return false;
    first.write(ActivateRequest);
    if (!first.waitForBytesWritten(AnswerTimeoutMs))
        return false;
    first.disconnectFromServer();
    return true;
}

bool SingleInstance::claim()
{
    if (m_path.isEmpty())
        return true;
    // Connect, remove and listen are one step only under the lock: without it, two Paddocks
    // started together could both find no one listening, and the later one's socket would
    // replace the first's. A holder keeps it for two answer timeouts at most.
    QString lockProblem;
    const UniqueFd lock = lockFile(m_path + QStringLiteral(".lock"), lockProblem);
    if (askRunningPaddock())
        return false;
    // No Paddock answers: a socket left there is a crashed one's, and must not block this one.
    QLocalServer::removeServer(m_path);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(m_path))
        m_problem = lockProblem;
    else
        m_problem = tr("Paddock cannot listen on \"%1\": %2").arg(m_path, m_server.errorString());
    return true;
}

} // namespace paddock
