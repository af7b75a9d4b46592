#pragma once

#include <QList>
#include <QPoint>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>

#include <optional>

// Mouse, keyboard and window look-ups on one X display, as a person would use
// them, through xdotool. Points are in screen coordinates.
class XdotoolDriver final
{
public:
    explicit XdotoolDriver(const QString &display);

    // Windows on screen whose title matches the regular expression.
    [[nodiscard]] std::optional<QList<quint64>> visibleWindows(const QString &titlePattern) const;
    [[nodiscard]] std::optional<QRect> geometry(quint64 window) const;

    bool click(QPoint point) const;
    // Clicks, then moves the pointer on to rest, so that nothing stays hovered.
    bool click(QPoint point, QPoint rest) const;
    bool moveTo(QPoint point) const;
    // Types into whichever window has the keyboard focus.
    bool type(const QString &text) const;
    // Key names as xdotool knows them: "Return", "Down", "ctrl+a".
    bool key(const QString &keys) const;

private:
    [[nodiscard]] bool succeeds(const QStringList &arguments) const;

    QProcessEnvironment m_environment;
};
