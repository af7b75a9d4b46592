#pragma once

#include <QImage>
#include <QProcessEnvironment>
#include <QString>

#include <optional>

// Screenshots of a whole X display, taken from outside the program as a
// person would see it (ImageMagick's import).
class ScreenGrabber final
{
public:
    explicit ScreenGrabber(const QString &display);

    [[nodiscard]] std::optional<QImage> grab() const;

private:
    QProcessEnvironment m_environment;
};
