#include "xdisplay.h"

#include <QDeadlineTimer>

bool XDisplay::start()
{
    // The tools must not load what is preloaded into the program under test.
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.remove(QStringLiteral("LD_PRELOAD"));
    // Well away from :0, where programs started by hand elsewhere would show up too.
    for (int number = 90; number < 140; ++number) {
        m_name = QStringLiteral(":%1").arg(number);
        if (startOn(m_name)) {
            m_environment.insert(QStringLiteral("DISPLAY"), m_name);
            return true;
        }
    }
    m_failure = QStringLiteral("no Xvfb between :90 and :139 came up; the last said: ") + m_failure;
    return false;
}

// The server refuses a number that another live server holds; it writes the
// number to -displayfd once it accepts clients. Without -noreset it would reset,
// and briefly refuse connections, each time its last client (an xdotool call) leaves.
bool XDisplay::startOn(const QString &name)
{
    const QStringList arguments{name,
                                QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24"),
                                QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                QStringLiteral("-noreset"),
                                QStringLiteral("-displayfd"), QStringLiteral("1")};
    m_server.start(QStringLiteral("Xvfb"), arguments, m_environment, QProcess::SeparateChannels);
    const QDeadlineTimer deadline(10000);
    QByteArray announced;
    while (!announced.endsWith('\n') && m_server.process().waitForReadyRead(int(deadline.remainingTime())))
        announced += m_server.process().readAllStandardOutput();
    if (QLatin1Char(':') + QString::fromLatin1(announced.trimmed()) == name)
        return true;
    m_failure = m_server.process().errorString() + QLatin1Char(' ')
                + QString::fromLocal8Bit(m_server.process().readAllStandardError());
    m_server.stop();
    return false;
}

std::optional<QByteArray> XDisplay::run(const QString &program, const QStringList &arguments) const
{
    QProcess tool;
    tool.setProcessEnvironment(m_environment);
    tool.setStandardInputFile(QProcess::nullDevice());
    tool.start(program, arguments);
    const bool finished = tool.waitForFinished(10000);
    if (!finished) {
        tool.kill();
        tool.waitForFinished(1000);
    }
    if (!finished || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return std::nullopt;
    return tool.readAllStandardOutput();
}

QList<quint64> XDisplay::windows(const QString &titlePattern) const
{
    // xdotool answers "none found" with exit code 1: no windows either.
    const auto output = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                        QStringLiteral("--name"), titlePattern});
    QList<quint64> windows;
    for (const QByteArray &line : output.value_or(QByteArray()).split('\n')) {
        bool ok = false;
        const quint64 window = line.trimmed().toULongLong(&ok);
        if (ok)
            windows << window;
    }
    return windows;
}

bool XDisplay::xdotool(const QStringList &arguments) const
{
    return run(QStringLiteral("xdotool"), arguments).has_value();
}

QImage XDisplay::grab(quint64 window) const
{
    const auto png = run(QStringLiteral("import"),
                         {QStringLiteral("-window"), QString::number(window), QStringLiteral("png:-")});
    return png ? QImage::fromData(*png, "PNG").convertToFormat(QImage::Format_RGB32) : QImage();
}
