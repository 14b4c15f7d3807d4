// SPDX-License-Identifier: MIT
#include "Run.h"

#include "EmergencyMode.h"
#include "FileHandle.h"
#include "InputPipe.h"
#include "LineBatch.h"
#include "NotificationCenter.h"
#include "Pipe.h"
#include "ServerLogLines.h"

namespace paddock {

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
    if (!m_assemblers[stream])
        m_assemblers[stream] = std::make_unique<LineAssembler>();
    // A line the assembler put together from earlier reads lives only during its call, so it
    // is told at once (it is the read's first line, so the order holds).
    const std::string_view bytes(chunk.constData(), size_t(chunk.size()));
    LineBatch batch(
        [this](std::span<const RecognisedLine> recognised) { Q_EMIT recognisedLines(recognised); },
        [this](std::span<const std::string_view> texts) { Q_EMIT lines(texts); });
    m_assemblers[stream]->push(bytes, [&](std::string_view text) {
        if (text.data() < bytes.data() || text.data() + text.size() > bytes.data() + bytes.size())
            return batch.tellAlone(text);
        batch.add(text);
    });
    batch.tell();
    if (!chunk.isEmpty())
        return;
    // An empty chunk (or a failed read) is the end of the stream: its last line is complete.
    m_assemblers[stream]->finish([&](std::string_view text) { batch.tellAlone(text); });
    m_assemblers[stream].reset();
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
    connect(this, &Run::lines, this, [this](std::span<const std::string_view> texts) {
        for (const std::string_view text : texts)
            if (m_emergencyInput && leavesEmergencyMode(text))
                return leaveEmergencyMode();
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
