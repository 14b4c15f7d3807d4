// SPDX-License-Identifier: MIT
#pragma once

namespace paddock {

/// Renames from in folder fromFolder to to in folder toFolder (directory descriptors; names
/// are looked up in them alone), never replacing anything at to, not even a link. Returns 0
/// or the errno value: EEXIST when to is taken. Where the file system has no
/// RENAME_NOREPLACE, a hard link takes its place (it never replaces either), then from goes;
/// if from cannot be removed, that errno is returned and both names remain, never a loss.
/// A file system without hard links either is refused: a look-then-rename could replace a
/// file made in between.
int renameNoReplace(int fromFolder, const char *from, int toFolder, const char *to);

} // namespace paddock
