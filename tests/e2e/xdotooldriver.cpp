#include "xdotooldriver.h"

#include "toolenvironment.h"
#include "toolrun.h"

#include <QRegularExpression>

using namespace std::chrono_literals;

namespace {

constexpr auto toolTimeout = 5s;
// Between two typed characters; quick, yet every key is seen on its own.
constexpr int typingDelayMs = 15;

[[nodiscard]] QString coordinate(int value)
{
    return QString::number(value);
}

} // namespace

XdotoolDriver::XdotoolDriver(const QString &display)
    : m_environment(toolEnvironment(display))
{
}

bool XdotoolDriver::succeeds(const QStringList &arguments) const
{
    const auto run = runTool(QStringLiteral("xdotool"), arguments, m_environment, toolTimeout);
    return run && run->exitCode == 0;
}

std::optional<QList<quint64>> XdotoolDriver::visibleWindows(const QString &titlePattern) const
{
    const auto run = runTool(QStringLiteral("xdotool"),
                             {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                              titlePattern},
                             m_environment, toolTimeout);
    // xdotool answers "none found" with exit code 1 and no output.
    if (!run || run->exitCode > 1)
        return std::nullopt;
    QList<quint64> windows;
    for (const QByteArray &line : run->output.split('\n')) {
        bool ok = false;
        const quint64 window = line.trimmed().toULongLong(&ok);
        if (ok)
            windows << window;
    }
    return windows;
}

std::optional<QRect> XdotoolDriver::geometry(quint64 window) const
{
    const auto run = runTool(QStringLiteral("xdotool"),
                             {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::number(window)},
                             m_environment, toolTimeout);
    if (!run || run->exitCode != 0)
        return std::nullopt;
    // Lines of NAME=value: X, Y, WIDTH, HEIGHT.
    const QString text = QString::fromLatin1(run->output);
    const auto value = [&text](const QString &name) -> std::optional<int> {
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^%1=(-?\\d+)$").arg(name), QRegularExpression::MultilineOption)
                .match(text);
        if (!match.hasMatch())
            return std::nullopt;
        return match.captured(1).toInt();
    };
    const auto x = value(QStringLiteral("X"));
    const auto y = value(QStringLiteral("Y"));
    const auto width = value(QStringLiteral("WIDTH"));
    const auto height = value(QStringLiteral("HEIGHT"));
    if (!x || !y || !width || !height)
        return std::nullopt;
    return QRect(*x, *y, *width, *height);
}

bool XdotoolDriver::click(QPoint point) const
{
    // One connection: the server moves the pointer before it presses the button.
    return succeeds({QStringLiteral("mousemove"), coordinate(point.x()), coordinate(point.y()),
                     QStringLiteral("click"), QStringLiteral("1")});
}

bool XdotoolDriver::click(QPoint point, QPoint rest) const
{
    return succeeds({QStringLiteral("mousemove"), coordinate(point.x()), coordinate(point.y()),
                     QStringLiteral("click"), QStringLiteral("1"), QStringLiteral("mousemove"),
                     coordinate(rest.x()), coordinate(rest.y())});
}

bool XdotoolDriver::moveTo(QPoint point) const
{
    return succeeds({QStringLiteral("mousemove"), coordinate(point.x()), coordinate(point.y())});
}

bool XdotoolDriver::type(const QString &text) const
{
    return succeeds({QStringLiteral("type"), QStringLiteral("--delay"), QString::number(typingDelayMs),
                     QStringLiteral("--"), text});
}

bool XdotoolDriver::key(const QString &keys) const
{
    return succeeds({QStringLiteral("key"), QStringLiteral("--"), keys});
}
