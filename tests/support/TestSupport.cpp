#include "TestSupport.h"

#include "SettingsKeys.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <regex>

namespace paddock::test {

TestEnvironment::TestEnvironment()
{
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/paddock-test-XXXXXX";
    if (::mkdtemp(pattern.data()))
        m_configHome = QString::fromLocal8Bit(pattern);
    ::setenv("XDG_CONFIG_HOME", pattern.constData(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

TestEnvironment::~TestEnvironment()
{
    if (!m_configHome.isEmpty())
        QDir(m_configHome).removeRecursively();
}

std::string standInServerPath()
{
    return STAND_IN_SERVER_PATH;
}

std::string writeDatabase(const QString &folder, const std::string &name, const std::string &script)
{
    const std::string path = QFile::encodeName(folder).toStdString() + "/" + name;
    std::ofstream(path, std::ios::binary) << script;
    return path;
}

namespace {

std::string unhex(const std::string &hex)
{
    if (hex == "-")
        return {};
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

} // namespace

std::optional<StandInReceived> receivedByStandIn(const std::string &log)
{
    static const std::regex line("argc=(\\d+) db=([0-9a-f-]+) out=([0-9a-f-]+) cwd=([0-9a-f-]+)");
    std::smatch match;
    if (!std::regex_search(log, match, line))
        return std::nullopt;
    return StandInReceived{std::stoi(match[1]), unhex(match[2]), unhex(match[3]), unhex(match[4])};
}

bool isProcessAlive(int pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close > 0 && text.size() > close + 2 && text.at(close + 2) != 'Z';
}

int openDescriptorCount()
{
    int count = 0;
    if (DIR *dir = ::opendir("/proc/self/fd")) {
        while (const dirent *entry = ::readdir(dir))
            count += entry->d_name[0] != '.';
        ::closedir(dir);
        --count; // the listing's own descriptor
    }
    return count;
}

QList<int> childProcesses()
{
    QList<int> children;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(tid + QStringLiteral("/children")));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &pid : file.readAll().split(' '))
            if (!pid.trimmed().isEmpty())
                children.append(pid.trimmed().toInt());
    }
    return children;
}

ControllerFixture::ControllerFixture()
    : m_store(std::make_unique<UserDefaults>(
          m_folder.filePath(QStringLiteral("settings/paddock.conf"))))
    , m_prefs(std::make_unique<UserDefaultsController>(*m_store))
    , m_controller(std::make_unique<MooController>())
{
    m_controller->connectOutlets(m_prefs.get(), nullptr, nullptr);
    m_controller->awakeFromNib();
    m_store->setString(MOOExecutableURL, standInServerPath());
}

ControllerFixture::~ControllerFixture()
{
    reapAll();
}

std::string ControllerFixture::log() const
{
    const LogTextPtr text = m_controller->outputString();
    return text->bytes(0, text->length());
}

void ControllerFixture::launch(const std::string &script, const std::string &outputName,
                               const std::string &databaseName)
{
    m_controller->setDbPath(makeString(writeDatabase(folder(), databaseName, script)));
    m_controller->setNewDbPath(makeString(outputName));
    try {
        m_controller->runMoo();
    } catch (...) {
        if (auto task = m_controller->task())
            m_launched.append(task);
        throw;
    }
    m_launched.append(m_controller->task());
}

bool ControllerFixture::launchAndStop()
{
    launch("");
    const std::shared_ptr<Task> server = m_controller->task();
    bool held = m_controller->isMooRunning() && server && server->isRunning();
    m_controller->stopMoo();
    held = held && !m_controller->isMooRunning();
    held = QTest::qWaitFor([this] { return !m_controller->task(); }, 10000) && held;
    reapAll();
    return held;
}

void ControllerFixture::reapAll()
{
    for (const auto &task : std::as_const(m_launched)) {
        if (task && task->isRunning()) {
            task->kill();
            task->waitUntilExit();
        }
    }
    m_launched.clear();
}

} // namespace paddock::test
