// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>

namespace paddock {

/// A contiguous run of a log text's bytes together with what holds them (a block in memory, a
/// window read from a log file): the bytes stay valid as long as the piece, or a copy of it,
/// lives, whatever is appended or read meanwhile.
class LogPiece final {
public:
    LogPiece() = default;
    LogPiece(std::string_view bytes, std::shared_ptr<const void> keepAlive)
        : m_bytes(bytes)
        , m_keepAlive(std::move(keepAlive))
    {}

    /// The bytes, valid while this piece lives.
    std::string_view bytes() const & { return m_bytes; }
    /// Not on a temporary piece: its bytes would be released with it.
    std::string_view bytes() const && = delete;
    std::size_t size() const { return m_bytes.size(); }
    bool empty() const { return m_bytes.empty(); }

    /// This piece cut to its first count bytes (all of them if it is shorter).
    LogPiece &truncate(std::size_t count)
    {
        m_bytes = m_bytes.substr(0, count);
        return *this;
    }

private:
    std::string_view m_bytes;
    std::shared_ptr<const void> m_keepAlive;
};

} // namespace paddock
