#include "childprocess.h"

#include <QDir>

#include <algorithm>
#include <csignal>

#include <sys/prctl.h>
#include <sys/stat.h>

namespace {

[[nodiscard]] bool sameFile(const QString &a, const struct stat &b)
{
    struct stat status{};
    return ::stat(a.toLocal8Bit().constData(), &status) == 0 && status.st_dev == b.st_dev
           && status.st_ino == b.st_ino;
}

} // namespace

bool ChildProcess::start(const QString &program, const QStringList &arguments,
                         const QProcessEnvironment &environment, QProcess::ProcessChannelMode channels)
{
    m_process.setProcessChannelMode(channels);
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setProcessEnvironment(environment);
    m_process.start(program, arguments);
    return m_process.waitForStarted(10000);
}

bool ChildProcess::holdsOpen(const QString &path) const
{
    struct stat wanted{};
    if (!isRunning() || ::stat(path.toLocal8Bit().constData(), &wanted) != 0)
        return false;
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(m_process.processId()));
    // stat follows each descriptor's link to the very file that it has open.
    const QStringList names = descriptors.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    return std::any_of(names.begin(), names.end(),
                       [&](const QString &name) { return sameFile(descriptors.filePath(name), wanted); });
}

void ChildProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}
