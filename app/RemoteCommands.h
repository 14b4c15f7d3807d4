// SPDX-License-Identifier: MIT
#pragma once

#include "SingleInstance.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <optional>

namespace paddock {

class WorldServer;
class WorldServers;
class Worlds;

/// Answers what other programs ask the running Paddock over its socket, each request for one
/// world named under "world" by the name the window shows (with one world it may be left out):
/// - "status": the world's state report (see statusReport); without a world, the first world's,
///   and once there are several worlds a "worlds" array with each world's report and "name".
/// - "start": starts the world as the menu's Start does, from the database the database chooser
///   would suggest (its last output name), without asking anything: a start that would ask the
///   user to accept a risk is refused. Answered at once, the server running or the start failed.
/// - "stop": the menu's Stop, answered once the server has ended, or when it has not ended
///   within the stop's grace period (never forced).
/// - "checkpoint": Checkpoint Now.
/// The last three answer {"done", "message" (the sentence to show), "world", "status"}; their
/// refusals are the window's sentences. A name that is no world is an error with the code
/// "unknownWorld", whose sentence lists the worlds.
class RemoteCommands final : public QObject {
    Q_OBJECT
public:
    /// Answers for worlds and their servers, which must outlive this.
    RemoteCommands(Worlds &worlds, WorldServers &servers, QObject *parent = nullptr);
    ~RemoteCommands() override;
    Q_DISABLE_COPY_MOVE(RemoteCommands)

    /// Answers one request through respond, at once or (a stop) later.
    void answer(const QString &verb, const QJsonObject &request,
                const SingleInstance::Respond &respond);

private:
    // The world a request names: its id, or none with error set.
    std::optional<QString> namedWorld(const QJsonObject &request,
                                      SingleInstance::RequestError &error) const;
    QJsonObject statusOf(const QString &id) const;
    QJsonObject status() const;
    QJsonObject outcome(const QString &id, bool done, const QString &message) const;
    QJsonObject start(const QString &id);
    QJsonObject checkpoint(const QString &id);
    void stop(const QString &id, const SingleInstance::Respond &respond);
    // The database the chooser would suggest for world: its last output name, resolved against
    // the folder of the database it last ran on. Empty, with why set, when there is none.
    std::string suggestedDatabase(const WorldServer &world, QString &why) const;

    Worlds &m_worlds;
    WorldServers &m_servers;
};

} // namespace paddock
