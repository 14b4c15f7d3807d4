// SPDX-License-Identifier: MIT
// archive_database: rotates a 1 GiB database after a clean stop (archive, rename, compress
// and verify on a worker thread) while a 1 ms timer runs on the event loop. Prints the
// longest gap between the timer's ticks, the time the whole rotation took and the sizes.

#include "DatabaseRotation.h"
#include "SampleDatabase.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include <cstdio>
#include <random>
#include <string>

using namespace paddock;

namespace {

constexpr qint64 MiB = qint64(1) << 20;
constexpr qint64 DatabaseSize = 1024 * MiB;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("castle.db"));
    const QString output = input + QStringLiteral(".new");
    std::printf("writing a %lld MiB database...\n", DatabaseSize / MiB);
    std::fflush(stdout);
    QFile out(output);
    if (!bench::writeSampleDatabase(input, DatabaseSize) || !out.open(QIODevice::WriteOnly) ||
        out.write("new\n") != 4) {
        std::fprintf(stderr, "cannot write the databases in %s\n", qPrintable(dir.path()));
        return 1;
    }
    out.close();

    qint64 longestGapNs = 0;
    QElapsedTimer sinceTick;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestGapNs = std::max(longestGapNs, sinceTick.nsecsElapsed());
        sinceTick.start();
    });

    // As Paddock does after a clean stop: the renames on the event loop's thread, then the
    // compression, verification and removal of the uncompressed copy on a worker.
    const DatabaseRotation rotation(QFile::encodeName(input).toStdString(),
                                    QFile::encodeName(output).toStdString(),
                                    QDateTime::currentDateTime());
    QElapsedTimer total;
    qint64 renamesNs = 0;
    QString error;
    QTimer::singleShot(0, [&] {
        tick.start();
        sinceTick.start();
        total.start();
        try {
            rotation.run({}, DatabaseRotation::Until::InPlace);
        } catch (const std::exception &e) {
            error = QString::fromLocal8Bit(e.what());
            app.quit();
            return;
        }
        renamesNs = total.nsecsElapsed();
        QThreadPool::globalInstance()->start([&] {
            const QString problem =
                DatabaseRotation::recover(QFile::encodeName(dir.path()).toStdString());
            QMetaObject::invokeMethod(
                &app,
                [&, problem] {
                    error = problem;
                    app.quit();
                },
                Qt::QueuedConnection);
        });
    });
    app.exec();
    const qint64 totalMs = total.elapsed();
    if (!error.isEmpty()) {
        std::fprintf(stderr, "rotation failed: %s\n", qPrintable(error));
        return 1;
    }
    const qint64 compressed =
        QFileInfo(QFile::decodeName(QByteArray::fromStdString(rotation.archivePath() + ".zst")))
            .size();
    std::printf("archived %lld MiB to %.1f MiB (zstd level 3, verified) in %.2f s; "
                "renames on the event loop %.2f ms; longest event loop gap %.2f ms\n",
                DatabaseSize / MiB, double(compressed) / double(MiB), double(totalMs) / 1000.0,
                double(renamesNs) / 1e6, double(longestGapNs) / 1e6);
    return 0;
}
