// SPDX-License-Identifier: MIT
#include "StatusCommand.h"

#include "RemoteRequest.h"
#include "ServerStatus.h"
#include "StatusReport.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

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
            return report.value(QStringLiteral("restartGivenUp")).toBool()
                       ? tr("No server is running; the last one crashed and was not started "
                            "again.")
                       : tr("No server is running; the last one crashed.");
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

} // namespace

int answerStatus(bool json, const QString &world)
{
    const RemoteReply reply = askRunningPaddock(QStringLiteral("status"), world,
                                                std::chrono::milliseconds(AnswerTimeoutMs));
    if (reply.outcome != RemoteReply::Outcome::Answered) {
        // Said where a reader looks: beside the one line, or apart from the JSON a script parses;
        // a world that is none is a usage error, said where usage errors are.
        const bool unknownWorld = reply.code == QStringLiteral("unknownWorld");
        printLine(json || unknownWorld ? stderr : stdout, reply.sentence);
        return unknownWorld ? StatusUsageError : StatusUnknown;
    }
    const QJsonObject &report = reply.answer;
    // Several worlds, each reported; any one's server running counts.
    const QJsonArray worlds = report.value(QStringLiteral("worlds")).toArray();
    QStringList lines;
    bool runs = false;
    if (worlds.isEmpty()) {
        runs = reportsServerRunning(report);
        lines.append(reportLine(report));
    }
    for (const QJsonValue each : worlds) {
        runs = runs || reportsServerRunning(each.toObject());
        lines.append(each.toObject().value(QStringLiteral("name")).toString() +
                     QStringLiteral(": ") + reportLine(each.toObject()));
    }
    if (!json) {
        printLine(stdout, lines.join(u'\n'));
    } else {
        printLine(stdout, QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Compact)));
        if (!runs)
            printLine(stderr, lines.join(u'\n'));
    }
    return runs ? StatusServerRuns : StatusNoServer;
}

} // namespace paddock
