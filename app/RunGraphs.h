// SPDX-License-Identifier: MIT
#pragma once

#include "ResponsivenessJudge.h"

#include <QWidget>

#include <chrono>
#include <optional>
#include <vector>

namespace paddock {

/// A picture of the run: the server's processor use, its memory and the players online, one
/// small graph each over the whole run, so a leak or a busy loop is seen, not read. Painted
/// from the samples it is given; the oldest points are merged in pairs when the graph is full,
/// so a run of weeks fits in bounded memory. Its accessible description says the current and
/// peak values in words.
class RunGraphs final : public QWidget {
    Q_OBJECT
public:
    /// The most points a graph keeps; beyond them two neighbours become one.
    static constexpr std::size_t MaxPoints = 512;

    explicit RunGraphs(QWidget *parent = nullptr);

    /// Forgets the samples, as at the start of a run.
    void clear();
    /// The run ended: the graphs stay, and the summary tells its peaks.
    void endRun();
    /// Takes a sample of the server taken at at; one of an ended process is ignored.
    void addSample(std::chrono::steady_clock::time_point at, const ProcessSample &sample);
    /// The players online from now on. Until it is first called, no players graph is drawn.
    void setPlayerCount(int players);

    /// Current and peak of each graph, in words.
    QString summary() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Point {
        double cpuPercent = 0;
        double memoryMiB = 0;
        double players = 0;
    };
    static Point largest(const Point &a, const Point &b);
    void append(const Point &point);
    void updateSummary();

    std::vector<Point> m_points;
    Point m_pending;           // samples not yet a whole point
    int m_pendingCount = 0;    // how many samples m_pending merges
    int m_samplesPerPoint = 1; // doubles each time the graph fills
    Point m_current, m_peak;
    bool m_playersKnown = false;
    bool m_ended = false;
    std::optional<std::chrono::steady_clock::time_point> m_lastAt;
    std::chrono::milliseconds m_lastCpu{0};
};

} // namespace paddock
