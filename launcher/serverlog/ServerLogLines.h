// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace paddock {

/// What a line of a MOO server's log reports, as far as supervision cares.
enum class ServerLogKind {
    Other,               // anything else the server says
    Listening,           // a listener opened: port holds the port
    CheckpointStarted,   // "CHECKPOINTING on NAME.#N# ..."
    CheckpointFinished,  // "CHECKPOINTING on NAME.#N# finished"
    CheckpointAbandoned, // "Abandoning checkpoint attempt..."
    DumpStarted,         // "DUMPING on NAME.#N# ..." (the shutdown dump)
    DumpFinished,        // "DUMPING on NAME.#N# finished"
    DumpRetrying,        // "Waiting N seconds and retrying dump..."
    Panic,               // "PANIC: ..." or "PANIC-DUMPING on NAME.PANIC ..."
    Shutdown,            // "SHUTDOWN: ..."
    Loading,             // "LOADING: ..." while the database is read, before any LISTEN
    ListenFailed,        // "LISTEN: ..." that announces no port, or a failure to bind one
    Accepted,            // "ACCEPT: #-N on port P from HOST, port Q": a connection, no login yet
    Connected,           // "CONNECTED: NAME (#N) on ...": a login
    Created,             // "CREATED: NAME (#N) on ...": a login as a new player
    Redirected,          // "REDIRECTED: NAME (#N), was ..., now ...": the same login moved
    Disconnected,        // "DISCONNECTED: NAME (#N) on ...": the server closed it
    ClientDisconnected,  // "CLIENT DISCONNECTED: ... on ...": the client closed it
};

/// Whether kind is one of the connection lines, from Accepted to ClientDisconnected.
constexpr bool isConnectionKind(ServerLogKind kind)
{
    return kind >= ServerLogKind::Accepted && kind <= ServerLogKind::ClientDisconnected;
}

/// One recognised line. Views point into the line that was recognised.
struct ServerLogLine {
    ServerLogKind kind = ServerLogKind::Other;
    /// The severity mark without its space ("*** ", "!!! ", "### ", "> " give "***" ...);
    /// empty when the line carries none.
    std::string_view mark;
    /// The message after the time stamp and the mark.
    std::string_view text;
    /// The time stamp without its ": " ("Jul  7 10:31:02"); empty when the line has none.
    std::string_view stamp;
    /// The port a Listening line names, or the one a connection line's connection came in
    /// on; 0 otherwise.
    int port = 0;
    /// Connection lines (Accepted to ClientDisconnected): the player's name as logged, empty
    /// for a connection not logged in ("#-3"); its object number; where the connection comes
    /// from as logged ("localhost", "host [10.0.0.1]"), and that end's port. A REDIRECTED
    /// line gives the connection it moved to.
    std::string_view player;
    long long object = 0;
    std::string_view host;
    int remotePort = 0;
    /// The file a checkpoint or dump line names, as logged ("castle.db.#3#", "castle.db.PANIC").
    std::string_view dumpName;
    /// The database that file becomes: dumpName without a trailing ".#N#".
    std::string_view database;

    /// Whether the line reports an error: marked "***" or "!!!", or naming an error.
    bool isError() const;
    /// Whether the line is anything to whoever follows a server: of a kind, marked or an error.
    bool isNoteworthy() const { return kind != ServerLogKind::Other || !mark.empty() || isError(); }
};

/// A noteworthy line as a run hands it to its followers: the line as recognised (without
/// colours, without its line end) and what it reports, whose views point into it.
struct RecognisedLine {
    std::string_view text;
    ServerLogLine line;
};

/// A raw line's stamp, severity mark and message as the recogniser cuts them (as in
/// ServerLogLine), from its first bytes alone.
struct LogLineParts {
    std::string_view stamp;
    std::string_view mark;
    std::string_view text;
};
LogLineParts logLineParts(std::string_view line);

/// Whether an escape byte lies among a raw line's first bytes (stamp, mark and the message's
/// first byte): a coloured line, whose parts only its text without colours tells.
bool hasColouredOpening(std::string_view line);

/// Recognises one line (without its line end) in the LambdaMOO and ToastStunt formats: an
/// optional "Mon DD HH:MM:SS: " stamp, an optional severity mark, then the message.
ServerLogLine recogniseServerLogLine(std::string_view line);

