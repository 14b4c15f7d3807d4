// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <QString>

namespace paddock {

/// A held string: identity is the pointer, contents are the operating system's bytes.
using String = std::shared_ptr<const std::string>;

/// A new string object holding a copy of bytes.
inline String makeString(std::string_view bytes)
{
    return std::make_shared<const std::string>(bytes);
}

/// The last component of a "/"-separated path: the file name without its folder.
std::string lastPathComponent(std::string_view path);

/// The path without its last component; "/" for a file directly in the root folder,
/// "." for a bare name.
std::string deletingLastPathComponent(std::string_view path);

/// path made absolute against the working folder and cleaned of ".", ".." and repeated "/",
/// by its bytes alone: no link is resolved, and a name that is not UTF-8 stays as it is.
std::string absolutePath(std::string_view path);

/// The absolute, clean path of the folder that path lies in.
std::string folderOf(std::string_view path);

/// Bytes of a path as text for display; bytes that are not UTF-8 are shown, not lost.
QString displayPath(std::string_view bytes);

/// Bytes of a path as text in which every byte can be seen and told apart: control and format
/// characters, line separators and bytes that are not UTF-8 are written as escapes (\n, \t,
/// \r, \xNN, \u{NNNN}), and a backslash as \\, so a name holding a newline is never shown
/// as another name.
QString visiblePath(std::string_view bytes);

/// Bytes of a path from text the toolkit handed us (a file dialog, a line edit).
std::string pathBytes(const QString &text);

} // namespace paddock
