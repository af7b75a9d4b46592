#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <chrono>

// The program under test as a child process, stopped when this goes out of
// scope, whatever happened meanwhile.
class VelmoraProcess final
{
public:
    VelmoraProcess() = default;
    ~VelmoraProcess();
    VelmoraProcess(const VelmoraProcess &) = delete;
    VelmoraProcess &operator=(const VelmoraProcess &) = delete;

    bool start(const QString &program, const QProcessEnvironment &environment, std::chrono::milliseconds timeout);
    [[nodiscard]] bool isRunning() const { return m_process.state() == QProcess::Running; }
    // Whether one of its descriptors is open on the file at path (the same
    // inode, under whatever name it was opened).
    [[nodiscard]] bool holdsOpen(const QString &path) const;
    // What it printed, and how it ended if it did: for failure messages.
    [[nodiscard]] QString report();
    void stop();

private:
    QProcess m_process;
    QByteArray m_output;
};