/// Whether a message (past its stamp) that begins with this byte may be marked or of a
/// recognised kind: one that begins otherwise, and holds neither an escape nor "error", is
/// never noteworthy.
inline bool isRecognisedOpening(char first)
{
    static constexpr std::array<bool, 256> openings = [] {
        std::array<bool, 256> table{};
        for (const char c : std::string_view("*!#>LCDPAWSR"))
            table[static_cast<unsigned char>(c)] = true;
        return table;
    }();
    return openings[static_cast<unsigned char>(first)];
}

/// Whether a raw line may be noteworthy once recognised without its colours. False only for a
/// line recogniseServerLogLine(withoutColours(line)) gives kind Other, no mark and no error:
/// most lines of a busy server, skipped at the cost of a glance at their first bytes and a
/// scan for "error".
bool mayBeRecognised(std::string_view line);

/// Recognises a raw line (colours and all) as a run does for its followers: a glance that
/// turns most lines away, then the parser over the line without its colours. None for a line
/// that is not noteworthy. Nothing is allocated unless the line holds colours, whose cleaned
/// bytes go to scratch, which the result then points into.
std::optional<RecognisedLine> recogniseNoteworthyLine(std::string_view line, std::string &scratch);

/// The line without ANSI control sequences ("ESC [ ... letter"), which a server writes
/// instead of severity marks when its output is a terminal. Returns line itself when it holds
/// no escape byte (no copy); otherwise the cleaned bytes, kept in scratch.
std::string_view withoutColours(std::string_view line, std::string &scratch);

/// A line without the "\r" that ends it, if any: a line end may be "\r\n".
inline std::string_view withoutCarriageReturn(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

/// Cuts a byte stream that arrives in arbitrary chunks into lines. A line longer than the
/// limit is cut at the limit and the rest of it up to its line end dropped, so memory stays
/// bounded whatever the server writes. Lines a chunk holds whole are handed over as views
/// into the chunk: only the unfinished line at a chunk's end is copied.
class LineAssembler final {
public:
    /// limit: the most bytes kept of one line (at least 1).
    explicit LineAssembler(std::size_t limit = 4096);

    /// The most bytes kept of one line.
    std::size_t limit() const { return m_limit; }

    /// Appends chunk; calls visit(std::string_view) with each line it completes, in order,
    /// without "\n" or a trailing "\r"; the view is valid during the call.
    template <typename Visit> void push(std::string_view chunk, Visit &&visit)
    {
        const char *at = chunk.data();
        const char *const end = at + chunk.size();
        while (at < end) {
            const auto *newline =
                static_cast<const char *>(std::memchr(at, '\n', size_t(end - at)));
            const std::string_view piece(at, size_t((newline ? newline : end) - at));
            if (const std::optional<std::string_view> line = take(piece, newline != nullptr))
                visit(*line);
            if (!newline)
                break;
            at = newline + 1;
        }
    }
    /// Calls visit with the unfinished last line (at the end of the stream), if any; clears it.
    template <typename Visit> void finish(Visit &&visit)
    {
        if (const std::optional<std::string_view> line = takeUnfinished())
            visit(*line);
    }

private:
    // Takes the piece of a chunk up to its next line end (ended) or the chunk's end; returns
    // the line it completes, if any, valid until the next call.
    std::optional<std::string_view> take(std::string_view piece, bool ended)
    {
        // Nearly every line: whole within its chunk, and within the limit.
        if (ended && m_pending.empty() && !m_dropping && piece.size() <= m_limit)
            return withoutCarriageReturn(piece);
        return takeCarriedOver(piece, ended);
    }
    std::optional<std::string_view> takeCarriedOver(std::string_view piece, bool ended);
    std::optional<std::string_view> takeUnfinished();
    // The line m_pending followed by rest, unless it is being dropped; ended: at its line end
    // (a trailing "\r" is then no part of it), not cut at the limit. Clears the pending line.
    std::optional<std::string_view> complete(std::string_view rest, bool ended);

    std::size_t m_limit;
    std::string m_pending;
    std::string m_completed; // the last line put together from pieces, while it is handed over
    bool m_dropping = false; // the current line passed the limit: skip to its end
};

} // namespace paddock
