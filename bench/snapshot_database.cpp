// SPDX-License-Identifier: MIT
// snapshot_database: takes a snapshot of a 1 GiB database as Paddock does after a finished
// checkpoint: the hard link on the event loop, the check, compression and verification on a
// worker, while a 1 ms timer runs on the event loop. Prints the event loop's cost of taking
// the snapshot, the longest gap between the timer's ticks, the time the worker took and the
// sizes; then how many snapshots a world checkpointing every minute keeps over two days.

#include "SampleDatabase.h"
#include "SnapshotRetention.h"
#include "SnapshotWork.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using namespace paddock;

namespace {

constexpr qint64 MiB = qint64(1) << 20;
constexpr qint64 DatabaseSize = 1024 * MiB;

// The most snapshot files a world checkpointing every minute holds over two days, pruned
// after each checkpoint as Paddock prunes.
size_t mostKeptOverTwoDays(const SnapshotRetention &retention)
{
    const QDateTime start(QDate(2026, 12, 1), QTime(0, 0));
    std::vector<std::string> names;
    size_t most = 0;
    for (int minute = 0; minute < 2 * 24 * 60; ++minute) {
        const QDateTime now = start.addSecs(60LL * minute);
        names.push_back(snapshotFileName("castle.db", now) + ".zst");
        const std::vector<std::string> remove = snapshotsToRemove(names, now, retention);
        std::erase_if(names, [&remove](const std::string &name) {
            return std::binary_search(remove.begin(), remove.end(), name);
        });
        most = std::max(most, names.size());
    }
    return most;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("castle.db"));
    std::printf("writing a %lld MiB database...\n", DatabaseSize / MiB);
    std::fflush(stdout);
    if (!bench::writeSampleDatabase(database, DatabaseSize, true)) {
        std::fprintf(stderr, "cannot write the database in %s\n", qPrintable(dir.path()));
        return 1;
    }

    qint64 longestGapNs = 0;
    QElapsedTimer sinceTick;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestGapNs = std::max(longestGapNs, sinceTick.nsecsElapsed());
        sinceTick.start();
    });

    const QDateTime now = QDateTime::currentDateTime();
    QElapsedTimer total;
    qint64 holdNs = 0;
    SnapshotResult result;
    QString problem;
    QTimer::singleShot(0, [&] {
        tick.start();
        sinceTick.start();
        total.start();
        // What the event loop does at the finished line.
        const HoldOutcome held = holdCheckpoint(QFile::encodeName(database).toStdString(), now);
        holdNs = total.nsecsElapsed();
        if (!held.held) {
            problem = held.problem;
            app.quit();
            return;
        }
        QThreadPool::globalInstance()->start([&, checkpoint = *held.held] {
            const SnapshotResult done = finishSnapshot(checkpoint, {now, {}, {}, {}, {}, now});
            QMetaObject::invokeMethod(
                &app,
                [&, done] {
                    result = done;
                    app.quit();
                },
                Qt::QueuedConnection);
        });
    });
    app.exec();
    const qint64 totalMs = total.elapsed();
    if (!problem.isEmpty() || !result.kept) {
        std::fprintf(stderr, "snapshot failed: %s\n",
                     qPrintable(problem.isEmpty() ? result.text : problem));
        return 1;
    }
    const QString compressed = dir.filePath(
        QStringLiteral("archive/") + QString::fromStdString(snapshotFileName("castle.db", now)) +
        QStringLiteral(".zst"));
    std::printf("snapshot of %lld MiB: held on the event loop in %.3f ms; checked, compressed to "
                "%.1f MiB and verified on a worker in %.2f s; longest event loop gap %.2f ms\n",
                DatabaseSize / MiB, double(holdNs) / 1e6,
                double(QFileInfo(compressed).size()) / double(MiB), double(totalMs) / 1000.0,
                double(longestGapNs) / 1e6);
    const SnapshotRetention retention;
    std::printf("checkpoints every minute for two days, default retention (%d h, %d days, %d "
                "weeks): at most %zu snapshots kept\n",
                retention.hours, retention.days, retention.weeks, mostKeptOverTwoDays(retention));
    return 0;
}
