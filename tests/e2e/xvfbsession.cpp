#include "xvfbsession.h"

#include "childprocess.h"
#include "toolenvironment.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {

constexpr int firstDisplay = 90;
constexpr int lastDisplay = 140;
constexpr int screenPollMs = 20;

// A lock file may be stale, left by a server that was killed; such a number is passed over too.
[[nodiscard]] bool looksTaken(int number)
{
    return QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))
           || QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number));
}

} // namespace

XvfbSession::~XvfbSession()
{
    stop();
}

bool XvfbSession::start(std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    for (int number = firstDisplay; number <= lastDisplay && !deadline.hasExpired(); ++number) {
        // Another server may take the number between the look and the start;
        // ours then exits at once and the next number is tried.
        if (!looksTaken(number) && startOn(number, std::chrono::milliseconds(deadline.remainingTime())))
            return true;
    }
    if (m_failure.isEmpty())
        m_failure = QStringLiteral("no free display between :%1 and :%2").arg(firstDisplay).arg(lastDisplay);
    return false;
}

bool XvfbSession::startOn(int number, std::chrono::milliseconds timeout)
{
    m_server.setChildProcessModifier(dieWithParent);
    m_server.setProcessEnvironment(toolEnvironment());
    m_server.setStandardInputFile(QProcess::nullDevice());
    // With -displayfd the server writes its display number once it accepts clients.
    m_server.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(number), QStringLiteral("-screen"),
                                            QStringLiteral("0"), QStringLiteral("1024x768x24"),
                                            QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                            QStringLiteral("-displayfd"), QStringLiteral("1")});
    if (!m_server.waitForStarted(int(timeout.count()))) {
        m_failure = QStringLiteral("Xvfb does not start: ") + m_server.errorString();
        return false;
    }
    const QDeadlineTimer deadline(timeout);
    QByteArray announced;
    while (!deadline.hasExpired() && m_server.state() == QProcess::Running) {
        m_server.waitForReadyRead(screenPollMs);
        announced += m_server.readAllStandardOutput();
        if (announced.endsWith('\n') && announced.trimmed().toInt() == number) {
            m_number = number;
            return true;
        }
    }
    m_failure = QStringLiteral("Xvfb :%1 did not come up: ").arg(number)
                + QString::fromLocal8Bit(m_server.readAllStandardError());
    stop();
    return false;
}

void XvfbSession::stop()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    m_server.terminate();
    if (!m_server.waitForFinished(3000)) {
        m_server.kill();
        m_server.waitForFinished(1000);
    }
}
