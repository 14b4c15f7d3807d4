// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "DroppedLogStorage.h"
#include "FileLogStorage.h"
#include "LogFileSegments.h"
#include "MemoryLogStorage.h"

#include <fcntl.h>
#include <new>
#include <unistd.h>

using namespace paddock;
using namespace paddock::test;

namespace {

constexpr qsizetype Block = MemoryLogStorage::BlockSize;
constexpr qsizetype WindowSize = 4096;

// Log files read back through windows so small, and so few kept, that reading on evicts them.
struct LogFiles {
    QTemporaryDir dir;
    std::shared_ptr<LogFileSegments> segments =
        std::make_shared<LogFileSegments>(WindowSize, WindowSize);

    // A new file continuing the log with bytes.
    void add(const std::string &bytes)
    {
        const std::string path = osPath(dir.path()) + "/" + std::to_string(segments->end());
        QVERIFY(writeFile(path, QByteArray::fromStdString(bytes)));
        segments->addFile(
            std::make_shared<const UniqueFd>(::open(path.c_str(), O_RDONLY | O_CLOEXEC)), 0);
        segments->grow(bytes.size());
    }
};

// A storage of one kind, and the characters it should read for positions from 0 on.
struct Kept {
    std::unique_ptr<LogStorage> storage;
    std::string characters;
};

Kept keptBy(const QString &kind, LogFiles &files)
{
    const std::string log = patterned(size_t(2 * Block + 100));
    if (kind == QLatin1String("memory")) {
        auto memory = std::make_unique<MemoryLogStorage>();
        for (size_t at = 0; at < log.size(); at += 77777)
            memory->append(std::string_view(log).substr(at, 77777));
        return {std::move(memory), log};
    }
    if (kind == QLatin1String("dropped"))
        return {std::make_unique<DroppedLogStorage>(),
                std::string(log.size(), DroppedLogStorage::Dropped)};
    auto file = std::make_unique<FileLogStorage>();
    const std::string older = log.substr(0, 10000);
    files.add(older);
    files.add(log.substr(older.size()));
    file->addBacking(files.segments, 0, 0);
    if (kind == QLatin1String("file"))
        return {std::move(file), log};
    files.segments->keepNewest(1); // rotation removed the older file
    return {std::move(file),
            std::string(older.size(), DroppedLogStorage::Dropped) + log.substr(older.size())};
}

} // namespace

class tst_LogStorage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pieces_readTheKeptCharacters_data();
    void pieces_readTheKeptCharacters();
    void piece_outlivesWhatHeldItsBytes_data();
    void piece_outlivesWhatHeldItsBytes();
    void append_outOfMemory_keepsChunkWholeOrThrows_data();
    void append_outOfMemory_keepsChunkWholeOrThrows();
};

void tst_LogStorage::pieces_readTheKeptCharacters_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qsizetype>("from");
    QTest::addColumn<qsizetype>("to");
    QTest::newRow("memory, across blocks")
        << QStringLiteral("memory") << Block - 10 << 2 * Block + 50;
    QTest::newRow("memory, ends inside a block")
        << QStringLiteral("memory") << qsizetype(5) << qsizetype(6);
    QTest::newRow("file, across windows and files")
        << QStringLiteral("file") << qsizetype(3000) << qsizetype(30000);
    QTest::newRow("file, rotated away reads dropped")
        << QStringLiteral("rotated") << qsizetype(0) << qsizetype(20000);
    QTest::newRow("dropped, longer than a piece")
        << QStringLiteral("dropped") << qsizetype(1) << 2 * Block + 100;
}

void tst_LogStorage::pieces_readTheKeptCharacters()
{
    QFETCH(QString, kind);
    QFETCH(qsizetype, from);
    QFETCH(qsizetype, to);
    LogFiles files;
    const Kept kept = keptBy(kind, files);
    const LogStorage &storage = *kept.storage;

    std::string read;
    for (qsizetype at = from; at < to;) {
        QVERIFY2(storage.keeps(at), qPrintable(QString::number(at)));
        const LogPiece piece = storage.pieceAt(at, to);
        QVERIFY(!piece.empty() && at + qsizetype(piece.size()) <= to);
        read += piece.bytes();
        at += qsizetype(piece.size());
    }
    QVERIFY(read == kept.characters.substr(size_t(from), size_t(to - from)));
}

void tst_LogStorage::piece_outlivesWhatHeldItsBytes_data()
{
    QTest::addColumn<QString>("kind");
    // Its block released, and a new block needed where it would have been reused.
    QTest::newRow("memory") << QStringLiteral("memory");
    // Its window evicted by reading others.
    QTest::newRow("file") << QStringLiteral("file");
}

void tst_LogStorage::piece_outlivesWhatHeldItsBytes()
{
    QFETCH(QString, kind);
    LogFiles files;
    const Kept kept = keptBy(kind, files);
    const LogPiece piece = kept.storage->pieceAt(0, Block);
    const std::string before(piece.bytes());

    if (auto *memory = dynamic_cast<MemoryLogStorage *>(kept.storage.get())) {
        memory->releaseOldest();
        memory->append(std::string(size_t(Block), 'x'));
    } else {
        for (qsizetype at = WindowSize; at < 8 * WindowSize; at += WindowSize)
            QCOMPARE(kept.storage->pieceAt(at, at + 1).size(), size_t(1));
    }
    QVERIFY(piece.bytes() == before);
}

void tst_LogStorage::append_outOfMemory_keepsChunkWholeOrThrows_data()
{
    QTest::addColumn<qsizetype>("before");
    QTest::addColumn<qsizetype>("chunk");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<qsizetype>("firstKept");
    QTest::newRow("nothing to release") << qsizetype(1) << Block << false << qsizetype(0);
    QTest::newRow("an older block makes room") << Block + 1 << Block << true << Block;
    QTest::newRow("room for part of the chunk") << Block + 1 << 2 * Block << false << Block;
}

void tst_LogStorage::append_outOfMemory_keepsChunkWholeOrThrows()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizer's own mappings need more address space");
#endif
    QFETCH(qsizetype, before);
    QFETCH(qsizetype, chunk);
    QFETCH(bool, kept);
    QFETCH(qsizetype, firstKept);
    const std::string log = patterned(size_t(before + chunk));
    MemoryLogStorage memory;
    memory.append(std::string_view(log).substr(0, size_t(before)));

    bool threw = false;
    {
        const AddressSpaceLimit limit(1 << 20); // less than one new block
        try {
            memory.append(std::string_view(log).substr(size_t(before)));
        } catch (const std::bad_alloc &) {
            threw = true;
        }
    }
    QCOMPARE(threw, !kept);
    QCOMPARE(memory.length(), kept ? before + chunk : before);
    QCOMPARE(memory.firstKept(), firstKept);
    // Once memory is there again, the chunk goes in whole after what was kept.
    if (threw)
        memory.append(std::string_view(log).substr(size_t(before)));
    std::string read;
    for (qsizetype at = firstKept; at < memory.length(); at += Block) {
        const LogPiece piece = memory.pieceAt(at, memory.length());
        read += piece.bytes();
    }
    QVERIFY(read == log.substr(size_t(firstKept)));
}

PADDOCK_TEST_MAIN(tst_LogStorage)

#include "tst_logstorage.moc"
