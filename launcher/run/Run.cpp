// SPDX-License-Identifier: MIT
#include "Run.h"

#include "ChunkLines.h"
#include "EmergencyMode.h"
#include "FileHandle.h"
#include "InputPipe.h"
#include "NotificationCenter.h"
#include "Pipe.h"
#include "ServerLogLines.h"

namespace paddock {

namespace {

// The item of a read's notice holding the lines its reading thread cut.
const QString LinesItem = QStringLiteral("RunLinesItem");

} // namespace

std::shared_ptr<Run> Run::create(std::shared_ptr<Task> task, std::shared_ptr<Pipe> output,
                                 std::shared_ptr<Pipe> error, std::string input,
                                 std::string outputName)
{
    const std::shared_ptr<Run> run(
        new Run(std::move(task), std::move(input), std::move(outputName)));
    run->follow(output, 0);
    run->follow(error, 1);
    Run *const raw = run.get();
    NotificationCenter::defaultCenter().addObserver(
        raw, [raw](const Notification &) { raw->onTerminated(); }, TaskDidTerminateNotification,
        run->m_task);
    return run;
}

Run::Run(std::shared_ptr<Task> task, std::string input, std::string outputName)
    : m_task(std::move(task))
    , m_input(std::move(input))
    , m_outputName(std::move(outputName))
    , m_outputCheck(OutputDatabaseCheck::before(m_input, m_outputName))
{}

Run::~Run()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void Run::follow(const std::shared_ptr<Pipe> &pipe, std::size_t stream)
{
    if (!pipe || !pipe->fileHandleForReading())
        return;
    m_pipes[stream] = pipe;
    m_streamOpen[stream] = true;
    // The lines are cut where the chunk is read; the assembler is the reading thread's alone.
    pipe->fileHandleForReading()->addChunkWork(
        LinesItem, [cutter = std::make_shared<LineCutter>()](const QByteArray &chunk) {
            return QVariant::fromValue(cutter->cut(chunk));
        });
    NotificationCenter::defaultCenter().addObserver(
        this, [this, stream](const Notification &n) { onRead(stream, n); },
        FileHandleReadCompletionNotification, pipe->fileHandleForReading());
}

void Run::begin()
{
    m_startedAt = std::chrono::system_clock::now();
    if (!m_ended)
        m_selfUntilEnded = shared_from_this();
}

void Run::onRead(std::size_t stream, const Notification &notification)
{
    // Whatever a subscriber does for a line, the run lasts until the chunk is done.
    const std::shared_ptr<Run> keep = weak_from_this().lock();
    const auto item = notification.userInfo.constFind(FileHandleNotificationDataItem);
    const QByteArray chunk =
        item != notification.userInfo.constEnd() ? item->toByteArray() : QByteArray();
    if (!chunk.isEmpty())
        Q_EMIT output(chunk);
    // Cut on the reading thread, or here for a chunk that came another way.
    const auto cut = notification.userInfo.constFind(LinesItem);
    std::shared_ptr<const ChunkLines> lines;
    if (cut != notification.userInfo.constEnd())
        lines = cut->value<std::shared_ptr<const ChunkLines>>();
    if (!lines) {
        if (!m_cutters[stream])
            m_cutters[stream] = std::make_unique<LineCutter>();
        lines = m_cutters[stream]->cut(chunk);
    }
    if (!lines->recognised.empty())
        Q_EMIT recognisedLines(lines->recognised);
    if (lines->count > 0)
        Q_EMIT this->lines(*lines);
    if (!chunk.isEmpty())
        return;
    // An empty chunk (or a failed read) is the end of the stream: its last line was completed.
    m_cutters[stream].reset();
    if (!m_streamOpen[stream])
        return;
    m_streamOpen[stream] = false;
    if (outputFinished())
        Q_EMIT outputEnded();
}

void Run::onTerminated()
{
    if (m_ended)
        return;
    m_ended = true;
    m_outputSaved = m_outputCheck.writtenSince();
    // Let go of its own reference only once everyone has heard of the end; the run may then
    // go at once, so nothing of it is touched afterwards.
    const std::shared_ptr<Run> self = std::move(m_selfUntilEnded);
    leaveEmergencyMode();
    Q_EMIT ended();
}

void Run::setEmergencyInput(std::shared_ptr<InputPipe> input)
{
    m_emergencyInput = std::move(input);
    if (!m_emergencyInput)
        return;
    // Queued: the pipe that failed is released by the leaving, which must not happen while it
    // is still emitting.
    connect(m_emergencyInput.get(), &InputPipe::failed, this, &Run::leaveEmergencyMode,
            Qt::QueuedConnection);
    connect(this, &Run::lines, this, [this](const ChunkLines &lines) {
        bool left = false;
        lines.forEachLine(
            [&left](std::string_view line) { left = left || leavesEmergencyMode(line); });
        if (left && m_emergencyInput)
            leaveEmergencyMode();
    });
}

bool Run::inEmergencyMode() const
{
    return m_emergencyInput && m_emergencyInput->isOpen() && !m_ended;
}

bool Run::sendInput(const QByteArray &bytes)
{
    return inEmergencyMode() && m_emergencyInput->write(bytes);
}

void Run::leaveEmergencyMode()
{
    if (!m_emergencyInput)
        return;
    // Nothing more is for the server to read: it reads /dev/null's end of input, as after
    // any other start.
    const std::shared_ptr<InputPipe> input = std::move(m_emergencyInput);
    input->close();
    Q_EMIT emergencyModeLeft();
}

} // namespace paddock
