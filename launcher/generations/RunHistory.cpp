// SPDX-License-Identifier: MIT
#include "RunHistory.h"

#include "PrivateFolder.h"
#include "String.h"

#include <QFile>
#include <QSaveFile>

namespace paddock {

namespace {

QByteArray line(const RunRecord &run)
{
    return run.started.toUTC().toString(Qt::ISODate).toLatin1() + '\t' +
           QByteArray::fromStdString(run.input).toPercentEncoding() + '\t' +
           QByteArray::fromStdString(run.output).toPercentEncoding() + '\n';
}

} // namespace

RunHistory::RunHistory(std::string filePath)
    : m_path(std::move(filePath))
{}

std::string RunHistory::defaultPath()
{
    const std::string folder = serverRecordFolder();
    return folder.empty() ? std::string() : folder + "/runs";
}

bool RunHistory::record(const RunRecord &run) const
{
    if (m_path.empty())
        return false;
    const QString path = displayPath(m_path);
    if (const size_t slash = m_path.rfind('/');
        slash != std::string::npos && !makePrivateFolder(m_path.substr(0, slash)).empty())
        return false;
    QList<RunRecord> kept = runs();
    if (kept.size() < 2 * Kept) {
        // Appending is the common case; the file is rewritten only to trim it.
        QFile file(path);
        return file.open(QIODevice::Append) && file.write(line(run)) > 0;
    }
    kept = kept.mid(kept.size() - Kept + 1);
    kept.append(run);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const RunRecord &each : kept)
        file.write(line(each));
    return file.commit();
}

QList<RunRecord> RunHistory::runs() const
{
    QList<RunRecord> result;
    QFile file(displayPath(m_path));
    if (m_path.empty() || !file.open(QIODevice::ReadOnly))
        return result;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split('\t');
        if (fields.size() != 3)
            continue;
        RunRecord run{QDateTime::fromString(QString::fromLatin1(fields[0]), Qt::ISODate),
                      QByteArray::fromPercentEncoding(fields[1]).toStdString(),
                      QByteArray::fromPercentEncoding(fields[2]).toStdString()};
        if (run.started.isValid() && !run.input.empty())
            result.append(run);
    }
    return result;
}

} // namespace paddock
