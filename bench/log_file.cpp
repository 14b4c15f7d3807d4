// SPDX-License-Identifier: MIT
// log_file: how fast the log file takes the server's output and gives it back.
//
// Prints:
//   append   MiB/s appending TOTAL MiB in 1 MiB chunks, default rotation (64 MiB, 5 kept)
//   scan     GiB/s of memchr over every byte the files still hold, first pass and
//            once the files are in the page cache; and of a search for a needle that is not there
//   seek     the time to reach a piece at random offsets of the reachable log
//
// Usage: log_file [TOTAL_MIB [KEEP [FOLDER]]]  (defaults 1024, 5, a new folder in /tmp)

#include "LogFileWriter.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

using namespace paddock;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Bytes that look like a server's log lines (printable, newline-terminated, never a NUL).
std::string logLines(std::size_t size)
{
    std::string bytes;
    for (unsigned n = 0; bytes.size() < size; ++n)
        bytes += "Dec  8 17:42:49: > player #" + std::to_string(n % 9973) +
                 " connected from 127.0.0.1, port " + std::to_string(1024 + n % 60000) + "\n";
    bytes.resize(size);
    return bytes;
}

std::uint64_t countByte(const LogFileSegments &segments, char c, std::uint64_t &visited)
{
    std::uint64_t count = 0;
    visited = 0;
    segments.forEachPiece(segments.begin(), segments.end() - segments.begin(),
                          [&](std::string_view piece) {
                              visited += piece.size();
                              for (const char *p = piece.data(), *end = p + piece.size();
                                   (p = static_cast<const char *>(std::memchr(p, c, end - p))); ++p)
                                  ++count;
                          });
    return count;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::uint64_t totalMiB = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const int keep = argc > 2 ? std::atoi(argv[2]) : LogFileWriter::DefaultKeep;
    std::string folder;
    if (argc > 3) {
        folder = argv[3];
    } else {
        char name[] = "/tmp/log_file.XXXXXX";
        if (!::mkdtemp(name)) {
            std::perror("mkdtemp");
            return 1;
        }
        folder = name;
    }

    const std::string chunk = logLines(1 << 20);
    LogFileWriter writer(folder + "/server.log", LogFileWriter::DefaultRotateSize, keep);
    auto start = std::chrono::steady_clock::now();
    for (std::uint64_t n = 0; n < totalMiB; ++n) {
        if (const int error = writer.append(chunk).error) {
            std::fprintf(stderr, "append failed: %s\n", std::strerror(error));
            return 1;
        }
    }
    const double appendSeconds = secondsSince(start);
    std::printf("append  %llu MiB in 1 MiB chunks, rotation at 64 MiB, %d kept: %.0f MiB/s\n",
                static_cast<unsigned long long>(totalMiB), keep, double(totalMiB) / appendSeconds);

    const auto segments = writer.segments();
    const double reachableGiB = double(segments->end() - segments->begin()) / double(1 << 30);
    std::printf("reachable: %.2f GiB of %.2f GiB written\n", reachableGiB,
                double(segments->end()) / double(1 << 30));
    for (const char *pass : {"first pass", "files cached"}) {
        std::uint64_t visited = 0;
        start = std::chrono::steady_clock::now();
        const std::uint64_t lines = countByte(*segments, '\n', visited);
        const double seconds = secondsSince(start);
        std::printf("scan    memchr, %s: %.2f GiB/s (%llu lines in %.2f GiB)\n", pass,
                    double(visited) / double(1 << 30) / seconds,
                    static_cast<unsigned long long>(lines), double(visited) / double(1 << 30));
    }
    start = std::chrono::steady_clock::now();
    const std::int64_t found = segments->indexOf("player #99999 connected", 0);
    std::printf("scan    search for an absent needle: %.2f GiB/s (found at %lld)\n",
                reachableGiB / secondsSince(start), static_cast<long long>(found));

    std::mt19937_64 random(42);
    const int seeks = 1000;
    std::uint64_t sum = 0;
    start = std::chrono::steady_clock::now();
    for (int n = 0; n < seeks; ++n) {
        const std::uint64_t offset =
            segments->begin() + random() % (segments->end() - segments->begin());
        sum += std::uint64_t(segments->pieceAt(offset).bytes.front());
    }
    std::printf("seek    pieceAt at random offsets: %.2f us each (checksum %llu)\n",
                secondsSince(start) * 1e6 / seeks, static_cast<unsigned long long>(sum));

    if (argc <= 3) {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
    return 0;
}
