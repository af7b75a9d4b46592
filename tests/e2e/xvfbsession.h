#pragma once

#include <QProcess>
#include <QString>

#include <chrono>

// A private X server (Xvfb) on the first free display number, killed when
// the session goes out of scope, whatever happened meanwhile.
class XvfbSession final
{
public:
    XvfbSession() = default;
    ~XvfbSession();
    XvfbSession(const XvfbSession &) = delete;
    XvfbSession &operator=(const XvfbSession &) = delete;

    // Waits up to timeout for the server's socket; failure() says why not.
    bool start(std::chrono::milliseconds timeout);
    [[nodiscard]] QString display() const { return QStringLiteral(":%1").arg(m_number); }
    [[nodiscard]] QString failure() const { return m_failure; }

private:
    bool startOn(int number, std::chrono::milliseconds timeout);
    void stop();

    QProcess m_server;
    int m_number = -1;
    QString m_failure;
};
