// SPDX-License-Identifier: MIT
#include "ArchiveFiles.h"

#include "DatabaseRotation.h"
#include "String.h"
#include "SystemError.h"
#include "UniqueFd.h"

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

constexpr size_t ChunkSize = 1 << 20;

std::atomic<bool> cancelled{false};

[[noreturn]] void fail(const std::string &what, const std::string &path, int error)
{
    throw RotationError(what + " “" + path + "”: " + errorText(error));
}

UniqueFd openFile(const std::string &path, int flags, const char *verb)
{
    int fd;
    do
        fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        fail(verb, path, errno);
    return UniqueFd(fd);
}

UniqueFd openRead(const std::string &path)
{
    return openFile(path, O_RDONLY, "Cannot read");
}

UniqueFd createNew(const std::string &path)
{
    return openFile(path, O_WRONLY | O_CREAT | O_TRUNC, "Cannot write");
}

// For a file nobody else may have: refuses to open what already exists.
UniqueFd createExclusive(const std::string &path)
{
    return openFile(path, O_WRONLY | O_CREAT | O_EXCL, "Cannot write");
}

// An archive keeps the time its database was last written, whatever form it takes, so the
// newest database can still be told by its time.
void keepModificationTime(int from, int to, const std::string &path)
{
    struct stat st;
    if (::fstat(from, &st) != 0)
        fail("Cannot read", path, errno);
    const struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    if (::futimens(to, times) != 0)
        fail("Cannot write", path, errno);
}

// Never replaces a file: a rename onto an existing name would destroy a database.
int renameNoReplace(const std::string &from, const std::string &to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return errno;
    // A file system without RENAME_NOREPLACE: a hard link never replaces either.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Reads up to size bytes, fewer only at the end of the file.
size_t readFully(int fd, char *data, size_t size, const std::string &path)
{
    // Every loop over a file reads it a chunk at a time: the place to notice the end.
    if (cancelled.load(std::memory_order_relaxed))
        throw RotationError("Stopped, as Paddock is ending: “" + path + "” is left for later.");
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("Cannot read", path, errno);
        if (n == 0)
            break;
        done += size_t(n);
    }
    return done;
}

void writeFully(int fd, const char *data, size_t size, const std::string &path)
{
    if (!writeAll(fd, std::string_view(data, size)))
        fail("Cannot write", path, errno);
}

void syncAndClose(UniqueFd fd, const std::string &path)
{
    if (::fsync(fd.get()) != 0)
        fail("Cannot write", path, errno);
    if (::close(fd.release()) != 0 && errno != EINTR)
        fail("Cannot write", path, errno);
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
        throw RotationError("Cannot decompress “" + source + "”: out of memory");
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

void compressFile(const std::string &source, const std::string &target)
{
    UniqueFd in = openRead(source);
    UniqueFd out = createNew(target);
    std::unique_ptr<ZSTD_CCtx, CctxFree> cctx(ZSTD_createCCtx());
    if (!cctx)
        throw RotationError("Cannot compress “" + source + "”: out of memory");
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, 3);
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_checksumFlag, 1);
    std::vector<char> inBuf(ChunkSize), outBuf(ZSTD_CStreamOutSize());
    bool last = false;
    while (!last) {
        const size_t got = readFully(in.get(), inBuf.data(), inBuf.size(), source);
        last = got < inBuf.size();
        ZSTD_inBuffer input{inBuf.data(), got, 0};
        const ZSTD_EndDirective mode = last ? ZSTD_e_end : ZSTD_e_continue;
        bool finished = false;
        while (!finished) {
            ZSTD_outBuffer output{outBuf.data(), outBuf.size(), 0};
            const size_t left = ZSTD_compressStream2(cctx.get(), &output, &input, mode);
            if (ZSTD_isError(left))
                throw RotationError("Cannot compress “" + source + "”: " + ZSTD_getErrorName(left));
            writeFully(out.get(), outBuf.data(), output.pos, target);
            finished = last ? left == 0 : input.pos == input.size;
        }
    }
    keepModificationTime(in.get(), out.get(), target);
    syncAndClose(std::move(out), target);
}

void decompressFile(const std::string &source, const std::string &target)
{
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0)
        fail("Cannot restore", target, EEXIST);
    UniqueFd in = openRead(source);
    const std::string part = target + ".part";
    // A part left by a restore that was interrupted (Paddock ended meanwhile) is this
    // function's own leftover; anything but a regular file there stays and fails the restore.
    if (::lstat(part.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::unlink(part.c_str());
    UniqueFd out = createExclusive(part);
    // From here on the part is this call's own: it goes on any failure.
    try {
        bool whole = false;
        try {
            whole = decompressPieces(in.get(), source, [&](const char *data, size_t size) {
                writeFully(out.get(), data, size, part);
                return true;
            });
        } catch (const NotZstd &error) {
            throw RotationError("Cannot decompress “" + source + "”: " + error.reason);
        }
        if (!whole)
            throw RotationError("Cannot decompress “" + source + "”: the file is cut short");
        keepModificationTime(in.get(), out.get(), part);
        syncAndClose(std::move(out), part);
        if (const int error = renameNoReplace(part, target))
            fail("Cannot restore", target, error);
    } catch (...) {
        ::unlink(part.c_str());
        throw;
    }
    syncFolder(deletingLastPathComponent(target));
}

bool decompressesTo(const std::string &compressed, const std::string &original)
{
    UniqueFd in = openRead(compressed);
    UniqueFd orig = openRead(original);
    std::vector<char> origBuf(ZSTD_DStreamOutSize());
    try {
        const bool whole =
            decompressPieces(in.get(), compressed, [&](const char *data, size_t size) {
                return readFully(orig.get(), origBuf.data(), size, original) == size &&
                       std::memcmp(origBuf.data(), data, size) == 0;
            });
        char extra;
        return whole && readFully(orig.get(), &extra, 1, original) == 0;
    } catch (const NotZstd &) {
        return false;
    }
}

bool sameBytes(const std::string &a, const std::string &b)
{
    UniqueFd fa = openRead(a);
    UniqueFd fb = openRead(b);
    std::vector<char> ba(ChunkSize), bb(ChunkSize);
    for (;;) {
        const size_t na = readFully(fa.get(), ba.data(), ba.size(), a);
        const size_t nb = readFully(fb.get(), bb.data(), bb.size(), b);
        if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0)
            return false;
        if (na < ba.size())
            return true;
    }
}

void copyFile(const std::string &source, const std::string &target)
{
    UniqueFd in = openRead(source);
    UniqueFd out = createNew(target);
    std::vector<char> buf(ChunkSize);
    for (;;) {
        const size_t got = readFully(in.get(), buf.data(), buf.size(), source);
        writeFully(out.get(), buf.data(), got, target);
        if (got < buf.size())
            break;
    }
    keepModificationTime(in.get(), out.get(), target);
    syncAndClose(std::move(out), target);
}

void syncFolder(const std::string &folder)
{
    int fd;
    do
        fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        fail("Cannot open the folder", folder, errno);
    UniqueFd owned(fd);
    if (::fsync(fd) != 0 && errno != EINVAL)
        fail("Cannot write the folder", folder, errno);
}

} // namespace paddock
