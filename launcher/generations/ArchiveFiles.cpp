// SPDX-License-Identifier: MIT
#include "ArchiveFiles.h"

#include "DescriptorIo.h"
#include "RotationError.h"
#include "String.h"
#include "UniqueFd.h"

#include <QCoreApplication>

#include <zstd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace paddock {

namespace {

// A sentence of this file, translated, with the file's name (and what went wrong) filled in.
[[noreturn]] void fail(const char *sentence, const std::string &path, int error = 0)
{
    throw RotationError(
        QCoreApplication::translate("ArchiveFiles", sentence).arg(displayPath(path)).toStdString(),
        error);
}

[[noreturn]] void fail(const char *sentence, const std::string &path, std::string_view detail)
{
    throw RotationError(
        QCoreApplication::translate("ArchiveFiles", sentence)
            .arg(displayPath(path), QString::fromUtf8(detail.data(), qsizetype(detail.size())))
            .toStdString());
}

constexpr size_t ChunkSize = 1 << 20;

std::atomic<bool> cancelled{false};

// An archive keeps the time its database was last written, whatever form it takes, so the
// newest database can still be told by its time.
void keepModificationTime(int from, int to, const std::string &path)
{
    struct stat st;
    if (::fstat(from, &st) != 0)
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot read"), path, errno);
    const struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    if (::futimens(to, times) != 0)
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot write"), path, errno);
}

// Runs write, which writes into target (created new) from here on; target goes again when it
// fails, or the file system would stay as full as it made it.
template <typename Write> void writeNew(const FolderFile &target, Write write)
{
    UniqueFd out = target.folder.createNew(target.name);
    try {
        write(out);
    } catch (...) {
        out.reset();
        ::unlinkat(target.folder.fd(), target.name.c_str(), 0);
        throw;
    }
}

// Reads up to size bytes, fewer only at the end of the file.
size_t readFully(int fd, char *data, size_t size, const std::string &path)
{
    // Every loop over a file reads it a chunk at a time: the place to notice the end.
    if (cancelled.load(std::memory_order_relaxed))
        fail(QT_TRANSLATE_NOOP("ArchiveFiles",
                               "Stopped, as Paddock is ending: “%1” is left for later."),
             path);
    const ReadOutcome read = paddock::readFully(fd, data, size);
    if (read.error)
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot read"), path, read.error);
    return read.bytes;
}

void writeFully(int fd, const char *data, size_t size, const std::string &path)
{
    if (!writeAll(fd, std::string_view(data, size)))
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot write"), path, errno);
}

void syncAndClose(UniqueFd fd, const std::string &path)
{
    if (::fsync(fd.get()) != 0)
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot write"), path, errno);
    if (::close(fd.release()) != 0 && errno != EINTR)
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot write"), path, errno);
}

struct CctxFree {
    void operator()(ZSTD_CCtx *c) const { ZSTD_freeCCtx(c); }
};
struct DctxFree {
    void operator()(ZSTD_DCtx *d) const { ZSTD_freeDCtx(d); }
};

// Data that is not a whole zstd stream, with zstd's reason.
struct NotZstd {
    const char *reason;
};

// Decompresses the file open as in, handing each decompressed piece to take, which returns
// false to stop early. Returns whether the stream ended with a whole frame; throws NotZstd for
// data that is not zstd, RotationError when the file cannot be read.
bool decompressPieces(int in, const std::string &source,
                      const std::function<bool(const char *, size_t)> &take)
{
    std::unique_ptr<ZSTD_DCtx, DctxFree> dctx(ZSTD_createDCtx());
    if (!dctx)
        fail(QT_TRANSLATE_NOOP("ArchiveFiles", "Cannot decompress “%1”: out of memory"), source);
    std::vector<char> inBuf(ZSTD_DStreamInSize()), outBuf(ZSTD_DStreamOutSize());
    size_t frameLeft = 1;
    // A full output buffer may leave decompressed bytes inside the context: call again until
    // it has room to spare, also once the input has ended (but not after, or it would start
    // waiting for another frame).
    bool outputFull = false;
    for (;;) {
        const size_t got = readFully(in, inBuf.data(), inBuf.size(), source);
        if (got == 0 && !outputFull)
            break;
        ZSTD_inBuffer input{inBuf.data(), got, 0};
        do {
            ZSTD_outBuffer output{outBuf.data(), outBuf.size(), 0};
            frameLeft = ZSTD_decompressStream(dctx.get(), &output, &input);
            if (ZSTD_isError(frameLeft))
                throw NotZstd{ZSTD_getErrorName(frameLeft)};
            if (!take(outBuf.data(), output.pos))
                return false;
            // 0 means the frame is decoded and flushed, even if it filled the buffer exactly.
            outputFull = output.pos == output.size && frameLeft != 0;
        } while (input.pos < input.size || outputFull);
    }
    return frameLeft == 0;
}

} // namespace

void cancelArchiveWork()
{
    cancelled.store(true, std::memory_order_relaxed);
}

bool archiveWorkCancelled()
{
    return cancelled.load(std::memory_order_relaxed);
}

void compressFile(const FolderFile &source, const FolderFile &target)
{
    const UniqueFd in = source.folder.openForReading(source.name);
    compressFile(in.get(), source.path(), target);
}

