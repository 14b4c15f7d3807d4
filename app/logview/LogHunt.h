// SPDX-License-Identifier: MIT
#pragma once

#include "LogLineScan.h"
#include "LogText.h"

#include <QString>

#include <memory>

namespace paddock {

/// One search for one match in a log, from an origin onwards (or backwards), wrapping around
/// once; it does a stretch of work at a time, so that a caller on the event loop can let the
/// window run between stretches however long the log. It reads the text it was given, up to
/// the limit it was given: a log that grows meanwhile changes nothing it finds.
class LogHunt final {
public:
    struct Match {
        qsizetype start = -1;
        qsizetype end = -1;
        bool wrapped = false; // found on the far side of the origin
        bool found() const { return start >= 0; }
    };
    /// How a hunt looks through one part of the log (see LogHunt.cpp).
    class Seeker;

    /// Looks for needle as Find finds it (see LogSearch), in matches that end by limit: the
    /// first starting at or after origin, else the first of all; backwards, the last starting
    /// before origin, else the last of all.
    static std::unique_ptr<LogHunt> forText(LogTextPtr text, const QString &needle,
                                            bool caseSensitive, bool backwards, qsizetype origin,
                                            qsizetype limit);
    /// Looks for a complete line before limit that matches criteria (see LogLineScan): the
    /// first starting at or after origin (a line start), else the first of all; backwards, the
    /// last starting before origin, else the last of all. A match runs to the line's newline.
    static std::unique_ptr<LogHunt> forLines(LogTextPtr text, const LogLineCriteria &criteria,
                                             bool backwards, qsizetype origin, qsizetype limit);
    ~LogHunt();
    LogHunt(const LogHunt &) = delete;
    LogHunt &operator=(const LogHunt &) = delete;

    /// Searches on through about budget bytes (twice that where it wraps around). Returns
    /// true once the hunt is over; result() then tells what it found.
    bool advance(qsizetype budget);
    /// The match, once the hunt is over; none when nothing matched.
    Match result() const { return m_result; }
    bool isBackwards() const { return m_backwards; }

private:
    LogHunt(LogTextPtr text, std::unique_ptr<Seeker> seeker, bool backwards, qsizetype origin,
            qsizetype limit);
    void seekPart();

    LogTextPtr m_text;
    std::unique_ptr<Seeker> m_seeker;
    bool m_backwards;
    qsizetype m_limit;
    qsizetype m_origin;
    bool m_wrapped = false; // looking on the far side of the origin
    bool m_over = false;
    Match m_result;
};

} // namespace paddock
