#include "aboutpanel.h"

#include "qstringfrom.h"
#include "screencolor.h"
#include "windowlayout.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>

namespace {

void place(QWidget &widget, std::string_view name, const windowlayout::Rect &rect)
{
    widget.setObjectName(qs(name));
    widget.setGeometry(rect.x, rect.y, rect.width, rect.height);
}

[[nodiscard]] QPlainTextEdit *makeText(QWidget *parent, std::string_view name, const windowlayout::Rect &rect,
                                       ColorCode background)
{
    auto *text = new QPlainTextEdit(parent);
    place(*text, name, rect);
    text->setReadOnly(true);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    paintRole(*text, QPalette::Base, background);
    return text;
}

[[nodiscard]] bool isClick(const QEvent *event, const QWidget &widget)
{
    if (event->type() != QEvent::MouseButtonRelease)
        return false;
    const auto *mouse = static_cast<const QMouseEvent *>(event);
    return mouse->button() == Qt::LeftButton && widget.rect().contains(mouse->position().toPoint());
}

} // namespace

AboutPanel::AboutPanel(QWidget *parent)
    : QGroupBox(parent)
{
    using namespace windowlayout;
    setObjectName(qs(aboutPanelName));
    paintRole(*this, QPalette::Window, aboutBackground);
    setAutoFillBackground(true);

    m_authorText = makeText(this, authorTextName, authorTextRect, aboutBackground);
    m_authorText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_termsText = makeText(this, termsTextName, termsTextRect, termsBackground);
    m_termsText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    m_picture = new QLabel(this);
    place(*m_picture, pictureName, pictureRect);
    m_picture->setScaledContents(true);
    m_picture->setPixmap(QPixmap(qs(pictureResource)));

    place(*new QLabel(this), emptyPictureName, emptyPictureRect);

    m_authorText->installEventFilter(this);
    m_authorText->viewport()->installEventFilter(this);
    setVisible(false);
}

void AboutPanel::toggle()
{
    // The panel's own flag, not whether the window around it is on screen.
    setVisible(isHidden());
}

void AboutPanel::setTexts(const QString &authorText, const QString &termsText)
{
    m_authorText->setPlainText(authorText);
    m_termsText->setPlainText(termsText);
}

// The pictures leave their clicks to the panel; only the larger one hides it.
void AboutPanel::mouseReleaseEvent(QMouseEvent *event)
{
    QGroupBox::mouseReleaseEvent(event);
    if (!isClick(event, *this))
        return;
    const QWidget *target = childAt(event->position().toPoint());
    if (target == nullptr || target == m_picture)
        setVisible(false);
}

bool AboutPanel::eventFilter(QObject *watched, QEvent *event)
{
    const auto *widget = qobject_cast<QWidget *>(watched);
    if (widget != nullptr && isClick(event, *widget))
        setVisible(false);
    return QGroupBox::eventFilter(watched, event);
}
