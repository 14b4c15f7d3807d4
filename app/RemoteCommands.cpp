// SPDX-License-Identifier: MIT
#include "RemoteCommands.h"

#include "ChooserMemory.h"
#include "DatabaseGenerations.h"
#include "MooController.h"
#include "ResponsivenessWatch.h"
#include "RunHistory.h"
#include "ServerLife.h"
#include "SettingsKeys.h"
#include "StatusReport.h"
#include "String.h"
#include "UserDefaults.h"
#include "WorldServers.h"
#include "Worlds.h"

#include <QJsonArray>
#include <QScopeGuard>
#include <QStringList>

#include <sys/stat.h>

namespace paddock {

namespace {

const QString WorldKey = QStringLiteral("world");

QString quotedNames(const Worlds &worlds)
{
    QStringList names;
    for (const QString &id : worlds.ids())
        names.append(RemoteCommands::tr("“%1”").arg(worlds.name(id)));
    return names.join(QStringLiteral(", "));
}

bool isFile(const std::string &path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

RemoteCommands::RemoteCommands(Worlds &worlds, WorldServers &servers, QObject *parent)
    : QObject(parent)
    , m_worlds(worlds)
    , m_servers(servers)
{}

RemoteCommands::~RemoteCommands() = default;

void RemoteCommands::answer(const QString &verb, const QJsonObject &request,
                            const SingleInstance::Respond &respond)
{
    static const QStringList Verbs{QStringLiteral("status"), QStringLiteral("start"),
                                   QStringLiteral("stop"), QStringLiteral("checkpoint")};
    if (!Verbs.contains(verb)) {
        respond(SingleInstance::RequestError{tr("Paddock does not know \"%1\".").arg(verb), {}});
        return;
    }
    // The status of every world needs no name; all else is about one world.
    if (verb == QStringLiteral("status") && !request.contains(WorldKey)) {
        respond(status());
        return;
    }
    SingleInstance::RequestError error;
    const std::optional<QString> id = namedWorld(request, error);
    if (!id) {
        respond(error);
    } else if (verb == QStringLiteral("status")) {
        QJsonObject report = statusOf(*id);
        report[QStringLiteral("name")] = m_worlds.name(*id);
        respond(report);
    } else if (verb == QStringLiteral("start")) {
        respond(start(*id));
    } else if (verb == QStringLiteral("checkpoint")) {
        respond(checkpoint(*id));
    } else {
        stop(*id, respond);
    }
}

std::optional<QString> RemoteCommands::namedWorld(const QJsonObject &request,
                                                  SingleInstance::RequestError &error) const
{
    const QStringList ids = m_worlds.ids();
    const QString name = request.value(WorldKey).toString().trimmed();
    if (name.isEmpty() && ids.size() == 1)
        return ids.constFirst();
    // Names differ in more than case, so a name typed in another case is still one world.
    for (const QString &id : ids)
        if (!name.isEmpty() && m_worlds.name(id).compare(name, Qt::CaseInsensitive) == 0)
            return id;
    error.code = QStringLiteral("unknownWorld");
    error.sentence =
        name.isEmpty()
            ? tr("Paddock keeps several worlds: name one of %1.").arg(quotedNames(m_worlds))
            : tr("Paddock has no world called “%1”; its worlds are %2.")
                  .arg(name, quotedNames(m_worlds));
    return std::nullopt;
}

QJsonObject RemoteCommands::statusOf(const QString &id) const
{
    const WorldServer &world = *m_servers.server(id);
    return statusReport(world.controller(), world.life(), world.players(), world.watch().state());
}

QJsonObject RemoteCommands::status() const
{
    const QStringList ids = m_worlds.ids();
    // One world answers as Paddock did before there were several, so scripts read it as ever.
    QJsonObject answer = statusOf(ids.constFirst());
    if (ids.size() > 1) {
        QJsonArray worlds;
        for (const QString &id : ids) {
            QJsonObject report = statusOf(id);
            report[QStringLiteral("name")] = m_worlds.name(id);
            worlds.append(report);
        }
        answer[QStringLiteral("worlds")] = worlds;
    }
    return answer;
}

QJsonObject RemoteCommands::outcome(const QString &id, bool done, const QString &message) const
{
    return {{QStringLiteral("done"), done},
            {QStringLiteral("message"), message},
            {WorldKey, m_worlds.name(id)},
            {QStringLiteral("status"), statusOf(id)}};
}

std::string RemoteCommands::suggestedDatabase(const WorldServer &world, QString &why) const
{
    const MooController &controller = world.controller();
    const QString name = m_worlds.name(world.id());
    const UserDefaultsController *prefs = controller.prefsController();
    const std::string last =
        prefs ? prefs->defaults().stringForKey(MOOLastDBName).value_or(std::string()) : "";
    if (last.empty()) {
        why = tr("“%1” has no database to start from yet: start it once from Paddock's window, "
                 "choosing its database there.")
                  .arg(name);
        return {};
    }
    // The last output lies beside the database the world last ran on; before any run, in the
    // folder the database chooser would open.
    std::string folder;
    if (const String db = controller.dbPath(); db && !db->empty())
        folder = folderOf(*db);
    else if (const QList<RunRecord> runs = world.generations().history().runs(); !runs.isEmpty())
        folder = folderOf(runs.constLast().input);
    else
        folder = chooserMemory().stringForKey(DatabaseChooserIdentifier).value_or("");
    const std::string database = last.front() == '/' ? last
                                 : folder.empty()    ? std::string()
                                                     : folder + '/' + last;
    if (database.empty() || !isFile(database)) {
        why = tr("The database “%1” would start from, “%2”, is not there: start it from "
                 "Paddock's window, choosing its database there.")
                  .arg(name, displayPath(database.empty() ? last : database));
        return {};
    }
    return database;
}

QJsonObject RemoteCommands::start(const QString &id)
{
    WorldServer &world = *m_servers.server(id);
    MooController &controller = world.controller();
    const QString name = m_worlds.name(id);
    if (world.isRunning())
        return outcome(id, false, tr("“%1” runs a server already.").arg(name));
    const UserDefaultsController *prefs = controller.prefsController();
    if (!prefs || prefs->defaults().stringForKey(MOOExecutableURL).value_or("").empty())
        return outcome(id, false,
                       tr("No MOO server program is chosen for “%1”: choose its executable in "
                          "Paddock's preferences, then start it again.")
                           .arg(name));
    QString why;
    const std::string database = suggestedDatabase(world, why);
    if (database.empty())
        return outcome(id, false, why);

    // Nobody can answer a question from here: a risk the window would ask about refuses the
    // start, with its sentence, as any refusal does.
    QString failure;
    const QMetaObject::Connection failed =
        connect(&controller, &MooController::launchFailed, this,
                [&failure](const QString &message) { failure = message; });
    const auto forget = qScopeGuard([&failed] { disconnect(failed); });
    if (controller.startFromDatabase(database, StartMode::Normal, StartAsking::Nobody))
        return outcome(id, true,
                       tr("“%1” runs, PID %2, on “%3”.")
                           .arg(name)
                           .arg(controller.task()->processIdentifier())
                           .arg(displayPath(database)));
    return outcome(id, false, tr("The server could not be started.") + u' ' + failure);
}

QJsonObject RemoteCommands::checkpoint(const QString &id)
{
    const ServerLife::CheckpointRequest request = m_servers.server(id)->life().checkpointNow();
    if (request == ServerLife::CheckpointRequest::Sent)
        return outcome(id, true,
                       tr("“%1” was asked for a checkpoint; its log tells when it has finished.")
                           .arg(m_worlds.name(id)));
    return outcome(id, false,
                   tr("The checkpoint request could not be sent.") + u' ' +
                       ServerLife::checkpointRequestText(request));
}

void RemoteCommands::stop(const QString &id, const SingleInstance::Respond &respond)
{
    WorldServer &world = *m_servers.server(id);
    ServerLife &life = world.life();
    const QString name = m_worlds.name(id);
    const bool restartPending = life.state() == ServerLife::State::WaitingToRestart;
    if (!life.beginStop()) {
        respond(outcome(id, true,
                        restartPending
                            ? tr("The restart of “%1” was cancelled; no server runs.").arg(name)
                            : tr("“%1” runs no server.").arg(name)));
        return;
    }
    // Answered from the life's changes, never from a wait here, so the window and other
    // askers go on meanwhile.
    auto *waiting = new QObject(this);
    const auto settle = [this, id, name, respond, waiting, &world, &life] {
        if (world.isRunning() && life.state() == ServerLife::State::Stopping)
            return;
        if (!world.isRunning())
            respond(outcome(id, true, tr("The server of “%1” has stopped.").arg(name)));
        else
            respond(outcome(
                id, false,
                tr("The server of “%1” has not stopped in the %2 s Paddock waits before "
                   "offering Force Stop. Paddock does not force it, since it may be writing its "
                   "database: it is still asked to stop.")
                    .arg(name)
                    .arg(life.stopGracePeriod().count() / 1000)));
        disconnect(&life, nullptr, waiting, nullptr);
        waiting->deleteLater();
    };
    connect(&life, &ServerLife::changed, waiting, settle);
    settle();
}

} // namespace paddock
