// SPDX-License-Identifier: MIT
#pragma once

#include "HeldFolder.h"

#include <cstdint>
#include <functional>
#include <string>

namespace paddock {

/// Makes every compression, decompression and copy still running stop at its next chunk and
/// throw RotationError, leaving the files whole for a later recovery: Paddock is ending, and
/// must not linger with its window gone. Lasts for the rest of the process.
void cancelArchiveWork();
/// Whether cancelArchiveWork() was called.
bool archiveWorkCancelled();

/// Compresses source into target with zstd, giving it source's modification time and fsyncing
/// it. target must not exist (a link neither); a failure removes it again. Throws
/// RotationError, whose error() is the errno of a failed write (ENOSPC on a full disk).
void compressFile(const FolderFile &source, const FolderFile &target);
/// The same from the file open as in (read from its start), named sourcePath in messages.
void compressFile(int in, const std::string &sourcePath, const FolderFile &target);
/// Decompresses the zstd file source into target, which must not exist yet: written under
/// <target>.part (created new), fsynced, given source's modification time, then renamed without
/// replacing anything. Throws RotationError; a failure leaves no part behind.
void decompressFile(const FolderFile &source, const FolderFile &target);
/// Whether compressed decompresses to exactly the bytes of original; throws RotationError when
/// either cannot be read.
bool decompressesTo(const FolderFile &compressed, const FolderFile &original);
/// The same against the file open as original (read from its start).
bool decompressesTo(const FolderFile &compressed, int original, const std::string &originalPath);
/// Whether two files hold the same bytes; throws RotationError when either cannot be read.
bool sameBytes(const FolderFile &a, const FolderFile &b);
/// Told the bytes copied so far after each chunk of a copy; it may throw to stop the copy.
using CopyProgress = std::function<void(std::uint64_t copied)>;
/// Copies source to target, which must not exist, fsyncing it; throws RotationError (or what
/// progress throws), and a failure removes target again.
void copyFile(const FolderFile &source, const FolderFile &target,
              const CopyProgress &progress = {});

/// The same for files given by path, in folders the user chose: a link in the folders' paths
/// is followed, a link at the files' names never.
void compressFile(const std::string &source, const std::string &target);
void decompressFile(const std::string &source, const std::string &target);
bool decompressesTo(const std::string &compressed, const std::string &original);

} // namespace paddock