void compressFile(int in, const std::string &sourcePath, const FolderFile &target)
{
    if (::lseek(in, 0, SEEK_SET) < 0)
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot read"), sourcePath, errno);
    std::unique_ptr<ZSTD_CCtx, CctxFree> cctx(ZSTD_createCCtx());
    if (!cctx)
        fail(QT_TRANSLATE_NOOP("ArchiveFiles", "Cannot compress “%1”: out of memory"), sourcePath,
             ENOMEM);
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, 3);
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_checksumFlag, 1);
    writeNew(target, [&](UniqueFd &out) {
        std::vector<char> inBuf(ChunkSize), outBuf(ZSTD_CStreamOutSize());
        bool last = false;
        while (!last) {
            const size_t got = readFully(in, inBuf.data(), inBuf.size(), sourcePath);
            last = got < inBuf.size();
            ZSTD_inBuffer input{inBuf.data(), got, 0};
            const ZSTD_EndDirective mode = last ? ZSTD_e_end : ZSTD_e_continue;
            bool finished = false;
            while (!finished) {
                ZSTD_outBuffer output{outBuf.data(), outBuf.size(), 0};
                const size_t left = ZSTD_compressStream2(cctx.get(), &output, &input, mode);
                if (ZSTD_isError(left))
                    fail(QT_TRANSLATE_NOOP("ArchiveFiles", "Cannot compress “%1”: %2"), sourcePath,
                         ZSTD_getErrorName(left));
                writeFully(out.get(), outBuf.data(), output.pos, target.path());
                finished = last ? left == 0 : input.pos == input.size;
            }
        }
        keepModificationTime(in, out.get(), target.path());
        syncAndClose(std::move(out), target.path());
    });
}

void decompressFile(const FolderFile &source, const FolderFile &target)
{
    if (target.folder.entry(target.name) != HeldFolder::Entry::Absent)
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot restore"), target.path(), EEXIST);
    const UniqueFd in = source.folder.openForReading(source.name);
    const FolderFile part{target.folder, target.name + ".part"};
    // A part left by a restore that was interrupted (Paddock ended meanwhile) is this
    // function's own leftover; anything but a regular file there stays and fails the restore.
    part.folder.removeLeftover(part.name);
    writeNew(part, [&](UniqueFd &out) {
        bool whole = false;
        try {
            whole = decompressPieces(in.get(), source.path(), [&](const char *data, size_t size) {
                writeFully(out.get(), data, size, part.path());
                return true;
            });
        } catch (const NotZstd &error) {
            fail(QT_TRANSLATE_NOOP("ArchiveFiles", "Cannot decompress “%1”: %2"), source.path(),
                 error.reason);
        }
        if (!whole)
            fail(QT_TRANSLATE_NOOP("ArchiveFiles", "Cannot decompress “%1”: the file is cut short"),
                 source.path());
        keepModificationTime(in.get(), out.get(), part.path());
        syncAndClose(std::move(out), part.path());
        if (const int error = part.folder.renameNoReplace(part.name, target.folder, target.name))
            throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot restore"), target.path(), error);
    });
    target.folder.sync();
}

bool decompressesTo(const FolderFile &compressed, const FolderFile &original)
{
    const UniqueFd orig = original.folder.openForReading(original.name);
    return decompressesTo(compressed, orig.get(), original.path());
}

bool decompressesTo(const FolderFile &compressed, int original, const std::string &originalPath)
{
    const UniqueFd in = compressed.folder.openForReading(compressed.name);
    if (::lseek(original, 0, SEEK_SET) < 0)
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot read"), originalPath, errno);
    std::vector<char> origBuf(ZSTD_DStreamOutSize());
    try {
        const bool whole =
            decompressPieces(in.get(), compressed.path(), [&](const char *data, size_t size) {
                return readFully(original, origBuf.data(), size, originalPath) == size &&
                       std::memcmp(origBuf.data(), data, size) == 0;
            });
        char extra;
        return whole && readFully(original, &extra, 1, originalPath) == 0;
    } catch (const NotZstd &) {
        return false;
    }
}

bool sameBytes(const FolderFile &a, const FolderFile &b)
{
    const UniqueFd fa = a.folder.openForReading(a.name);
    const UniqueFd fb = b.folder.openForReading(b.name);
    std::vector<char> ba(ChunkSize), bb(ChunkSize);
    for (;;) {
        const size_t na = readFully(fa.get(), ba.data(), ba.size(), a.path());
        const size_t nb = readFully(fb.get(), bb.data(), bb.size(), b.path());
        if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0)
            return false;
        if (na < ba.size())
            return true;
    }
}

void copyFile(const FolderFile &source, const FolderFile &target, const CopyProgress &progress)
{
    const UniqueFd in = source.folder.openForReading(source.name);
    writeNew(target, [&](UniqueFd &out) {
        std::vector<char> buf(ChunkSize);
        std::uint64_t copied = 0;
        for (;;) {
            const size_t got = readFully(in.get(), buf.data(), buf.size(), source.path());
            writeFully(out.get(), buf.data(), got, target.path());
            copied += got;
            if (progress)
                progress(copied);
            if (got < buf.size())
                break;
        }
        keepModificationTime(in.get(), out.get(), target.path());
        syncAndClose(std::move(out), target.path());
    });
}

void compressFile(const std::string &source, const std::string &target)
{
    const HeldFolder from = HeldFolder::open(deletingLastPathComponent(source));
    const HeldFolder to = HeldFolder::open(deletingLastPathComponent(target));
    compressFile({from, lastPathComponent(source)}, {to, lastPathComponent(target)});
}

void decompressFile(const std::string &source, const std::string &target)
{
    const HeldFolder from = HeldFolder::open(deletingLastPathComponent(source));
    const HeldFolder to = HeldFolder::open(deletingLastPathComponent(target));
    decompressFile({from, lastPathComponent(source)}, {to, lastPathComponent(target)});
}

bool decompressesTo(const std::string &compressed, const std::string &original)
{
    const HeldFolder from = HeldFolder::open(deletingLastPathComponent(compressed));
    const HeldFolder to = HeldFolder::open(deletingLastPathComponent(original));
    return decompressesTo({from, lastPathComponent(compressed)}, {to, lastPathComponent(original)});
}

} // namespace paddock
