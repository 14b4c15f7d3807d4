// SPDX-License-Identifier: MIT
#pragma once
// What the flood benchmarks share: the stand-in's flood, the plain reader they are measured
// against, processor time, the watch on the event loop's turns, and running a mode of the
// benchmark in a fresh child process of itself.

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <map>
#include <string>

namespace paddock::bench {

constexpr qint64 MiB = qint64(1) << 20;
/// What a mode prints, as key=value lines, read back by the parent.
using Figures = std::map<std::string, double>;

/// The stand-in's script for a flood of bytes, then a clean exit.
std::string floodScript(qint64 bytes);
/// Writes text to the file at path; false when it cannot.
bool writeText(const QString &path, const std::string &text);
/// Processor time this process has used, user and system: unlike the wall clock it hardly moves
/// with other work on the machine.
double cpuSeconds();
/// Processor time the calling thread has used.
double threadCpuSeconds();
/// Prints one figure for the parent.
void print(const std::string &key, double value);
/// Prints "met" or "NOT MET"; returns met.
bool verdict(bool met);
/// The load average's three figures, for the record.
std::string loadAverage();

/// Drains the stand-in's flood of bytes with plain blocking reads, in a pipe of the default
/// size or of 1 MiB, appending each read to a file when toFile; prints seconds, cpu_seconds and
/// bytes. The rate every ingestion is measured against. Returns the exit status.
int runPlainReader(qint64 bytes, bool largePipe, bool toFile);

/// Runs this program with arguments and returns what it printed; ends the benchmark, naming
/// the mode, when the child fails.
Figures measure(const QStringList &arguments);

/// Records the longest gap between turns of the event loop while started, by the wall clock and
/// by this thread's processor time: on a busy machine the first also counts the time others
/// ran, the second only the loop's own work.
class TurnGaps final {
public:
    TurnGaps();
    void start();
    void stop() { m_turns.stop(); }
    double longestMs() const { return double(m_longest) / 1e6; }
    double longestCpuMs() const { return m_longestCpu * 1e3; }

private:
    QTimer m_turns;
    QElapsedTimer m_sinceTurn;
    qint64 m_longest = 0;
    double m_turnCpu = 0, m_longestCpu = 0;
};

} // namespace paddock::bench
