// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace paddock {

/// Makes every compression, decompression and copy still running stop at its next chunk and
/// throw RotationError, leaving the files whole for a later recovery: Paddock is ending, and
/// must not linger with its window gone. Lasts for the rest of the process.
void cancelArchiveWork();

/// Compresses source into target with zstd, fsyncing target and giving it source's modification
/// time; throws RotationError.
void compressFile(const std::string &source, const std::string &target);
/// Decompresses the zstd file source into target, which must not exist yet: written under
/// <target>.part (created new), fsynced, given source's modification time, then renamed without
/// replacing anything. Throws RotationError; a failure leaves no part behind.
void decompressFile(const std::string &source, const std::string &target);
/// Whether compressed decompresses to exactly the bytes of original; throws RotationError when
/// either cannot be read.
bool decompressesTo(const std::string &compressed, const std::string &original);
/// Whether two files hold the same bytes; throws RotationError when either cannot be read.
bool sameBytes(const std::string &a, const std::string &b);
/// Copies source to target (created new), fsyncing it; throws RotationError.
void copyFile(const std::string &source, const std::string &target);
/// Flushes a folder's entries to disk, so a rename in it survives a power cut.
void syncFolder(const std::string &folder);

} // namespace paddock
