#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <chrono>
#include <optional>

// What a short-lived tool printed on standard output, and how it ended;
// nothing when it did not start or did not end in time (it is killed then).
struct ToolRun
{
    int exitCode = -1;
    QByteArray output;
};

[[nodiscard]] inline std::optional<ToolRun> runTool(const QString &program, const QStringList &arguments,
                                                    const QProcessEnvironment &environment,
                                                    std::chrono::milliseconds timeout)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(int(timeout.count()))) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    return ToolRun{process.exitCode(), process.readAllStandardOutput()};
}
