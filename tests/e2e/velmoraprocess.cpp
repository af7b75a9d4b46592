#include "velmoraprocess.h"

#include "childprocess.h"

#include <QDir>

#include <optional>

#include <sys/stat.h>

namespace {

struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

[[nodiscard]] std::optional<FileIdentity> identityOf(const QString &path)
{
    struct stat status{};
    if (::stat(path.toLocal8Bit().constData(), &status) != 0)
        return std::nullopt;
    return FileIdentity{status.st_dev, status.st_ino};
}

} // namespace

VelmoraProcess::~VelmoraProcess()
{
    stop();
}

bool VelmoraProcess::start(const QString &program, const QProcessEnvironment &environment,
                           std::chrono::milliseconds timeout)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setChildProcessModifier(dieWithParent);
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setProcessEnvironment(environment);
    m_process.start(program, {});
    return m_process.waitForStarted(int(timeout.count()));
}

bool VelmoraProcess::holdsOpen(const QString &path) const
{
    const auto wanted = identityOf(path);
    if (!wanted || !isRunning())
        return false;
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(m_process.processId()));
    for (const QString &descriptor : descriptors.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        // stat follows the descriptor's link to the very file that it has open.
        if (identityOf(descriptors.filePath(descriptor)) == wanted)
            return true;
    }
    return false;
}

QString VelmoraProcess::report()
{
    m_output += m_process.readAll();
    QString text = QString::fromLocal8Bit(m_output);
    if (m_process.state() == QProcess::NotRunning)
        text += QStringLiteral("\n[velmora ended: exit status %1, code %2]")
                    .arg(int(m_process.exitStatus()))
                    .arg(m_process.exitCode());
    return text;
}

void VelmoraProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}
