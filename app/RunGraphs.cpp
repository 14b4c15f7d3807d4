// SPDX-License-Identifier: MIT
#include "RunGraphs.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <functional>

namespace paddock {

RunGraphs::RunGraphs(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("runGraphs"));
    setAccessibleName(tr("Server graphs"));
    setMinimumSize(160, 120);
    updateSummary();
}

QSize RunGraphs::sizeHint() const
{
    return {320, 240};
}

void RunGraphs::clear()
{
    // The players online carry over: the count follows the log, not the samples.
    const double players = m_current.players;
    m_points.clear();
    m_pending = m_current = m_peak = {};
    m_current.players = m_peak.players = players;
    m_pendingCount = 0;
    m_samplesPerPoint = 1;
    m_lastAt.reset();
    m_lastCpu = {};
    m_ended = false;
    updateSummary();
    update();
}

void RunGraphs::addSample(std::chrono::steady_clock::time_point at, const ProcessSample &sample)
{
    if (sample.state == 'X' || sample.state == 'Z')
        return;
    Point point = m_current;
    point.memoryMiB = double(sample.residentBytes) / (1024.0 * 1024.0);
    point.cpuPercent = 0;
    if (m_lastAt && at > *m_lastAt) {
        const std::chrono::duration<double> used = sample.cpu - m_lastCpu;
        point.cpuPercent =
            100.0 * used.count() / std::chrono::duration<double>(at - *m_lastAt).count();
    }
    m_lastAt = at;
    m_lastCpu = sample.cpu;
    m_current = point;
    append(point);
}

void RunGraphs::setPlayerCount(int players)
{
    m_playersKnown = true;
    m_current.players = players;
    m_peak.players = std::max(m_peak.players, double(players));
    updateSummary();
    update();
}

void RunGraphs::append(const Point &point)
{
    m_peak = largest(m_peak, point);
    // A point stands for its samples' largest values: a short spike stays in sight.
    m_pending = m_pendingCount == 0 ? point : largest(m_pending, point);
    if (++m_pendingCount == m_samplesPerPoint) {
        m_points.push_back(m_pending);
        m_pendingCount = 0;
    }
    if (m_points.size() == MaxPoints) {
        for (std::size_t i = 0; i < MaxPoints / 2; ++i)
            m_points[i] = largest(m_points[2 * i], m_points[2 * i + 1]);
        m_points.resize(MaxPoints / 2);
        m_samplesPerPoint *= 2;
    }
    updateSummary();
    update();
}

void RunGraphs::endRun()
{
    m_ended = true;
    updateSummary();
}

QString RunGraphs::summary() const
{
    if (!m_lastAt)
        return tr("No server is running.");
    if (m_ended) {
        QString text = tr("The last run peaked at %1% of a processor and %2 MiB of memory.")
                           .arg(qRound(m_peak.cpuPercent))
                           .arg(m_peak.memoryMiB, 0, 'f', 1);
        if (m_playersKnown)
            text += QLatin1Char(' ') + tr("Players peaked at %1.").arg(int(m_peak.players));
        return text;
    }
    QString text = tr("Processor: %1% now, peak %2%. Memory: %3 MiB now, peak %4 MiB.")
                       .arg(qRound(m_current.cpuPercent))
                       .arg(qRound(m_peak.cpuPercent))
                       .arg(m_current.memoryMiB, 0, 'f', 1)
                       .arg(m_peak.memoryMiB, 0, 'f', 1);
    if (m_playersKnown)
        text +=
            QLatin1Char(' ') +
            tr("Players: %1 now, peak %2.").arg(int(m_current.players)).arg(int(m_peak.players));
    return text;
}

void RunGraphs::updateSummary()
{
    const QString text = summary();
    setAccessibleDescription(text);
    setToolTip(text);
}

void RunGraphs::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    struct Graph {
        QString title;
        std::function<double(const Point &)> value;
        double top; // the value at the graph's top edge
    };
    std::vector<Graph> graphs = {
        {tr("Processor %1%").arg(qRound(m_current.cpuPercent)),
         [](const Point &p) { return p.cpuPercent; }, std::max(100.0, m_peak.cpuPercent)},
        {tr("Memory %1 MiB").arg(m_current.memoryMiB, 0, 'f', 1),
         [](const Point &p) { return p.memoryMiB; }, std::max(1.0, m_peak.memoryMiB * 1.1)},
    };
    if (m_playersKnown)
        graphs.push_back({tr("Players %1").arg(int(m_current.players)),
                          [](const Point &p) { return p.players; },
                          std::max(4.0, m_peak.players + 1)});
    const QFontMetrics metrics(font());
    const int band = height() / int(graphs.size());
    for (std::size_t g = 0; g < graphs.size(); ++g) {
        const Graph &graph = graphs[g];
        const QRect area(4, int(g) * band + metrics.height() + 2, width() - 8,
                         band - metrics.height() - 8);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QPoint(4, int(g) * band + metrics.ascent()), graph.title);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(area);
        if (m_points.size() < 2 || area.height() <= 0)
            continue;
        QPainterPath line;
        const double step = double(area.width()) / double(MaxPoints - 1);
        for (std::size_t i = 0; i < m_points.size(); ++i) {
            const double share = std::clamp(graph.value(m_points[i]) / graph.top, 0.0, 1.0);
            const QPointF at(area.left() + step * double(i), area.bottom() - share * area.height());
            if (i == 0)
                line.moveTo(at);
            else
                line.lineTo(at);
        }
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        painter.drawPath(line);
    }
}

RunGraphs::Point RunGraphs::largest(const Point &a, const Point &b)
{
    return {std::max(a.cpuPercent, b.cpuPercent), std::max(a.memoryMiB, b.memoryMiB),
            std::max(a.players, b.players)};
}

} // namespace paddock
