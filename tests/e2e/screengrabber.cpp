#include "screengrabber.h"

#include "toolenvironment.h"
#include "toolrun.h"

using namespace std::chrono_literals;

ScreenGrabber::ScreenGrabber(const QString &display)
    : m_environment(toolEnvironment(display))
{
}

std::optional<QImage> ScreenGrabber::grab() const
{
    const auto run = runTool(QStringLiteral("import"),
                             {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")},
                             m_environment, 10s);
    if (!run || run->exitCode != 0)
        return std::nullopt;
    const QImage image = QImage::fromData(run->output, "PNG");
    if (image.isNull())
        return std::nullopt;
    return image.convertToFormat(QImage::Format_RGB32);
}
