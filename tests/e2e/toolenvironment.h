#pragma once

#include <QProcessEnvironment>
#include <QString>

// The environment for the X server and the X tools: this process's own, on
// the given display, without any preload meant for the program under test.
[[nodiscard]] inline QProcessEnvironment toolEnvironment(const QString &display = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LD_PRELOAD"));
    if (!display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), display);
    return environment;
}
