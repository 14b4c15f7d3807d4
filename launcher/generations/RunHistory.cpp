// SPDX-License-Identifier: MIT
#include "RunHistory.h"

#include "DescriptorIo.h"
#include "PrivateFolder.h"
#include "UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    if (const size_t slash = m_path.rfind('/');
        slash != std::string::npos && !makePrivateFolder(m_path.substr(0, slash)).empty())
        return false;
    QList<RunRecord> kept = runs();
    const QByteArray added = line(run);
    if (kept.size() < 2 * Kept) {
        // Appending is the common case; the file is rewritten only to trim it. A link in its
        // place is not written through.
        const UniqueFd fd(retryOnInterrupt([&] {
            return ::open(m_path.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                          0600);
        }));
        struct stat status = {};
        return fd && ::fstat(fd.get(), &status) == 0 && S_ISREG(status.st_mode) &&
               writeAll(fd.get(), std::string_view(added.constData(), size_t(added.size())));
    }
    kept = kept.mid(kept.size() - Kept + 1);
    std::string text;
    for (const RunRecord &each : kept)
        text += line(each).toStdString();
    text += added.toStdString();
    // A new file renamed over the old one (or over a link there, which is replaced, not
    // followed): the history is never seen cut short.
    std::string temporary = m_path + ".XXXXXX";
    const UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd)
        return false;
    if (writeAll(fd.get(), text) && ::fsync(fd.get()) == 0 &&
        ::rename(temporary.c_str(), m_path.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
}

QList<RunRecord> RunHistory::runs() const
{
    QList<RunRecord> result;
    if (m_path.empty())
        return result;
    const UniqueFd fd(retryOnInterrupt(
        [&] { return ::open(m_path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); }));
    struct stat status = {};
    if (!fd || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return result;
    std::string text;
    readAll(fd.get(), text); // what could be read is used: each line stands alone
    for (const QByteArray &each : QByteArray::fromStdString(text).split('\n')) {
        const QList<QByteArray> fields = each.trimmed().split('\t');
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
