// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "LogFileWriter.h"
#include "Run.h"
#include "SettingsKeys.h"
#include "UniqueFd.h"

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace paddock::test {

TestEnvironment::TestEnvironment()
{
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/paddock-test-XXXXXX";
    if (::mkdtemp(pattern.data()))
        m_configHome = QString::fromLocal8Bit(pattern);
    ::setenv("XDG_CONFIG_HOME", pattern.constData(), 1);
    // Server records and keeper sockets of the test's own, never the user's.
    ::setenv("XDG_STATE_HOME", QByteArray(pattern + "/state").constData(), 1);
    ::setenv("XDG_RUNTIME_DIR", QByteArray(pattern + "/run").constData(), 1);
    // A session bus whose daemon is gone: its socket is there and nobody listens, so no
    // notification of a test reaches the desktop of whoever runs it.
    const QByteArray bus = pattern + "/dead-bus";
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (size_t(bus.size()) < sizeof address.sun_path) {
        std::copy(bus.begin(), bus.end(), address.sun_path);
        const UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        (void)::bind(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address);
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", QByteArray("unix:path=" + bus).constData(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

TestEnvironment::~TestEnvironment()
{
    if (!m_configHome.isEmpty())
        QDir(m_configHome).removeRecursively();
}

QString qtPath(const std::string &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string osPath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

void removeTree(const std::string &path)
{
    ::nftw(
        path.c_str(),
        [](const char *name, const struct stat *, int, FTW *) {
            ::remove(name);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

std::string standInServerPath()
{
    return STAND_IN_SERVER_PATH;
}

QByteArray readFile(const std::string &path)
{
    // Opened by its bytes: a name that is not UTF-8 would not survive Qt's text.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return "<missing>";
    }
    return file.readAll();
}

std::vector<std::string> fileNamesIn(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *dir = ::opendir(folder.c_str())) {
        while (const dirent *entry = ::readdir(dir))
            if (entry->d_name != std::string(".") && entry->d_name != std::string(".."))
                names.push_back(entry->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const std::string &path, const QByteArray &bytes, const QDateTime &modified)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const UniqueFd owned(fd);
    if (::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
        return false;
    if (!modified.isValid())
        return true;
    const qint64 ms = modified.toMSecsSinceEpoch();
    const struct timespec times[2] = {{0, UTIME_OMIT}, {ms / 1000, (ms % 1000) * 1000000}};
    return ::futimens(fd, times) == 0;
}

bool writeFile(const QString &path, const QByteArray &bytes, const QDateTime &modified)
{
    return writeFile(osPath(path), bytes, modified);
}

QByteArray readFromLoopback(UniqueFd &connection, int port, qsizetype want, int deadlineMs)
{
    if (!connection) {
        connection.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(connection.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) !=
            0)
            return "<cannot connect>";
    }
    QByteArray got;
    QDeadlineTimer deadline(deadlineMs);
    while (got.size() < want) {
        pollfd ready{connection.get(), POLLIN, 0};
        if (::poll(&ready, 1, int(deadline.remainingTime())) <= 0)
            break;
        char buffer[256];
        const ssize_t read = ::read(connection.get(), buffer, sizeof buffer);
        if (read <= 0)
            break; // the end, or reset by a server that never took the connection
        got.append(buffer, read);
    }
    return got;
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

std::string logOf(const MooController &controller)
{
    const LogTextPtr text = controller.outputString();
    return text ? text->bytes(0, text->length()) : std::string();
}

std::string expectedFlood(size_t bytes)
{
    const std::string filler =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrs";
    std::string block;
    for (int line = 0; block.size() < 64 * 1024 - 100; ++line) {
        std::string number = std::to_string(line);
        number.insert(0, 8 - std::min<size_t>(8, number.size()), '0');
        block += "flood " + number + " " + filler.substr(0, 84) + "\n";
    }
    std::string flood;
    while (flood.size() < bytes)
        flood += block;
    flood.resize(bytes);
    return flood;
}

TerminationWatch::TerminationWatch(const std::shared_ptr<Task> &task)
{
    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification &) { ++m_count; }, TaskDidTerminateNotification, task);
}

TerminationWatch::~TerminationWatch()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

bool TerminationWatch::wait(int timeoutMs)
{
    return QTest::qWaitFor([this] { return m_count > 0; }, timeoutMs);
}

void reapTasks(const QList<std::shared_ptr<Task>> &tasks)
{
    for (const auto &task : tasks) {
        if (task && task->isRunning()) {
            task->kill();
            task->waitUntilExit();
        }
    }
}

bool endRuns(const QList<const MooController *> &controllers)
{
    for (const MooController *controller : controllers)
        reapTasks({controller->task()});
    return QTest::qWaitFor(
        [&controllers] {
            return std::all_of(controllers.begin(), controllers.end(), [](const auto *controller) {
                return !controller->run() || controller->run()->outputFinished();
            });
        },
        10000);
}

ProgramAnswer runServing(const QString &program, const QStringList &arguments)
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(program, arguments);
    if (!process.waitForStarted() || !finished.wait(60000)) {
        process.kill();
        process.waitForFinished();
    }
    ProgramAnswer answer;
    if (!finished.isEmpty() && process.exitStatus() == QProcess::NormalExit)
        answer.status = process.exitCode();
    answer.out = process.readAllStandardOutput();
    answer.err = process.readAllStandardError();
    return answer;
}

void reapChildren()
{
    for (const int pid : childProcesses()) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

SignalDisposition::SignalDisposition(int signal, void (*handler)(int))
    : m_signal(signal)
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, &m_previous);
}

SignalDisposition::~SignalDisposition()
{
    ::sigaction(m_signal, &m_previous, nullptr);
}

FileSizeLimit::FileSizeLimit(rlim_t bytes)
    : m_ignored(SIGXFSZ, SIG_IGN)
{
    ::getrlimit(RLIMIT_FSIZE, &m_previous);
    struct rlimit limit = m_previous;
    limit.rlim_cur = bytes;
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        QTest::qFail("the file size limit could not be set", __FILE__, __LINE__);
}

FileSizeLimit::~FileSizeLimit()
{
    ::setrlimit(RLIMIT_FSIZE, &m_previous);
}

AddressSpaceLimit::AddressSpaceLimit(rlim_t headroom)
{
    ::getrlimit(RLIMIT_AS, &m_previous);
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    struct rlimit limit = m_previous;
    limit.rlim_cur = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + headroom;
    if (pages == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0)
        QTest::qFail("the address space limit could not be set", __FILE__, __LINE__);
}

AddressSpaceLimit::~AddressSpaceLimit()
{
    ::setrlimit(RLIMIT_AS, &m_previous);
}

std::string patterned(std::size_t size, std::size_t salt)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        std::uint64_t x = (i + salt) * 0x9E3779B97F4A7C15u;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
        bytes[i] = char((x ^ (x >> 27)) >> 56);
    }
    return bytes;
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

int launchInAnotherProcessAndKillIt(const QString &launcher, const std::string &db,
                                    const QStringList &more, const QByteArray &loggedFirst)
{
    QProcess process;
    process.start(launcher, QStringList{QString::fromStdString(standInServerPath()),
                                        QString::fromStdString(db)} +
                                more);
    if (!process.waitForReadyRead(10000))
        return 0;
    const int server = process.readLine().trimmed().toInt();
    if (!loggedFirst.isEmpty()) {
        const std::string log = db.substr(0, db.rfind('/') + 1) + "server.log";
        (void)QTest::qWaitFor([&] { return readFile(log).contains(loggedFirst); }, 10000);
    }
    process.kill();
    process.waitForFinished(10000);
    return server;
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
          osPath(m_folder.filePath(QStringLiteral("settings/paddock.conf")))))
    , m_prefs(std::make_unique<UserDefaultsController>(*m_store))
    , m_controller(std::make_unique<MooController>())
{
    m_controller->connectOutlets(m_prefs.get(), nullptr, nullptr);
    m_controller->awakeFromNib();
    m_store->setString(MOOExecutableURL, standInServerPath());
    // Every server the controller holds is reaped at the end, also one started by something
    // other than launch() (a restart after a crash).
    QObject::connect(m_controller.get(), &MooController::taskChanged, m_controller.get(), [this] {
        if (const auto task = m_controller->task(); task && !m_launched.contains(task))
            m_launched.append(task);
    });
}

ControllerFixture::~ControllerFixture()
{
    reapAll();
}

std::string ControllerFixture::log() const
{
    return logOf(*m_controller);
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
    // Over once the end is noticed and both streams have been read to their end, so what a
    // cycle opened is closed again when it returns.
    held = QTest::qWaitFor([this] { return !m_controller->task() && outputRead(); }, 10000) && held;
    reapAll();
    return held;
}

void ControllerFixture::reapAll()
{
    reapTasks(m_launched);
    m_launched.clear();
    // A read still pending keeps its pipe alive: let the ended streams be read to their end.
    // Not ended in time (a helper of the server still holds them): the test's own checks say so.
    (void)QTest::qWaitFor([this] { return outputRead(); }, 5000);
}

bool ControllerFixture::outputRead() const
{
    const auto atEnd = [](const std::shared_ptr<Pipe> &pipe) {
        return !pipe || pipe->fileHandleForReading()->isAtEnd();
    };
    return atEnd(m_controller->taskStdOut()) && atEnd(m_controller->taskStdError());
}

LogTextPtr loggedThroughFile(const QString &folder, std::string_view bytes,
                             const std::function<void(const LogTextPtr &)> &eachChunk)
{
    LogFileWriter writer(osPath(folder) + "/server.log", 0);
    LogTextPtr text = LogText::create();
    constexpr std::size_t Chunk = 64 * 1024;
    for (std::size_t at = 0; at < bytes.size(); at += Chunk) {
        const std::string_view chunk = bytes.substr(at, Chunk);
        LogKeeping keeping;
        keeping.file = writer.segments();
        keeping.fileOffset = writer.written();
        if (!writer.append(chunk).ok())
            return nullptr;
        text = text->appending(chunk, keeping);
        if (eachChunk)
            eachChunk(text);
    }
    return text;
}

QStringList objectsWithRunningTimers(const QList<QObject *> &roots)
{
    QStringList running;
    const QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    for (QObject *root : roots) {
        QList<QObject *> objects = root->findChildren<QObject *>();
        objects.prepend(root);
        for (QObject *object : std::as_const(objects))
            if (!dispatcher->registeredTimers(object).isEmpty())
                running.append(
                    QString::fromLatin1(object->metaObject()->className()) +
                    (object->parent()
                         ? QStringLiteral(" of ") +
                               QString::fromLatin1(object->parent()->metaObject()->className())
                         : QString()));
    }
    return running;
}

} // namespace paddock::test
