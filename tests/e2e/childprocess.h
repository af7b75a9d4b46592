#pragma once

#include <QProcess>

// A child that dies with this process, so that a test killed by its timeout
// leaves no X server or program behind, and that is stopped when this goes
// out of scope, whatever happened meanwhile.
class ChildProcess final
{
public:
    ChildProcess() = default;
    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool start(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
               QProcess::ProcessChannelMode channels);
    [[nodiscard]] bool isRunning() const { return m_process.state() == QProcess::Running; }
    [[nodiscard]] QProcess &process() { return m_process; }
    // Whether one of its descriptors is open on the file at path, under whatever name it was opened.
    [[nodiscard]] bool holdsOpen(const QString &path) const;
    void stop();

private:
    QProcess m_process;
};
