// SPDX-License-Identifier: MIT
#include "LogLineFilter.h"

#include "LogCharacters.h"
#include "LogLineIndex.h"

#include <algorithm>

namespace paddock {

LogLineFilter::LogLineFilter(const LogLineCriteria &criteria)
    : m_criteria(criteria)
    , m_scan(criteria)
{}

bool LogLineFilter::extend(const LogText &text, qsizetype limit, qsizetype budget)
{
    if (!std::exchange(m_started, true))
        m_scan.startAt(text, 0);
    return m_scan.advance(text, limit, budget, [&](qsizetype start, qsizetype end) {
        // Split as the view splits rows, so that each row here is one of its rows.
        addRow(start);
        while (end - start > LogLineIndex::MaxRowLength) {
            start = LogCharacters::rowCut(text, start + LogLineIndex::MaxRowLength);
            addRow(start);
        }
        return true;
    });
}

void LogLineFilter::addRow(qsizetype start)
{
    const qsizetype high = start >> 32;
    if (m_highs.empty() || m_highs.back().second != high)
        m_highs.emplace_back(rowCount(), high);
    m_low.push_back(std::uint32_t(start));
}

qsizetype LogLineFilter::rowStart(qsizetype row) const
{
    const auto after =
        std::upper_bound(m_highs.begin(), m_highs.end(), row,
                         [](qsizetype number, const std::pair<qsizetype, qsizetype> &run) {
                             return number < run.first;
                         });
    return (std::prev(after)->second << 32) | qsizetype(m_low[size_t(row)]);
}

qsizetype LogLineFilter::rowOf(qsizetype position) const
{
    // Row starts grow with row numbers: the last one at or before position.
    qsizetype low = 0, high = rowCount();
    while (high - low > 1) {
        const qsizetype middle = low + (high - low) / 2;
        if (rowStart(middle) <= position)
            low = middle;
        else
            high = middle;
    }
    return low;
}

} // namespace paddock
