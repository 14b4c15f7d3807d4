// SPDX-License-Identifier: MIT
#include "LogHunt.h"

#include "LogSearch.h"

#include <algorithm>

namespace paddock {

/// Looks through the matches starting in one part of the log, [low, high), for the first
/// (backwards: the last), a stretch at a time.
class LogHunt::Seeker {
public:
    virtual ~Seeker() = default;
    /// Starts over on the part [low, high).
    virtual void reset(const LogText &text, qsizetype low, qsizetype high) = 0;
    /// Looks on through about budget bytes. Returns true once the part is done: found then
    /// holds its match, if it has one.
    virtual bool advance(const LogText &text, qsizetype budget, Match &found) = 0;
};

namespace {

using Match = LogHunt::Match;

// How far back a backward look through lines reads at a time.
constexpr qsizetype BackwardWindow = qsizetype(1) << 20;

// Find's matches: forward a stretch of the part at a time, backward a window at a time.
class TextSeeker final : public LogHunt::Seeker {
public:
    TextSeeker(const QString &needle, bool caseSensitive, bool backwards, qsizetype limit)
        : m_search(needle, caseSensitive)
        , m_backwards(backwards)
        , m_limit(limit)
    {}
    void reset(const LogText &, qsizetype low, qsizetype high) override
    {
        m_low = low;
        m_high = high;
    }
    bool advance(const LogText &text, qsizetype budget, Match &found) override
    {
        LogSearch::Match match;
        if (m_backwards) {
            const qsizetype low = std::max(m_low, m_high - budget);
            match = m_search.last(text, low, m_high, m_limit);
            m_high = low;
        } else {
            const qsizetype high = std::min(m_high, m_low + budget);
            match = m_search.first(text, m_low, high, m_limit);
            m_low = high;
        }
        found = {match.start, match.end};
        return match.found() || m_low >= m_high;
    }

private:
    LogSearch m_search;
    bool m_backwards;
    qsizetype m_limit;
    qsizetype m_low = 0;
    qsizetype m_high = 0;
};

// Whole matching lines: forward one scan through the part, backward a window of lines at a
// time, each scanned from its first line for the last match in it.
class LineSeeker final : public LogHunt::Seeker {
public:
    LineSeeker(const LogLineCriteria &criteria, bool backwards)
        : m_scan(criteria)
        , m_backwards(backwards)
    {}
    void reset(const LogText &text, qsizetype low, qsizetype high) override
    {
        m_high = high;
        if (m_backwards)
            m_low = std::max(low, text.begin());
        else
            m_scan.startAt(text, low);
    }
    bool advance(const LogText &text, qsizetype budget, Match &found) override
    {
        if (!m_backwards) {
            const bool done =
                m_scan.advance(text, m_high, budget, [&found](qsizetype start, qsizetype end) {
                    found = {start, end};
                    return false;
                });
            return done || found.found();
        }
        for (qsizetype read = 0; m_high > m_low && read < budget;) {
            const qsizetype low =
                std::max(m_low, lineStartOf(text, std::max(m_low, m_high - BackwardWindow)));
            m_scan.startAt(text, low);
            m_scan.advance(text, m_high, m_high, [&found](qsizetype start, qsizetype end) {
                found = {start, end};
                return true;
            });
            read += m_high - low;
            m_high = low;
            if (found.found())
                return true;
        }
        return m_high <= m_low;
    }

private:
    LogLineScan m_scan;
    bool m_backwards;
    qsizetype m_low = 0;
    qsizetype m_high = 0;
};

} // namespace

std::unique_ptr<LogHunt> LogHunt::forText(LogTextPtr text, const QString &needle,
                                          bool caseSensitive, bool backwards, qsizetype origin,
                                          qsizetype limit)
{
    return std::unique_ptr<LogHunt>(new LogHunt(
        std::move(text), std::make_unique<TextSeeker>(needle, caseSensitive, backwards, limit),
        backwards, origin, limit));
}

std::unique_ptr<LogHunt> LogHunt::forLines(LogTextPtr text, const LogLineCriteria &criteria,
                                           bool backwards, qsizetype origin, qsizetype limit)
{
    return std::unique_ptr<LogHunt>(new LogHunt(std::move(text),
                                                std::make_unique<LineSeeker>(criteria, backwards),
                                                backwards, origin, limit));
}

LogHunt::LogHunt(LogTextPtr text, std::unique_ptr<Seeker> seeker, bool backwards, qsizetype origin,
                 qsizetype limit)
    : m_text(std::move(text))
    , m_seeker(std::move(seeker))
    , m_backwards(backwards)
    , m_limit(std::clamp<qsizetype>(limit, 0, m_text->length()))
    , m_origin(std::clamp<qsizetype>(origin, 0, m_limit))
{
    seekPart();
}

LogHunt::~LogHunt() = default;

void LogHunt::seekPart()
{
    // Forward: from the origin to the limit, then from the top to the origin. Backward: from
    // the origin to the top, then from the limit down to the origin.
    const bool belowOrigin = m_backwards != m_wrapped;
    m_seeker->reset(*m_text, belowOrigin ? 0 : m_origin, belowOrigin ? m_origin : m_limit);
}

bool LogHunt::advance(qsizetype budget)
{
    budget = std::max<qsizetype>(budget, 1);
    while (!m_over) {
        Match found;
        const bool done = m_seeker->advance(*m_text, budget, found);
        if (found.found()) {
            m_result = found;
            m_result.wrapped = m_wrapped;
            m_over = true;
        } else if (!done) {
            return false;
        } else if (m_wrapped) {
            m_over = true;
        } else {
            m_wrapped = true;
            seekPart();
        }
    }
    return true;
}

} // namespace paddock
