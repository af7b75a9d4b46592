#pragma once

#include "remoteaddress.h"

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the address of the port on an RFC 2217 server that a COM number is to stand for. What is
// wrong with the address is said under it as it is typed, and only a valid one is accepted.
class RemotePortDialog final : public QDialog
{
    Q_OBJECT
public:
    RemotePortDialog(int comNumber, const QString &address, QWidget *parent = nullptr);

    // The address accepted; nothing before, or when the dialog was cancelled.
    [[nodiscard]] const std::optional<RemoteAddress> &address() const { return m_address; }
    // Runs the dialog over `parent`.
    [[nodiscard]] static std::optional<RemoteAddress> ask(QWidget *parent, int comNumber, const QString &address);

private:
    void check();

    QLineEdit *m_edit = nullptr;
    QLabel *m_problem = nullptr;
    QPushButton *m_accept = nullptr;
    std::optional<RemoteAddress> m_address;
};
