// SPDX-License-Identifier: MIT
#include "StatusCommand.h"

#include "ServerStatus.h"
#include "SingleInstance.h"
#include "StatusReport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

#include <cstdio>

namespace paddock {

namespace {

// However busy the window is, it answers within this, or counts as not running.
constexpr int AnswerTimeoutMs = 5000;

QString tr(const char *text)
{
    return QCoreApplication::translate("paddock", text);
}

void printLine(std::FILE *stream, const QString &text)
{
    std::fputs((text + u'\n').toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// The report in one line: the state first, then what a script or a person looks for.
QString reportLine(const QJsonObject &report)
{
    const QString state = report.value(QStringLiteral("state")).toString();
    if (!reportsServerRunning(report)) {
        if (state == QStringLiteral("crashed"))
            return tr("No server is running; the last one crashed.");
        if (state == QStringLiteral("waitingToRestart"))
            return tr("No server is running; the last one crashed and is started again soon.");
        if (state == QStringLiteral("launchFailed"))
            return tr("No server is running; the last start failed.");
        if (state == QStringLiteral("ended"))
            return tr("No server is running; the last one ended.");
        return tr("No server is running.");
    }
    QString line =
        state == QStringLiteral("stopping") ? tr("Stopping, PID %1") : tr("Running, PID %1");
    line = line.arg(report.value(QStringLiteral("pid")).toInt());
    if (const QString started = report.value(QStringLiteral("started")).toString();
        !started.isEmpty())
        line += tr(", since %1").arg(started);
    QStringList ports;
    for (const QJsonValue port : report.value(QStringLiteral("ports")).toArray())
        ports.append(QString::number(port.toInt()));
    if (!ports.isEmpty())
        line += tr("; listening on ") + ports.join(QStringLiteral(", "));
    line += QStringLiteral("; ") +
            ServerStatus::playersText(report.value(QStringLiteral("players")).toInt());
    if (const QJsonValue responding = report.value(QStringLiteral("responding"));
        responding.isBool())
        line += responding.toBool() ? tr("; responding") : tr("; not responding");
    if (const QString database = report.value(QStringLiteral("database")).toString();
        !database.isEmpty())
        line += tr("; database %1").arg(database);
    return line;
}

// The report from the running Paddock, or none with why set.
std::optional<QJsonObject> askForReport(QString &why)
{
    const QString path = SingleInstance::defaultPath();
    if (path.isEmpty()) {
        why = tr("Paddock is not running.");
        return std::nullopt;
    }
    const QDeadlineTimer deadline(AnswerTimeoutMs);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        why = socket.error() == QLocalSocket::SocketTimeoutError
                  ? tr("Paddock did not answer within %1 seconds.").arg(AnswerTimeoutMs / 1000)
                  : tr("Paddock is not running.");
        return std::nullopt;
    }
    const QJsonObject request{{QStringLiteral("version"), SingleInstance::ProtocolVersion},
                              {QStringLiteral("request"), QStringLiteral("status")}};
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || socket.state() != QLocalSocket::ConnectedState ||
            !(socket.bytesToWrite() > 0 ? socket.waitForBytesWritten(int(deadline.remainingTime()))
                                        : socket.waitForReadyRead(int(deadline.remainingTime())))) {
            if (socket.canReadLine())
                break;
            why = tr("Paddock did not answer within %1 seconds.").arg(AnswerTimeoutMs / 1000);
            return std::nullopt;
        }
    }
    const QJsonObject reply = QJsonDocument::fromJson(socket.readLine()).object();
    if (const QJsonValue answer = reply.value(QStringLiteral("answer")); answer.isObject())
        return answer.toObject();
    why = reply.value(QStringLiteral("error")).toString();
    if (why.isEmpty())
        why = tr("Paddock's answer cannot be read.");
    return std::nullopt;
}

} // namespace

int answerStatus(bool json)
{
    QString why;
    const std::optional<QJsonObject> report = askForReport(why);
    if (!report) {
        // Said where a reader looks: beside the one line, or apart from the JSON a script parses.
        printLine(json ? stderr : stdout, why);
        return StatusUnknown;
    }
    const bool runs = reportsServerRunning(*report);
    if (!json) {
        printLine(stdout, reportLine(*report));
    } else {
        printLine(stdout, QString::fromUtf8(QJsonDocument(*report).toJson(QJsonDocument::Compact)));
        if (!runs)
            printLine(stderr, reportLine(*report));
    }
    return runs ? StatusServerRuns : StatusNoServer;
}

} // namespace paddock
