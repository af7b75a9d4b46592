#pragma once

#include "childprocess.h"

#include <QImage>
#include <QList>
#include <QProcessEnvironment>
#include <QStringList>

#include <optional>

// A private X server (Xvfb) and what stands in for a person's hands and eyes
// on it: xdotool for pointer, keyboard and window look-ups, ImageMagick's
// import for screenshots.
class XDisplay final
{
public:
    // Waits for the server to accept clients; failure() says why it did not.
    bool start();
    [[nodiscard]] QString failure() const { return m_failure; }
    [[nodiscard]] QString name() const { return m_name; }

    [[nodiscard]] QList<quint64> windows(const QString &titlePattern) const;
    bool xdotool(const QStringList &arguments) const;
    // The window as it shows on screen; a null image when that fails.
    [[nodiscard]] QImage grab(quint64 window) const;

private:
    bool startOn(const QString &name);
    [[nodiscard]] std::optional<QByteArray> run(const QString &program, const QStringList &arguments) const;

    ChildProcess m_server;
    QProcessEnvironment m_environment;
    QString m_name;
    QString m_failure;
};
