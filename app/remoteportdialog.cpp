#include "remoteportdialog.h"

#include "qstringfrom.h"
#include "porttexts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Typed text and the texts about it are never taken for markup.
QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

} // namespace

RemotePortDialog::RemotePortDialog(int comNumber, const QString &address, QWidget *parent)
    : QDialog(parent), m_edit(new QLineEdit(address, this)), m_problem(plainLabel({}, this))
{
    setWindowTitle(qs(texts::remoteDialogTitle).arg(comNumber));
    auto *label = plainLabel(qs(texts::remoteDialogLabel), this);
    label->setBuddy(m_edit);
    m_edit->setAccessibleName(label->text());
    m_edit->setObjectName(QStringLiteral("address"));
    m_problem->setObjectName(QStringLiteral("problem"));
    auto *buttons = new QDialogButtonBox(this);
    m_accept = buttons->addButton(qs(texts::remoteDialogAccept), QDialogButtonBox::AcceptRole);
    buttons->addButton(qs(texts::remoteDialogCancel), QDialogButtonBox::RejectRole);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_edit);
    layout->addWidget(plainLabel(qs(texts::remoteDialogHint), this));
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    connect(m_edit, &QLineEdit::textChanged, this, &RemotePortDialog::check);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::rejected, this, [this] { m_address.reset(); });
    check();
}

// An empty field says nothing yet; it only cannot be accepted.
void RemotePortDialog::check()
{
    const RemoteAddressParse parse = RemoteAddressParse::from(m_edit->text());
    m_address = parse.address;
    m_problem->setText(m_edit->text().trimmed().isEmpty() ? QString() : parse.error);
    m_accept->setEnabled(parse.address.has_value());
}

std::optional<RemoteAddress> RemotePortDialog::ask(QWidget *parent, int comNumber, const QString &address)
{
    RemotePortDialog dialog(comNumber, address, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.address() : std::nullopt;
}
