#include "receivedfield.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>
#include <cstdlib>

namespace {

// QLineEdit's own, which its paint keeps between the text and the contents rectangle.
constexpr int horizontalMargin = 2;
constexpr int verticalMargin = 1;
// What is laid out beyond the field's width, so that a character cut at the start of the laid-out part
// (a ligature, a kerning pair) is out of sight.
constexpr int slackInLineHeights = 2;
constexpr qsizetype firstGuess = 64; // characters; multiplied by four while they do not fill the field
// Beyond that many different characters, the vertical metrics are taken from the first ones.
constexpr qsizetype distinctForMetrics = 1024;

// What QLineEdit puts in its layout for a character of its text.
QChar displayed(QChar c)
{
    const char16_t u = c.unicode();
    if ((u < 0x20 && u != 0x09) || u == QChar::LineSeparator || u == QChar::ParagraphSeparator
        || u == QChar::ObjectReplacementCharacter)
        return QChar(u' ');
    return c;
}

bool ordersRightToLeft(char32_t c)
{
    switch (QChar::direction(c)) {
    case QChar::DirR:
    case QChar::DirAL:
    case QChar::DirRLE:
    case QChar::DirRLO:
    case QChar::DirLRE:
    case QChar::DirLRO:
    case QChar::DirPDF:
    case QChar::DirRLI:
    case QChar::DirLRI:
    case QChar::DirFSI:
    case QChar::DirPDI:
        return true; // explicit embeddings too: what they enclose is ordered by what precedes it
    default:
        return false;
    }
}

// Moves back to the start of a grapheme, so that a mark or the low half of a pair does not start a layout.
qsizetype clusterStart(const QString &text, qsizetype start)
{
    constexpr char16_t zeroWidthJoiner = 0x200D;
    while (start > 0
           && (text[start].isLowSurrogate() || text[start].isMark() || text[start].unicode() == zeroWidthJoiner
               || text[start - 1].unicode() == zeroWidthJoiner))
        --start;
    return start;
}

// What QAccessibleLineEdit tells of a line edit in its normal echo mode, whichever mode the field is in.
class ReceivedFieldAccessible final : public QAccessibleWidget,
                                      public QAccessibleTextInterface,
                                      public QAccessibleEditableTextInterface
{
public:
    explicit ReceivedFieldAccessible(ReceivedField *field)
        : QAccessibleWidget(field, QAccessible::EditableText)
    {
        addControllingSignal(QStringLiteral("textChanged(const QString&)"));
        addControllingSignal(QStringLiteral("returnPressed()"));
    }

    QString text(QAccessible::Text t) const override
    {
        QString str = t == QAccessible::Value ? field()->text() : QString();
        if (str.isEmpty())
            str = QAccessibleWidget::text(t);
        if (str.isEmpty() && t == QAccessible::Description)
            str = field()->placeholderText();
        return str;
    }
    void setText(QAccessible::Text t, const QString &text) override
    {
        if (t == QAccessible::Value)
            field()->setText(text);
        else
            QAccessibleWidget::setText(t, text);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.editable = true;
        state.readOnly = field()->isReadOnly();
        state.selectableText = true;
        return state;
    }
    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        if (t == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (selectionIndex == 0 && field()->hasSelectedText()) {
            *startOffset = field()->selectionStart();
            *endOffset = field()->selectionEnd();
        }
    }
    int selectionCount() const override { return field()->hasSelectedText() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int selectionIndex) override
    {
        if (selectionIndex == 0)
            field()->deselect();
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override
    {
        if (selectionIndex == 0)
            field()->setSelection(startOffset, endOffset - startOffset);
    }
    int cursorPosition() const override { return field()->cursorPosition(); }
    void setCursorPosition(int position) override { field()->setCursorPosition(position); }
    QString text(int startOffset, int endOffset) const override
    {
        return startOffset > endOffset ? QString() : field()->text().mid(startOffset, endOffset - startOffset);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                             int *endOffset) const override
    {
        return QAccessibleTextInterface::textBeforeOffset(offset == -2 ? cursorPosition() : offset, boundaryType,
                                                          startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                            int *endOffset) const override
    {
        return QAccessibleTextInterface::textAfterOffset(offset == -2 ? cursorPosition() : offset, boundaryType,
                                                         startOffset, endOffset);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                         int *endOffset) const override
    {
        return QAccessibleTextInterface::textAtOffset(offset == -2 ? cursorPosition() : offset, boundaryType,
                                                      startOffset, endOffset);
    }
    int characterCount() const override { return int(field()->text().size()); }
    QRect characterRect(int offset) const override
    {
        QRect rect = field()->characterRect(offset);
        if (!rect.isEmpty())
            rect.moveTo(field()->mapToGlobal(rect.topLeft()));
        return rect;
    }
    int offsetAtPoint(const QPoint &point) const override { return field()->offsetAt(field()->mapFromGlobal(point)); }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        field()->setCursorPosition(endIndex);
        field()->setCursorPosition(startIndex);
    }
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return QString();
    }

    void deleteText(int startOffset, int endOffset) override
    {
        field()->setText(field()->text().remove(startOffset, endOffset - startOffset));
    }
    void insertText(int offset, const QString &text) override { field()->setText(field()->text().insert(offset, text)); }
    void replaceText(int startOffset, int endOffset, const QString &text) override
    {
        field()->setText(field()->text().replace(startOffset, endOffset - startOffset, text));
    }

private:
    ReceivedField *field() const { return static_cast<ReceivedField *>(widget()); }
};

QAccessibleInterface *fieldInterface(const QString &className, QObject *object)
{
    if (className != QLatin1String("ReceivedField"))
        return nullptr;
    auto *field = qobject_cast<ReceivedField *>(object);
    return field != nullptr ? new ReceivedFieldAccessible(field) : nullptr;
}

} // namespace

ReceivedField::ReceivedField(QWidget *parent)
    : QLineEdit(parent)
    , m_seen(65536 / 64)
{
    static const bool factoryInstalled = (QAccessible::installFactory(fieldInterface), true);
    Q_UNUSED(factoryInstalled);
    connect(this, &QLineEdit::textChanged, this, &ReceivedField::textReplaced);
    connect(this, &QLineEdit::selectionChanged, this, &ReceivedField::cursorOrSelectionMoved);
    connect(this, &QLineEdit::cursorPositionChanged, this, &ReceivedField::cursorOrSelectionMoved);
}

ReceivedField::~ReceivedField() = default;

// What a showing field draws is what QLineEdit draws with its cursor at the end and nothing selected; a
// style sheet brings a palette of its own, and a right-to-left field scrolls from the other side.
bool ReceivedField::canShowOnly() const
{
    return isReadOnly() && !hasSelectedText() && cursorPosition() == text().size() && inputMask().isEmpty()
        && layoutDirection() == Qt::LeftToRight && !style()->inherits("QStyleSheetStyle");
}

void ReceivedField::setEchoModeKeepingHints(EchoMode mode)
{
    const Qt::InputMethodHints hints = inputMethodHints();
    QLineEdit::setEchoMode(mode);
    setInputMethodHints(hints);
}

void ReceivedField::showOnly()
{
    if (isShowingOnly() || !canShowOnly())
        return;
    setEchoModeKeepingHints(QLineEdit::NoEcho);
    m_view.stale = true;
}

// QLineEdit keeps its horizontal scroll from one paint to the next and works out the next one from it. A
// paint with nothing to display takes it back to the start, and the next one, with the text, to the end,
// where this field showed it; so a click lands on the character that was under the pointer.
void ReceivedField::becomePlain()
{
    if (!isShowingOnly())
        return;
    if (!isVisible()) {
        setEchoModeKeepingHints(QLineEdit::Normal);
        m_view.stale = true;
        return;
    }
    QImage scratch(1, 1, QImage::Format_ARGB32_Premultiplied);
    const QRegion corner(0, 0, 1, 1);
    m_paintNatively = true;
    render(&scratch, QPoint(), corner, {});
    setEchoModeKeepingHints(QLineEdit::Normal);
    render(&scratch, QPoint(), corner, {});
    m_paintNatively = false;
    m_view.stale = true;
}

void ReceivedField::textReplaced()
{
    m_view.stale = true;
    showOnly();
}

void ReceivedField::cursorOrSelectionMoved()
{
    if (isShowingOnly() && !canShowOnly())
        becomePlain();
}

bool ReceivedField::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
        becomePlain(); // QLineEdit handles them with its whole text laid out
        break;
    case QEvent::MouseMove: // a drag that a new text interrupted goes on from where the pointer is
        if (static_cast<QMouseEvent *>(event)->buttons() != Qt::NoButton)
            becomePlain();
        break;
    case QEvent::Resize:
        m_view.stale = true;
        break;
    case QEvent::FontChange:
    case QEvent::StyleChange:
        m_view.stale = true;
        m_whole = {};
        break;
    default:
        break;
    }
    return QLineEdit::event(event);
}

void ReceivedField::changeEvent(QEvent *event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::ReadOnlyChange || event->type() == QEvent::LayoutDirectionChange
        || event->type() == QEvent::StyleChange) {
        if (canShowOnly())
            showOnly();
        else
            becomePlain();
    }
}

// QLineEdit::paintEvent, for its cursor at the end of the text and nothing selected, with the end of the
// text laid out instead of all of it.
void ReceivedField::paintEvent(QPaintEvent *event)
{
    if (m_paintNatively || !isShowingOnly() || text().isEmpty()) {
        QLineEdit::paintEvent(event); // an empty text shows the placeholder, if any
        m_view.stale = true;
        return;
    }
    QPainter painter(this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
    const QRect rect = textRect(panel);
    painter.setClipRect(rect);
    updateView(rect);
    painter.setPen(palette().text().color());
    m_view.layout.draw(&painter, m_view.topLeft, {}, rect);
}

QRect ReceivedField::textRect(const QStyleOptionFrame &panel) const
{
    return style()->subElementRect(QStyle::SE_LineEditContents, &panel, this).marginsRemoved(textMargins());
}

void ReceivedField::layOut(QTextLayout &layout, const QString &text, qsizetype start) const
{
    QString shown = text.sliced(start);
    for (QChar &c : shown)
        c = displayed(c);
    layout.setFont(font());
    layout.setCacheEnabled(true);
    layout.setText(shown);
    QTextOption option = layout.textOption();
    option.setTextDirection(Qt::LayoutDirectionAuto); // as QLineEdit leaves its layout
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    layout.setTextOption(option);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
}

// One pass over the text: which characters occur in it. QLineEdit centres its line on the height of the
// bounding box of the whole text, and puts the baseline by the ascent of the fonts its line uses; both
// depend on which characters occur, not on how often, so a string of each character once gives both.
void ReceivedField::measureWholeText(const QString &text)
{
    QString distinct;
    std::vector<char16_t> &seen = m_seenList;
    seen.clear();
    QSet<char32_t> seenWide;
    bool rightToLeft = false;
    const auto note = [&](char32_t c, QStringView unit) {
        rightToLeft = rightToLeft || ordersRightToLeft(c);
        if (distinct.size() < distinctForMetrics)
            distinct += unit;
    };
    const QChar *data = text.constData();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = data[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < size && data[i + 1].isLowSurrogate()) {
            const char32_t wide = QChar::surrogateToUcs4(c, data[i + 1].unicode());
            if (!seenWide.contains(wide)) {
                seenWide.insert(wide);
                note(wide, QStringView(data + i, 2));
            }
            ++i;
            continue;
        }
        quint64 &word = m_seen[c >> 6];
        const quint64 bit = quint64(1) << (c & 63);
        if ((word & bit) == 0) {
            word |= bit;
            seen.push_back(c);
            note(c, QStringView(data + i, 1));
        }
    }
    for (char16_t c : seen)
        m_seen[c >> 6] = 0;

    m_whole.rightToLeft = rightToLeft;
    if (distinct == m_whole.distinct && m_whole.boundingHeight > 0)
        return;
    m_whole.distinct = distinct;
    m_whole.boundingHeight = fontMetrics().boundingRect(distinct).height();
    QTextLayout layout;
    layOut(layout, distinct, 0);
    m_whole.ascent = qRound(layout.lineAt(0).ascent());
}

void ReceivedField::updateView(const QRect &rect)
{
    const QString all = text();
    const int lineWidth = rect.width() - 2 * horizontalMargin;
    const QFontMetrics metrics = fontMetrics();
    if (m_view.stale || m_view.lineWidth != lineWidth) {
        measureWholeText(all);
        qsizetype start = 0;
        if (m_whole.rightToLeft) {
            layOut(m_view.layout, all, 0);
        } else {
            const qreal wanted = lineWidth + slackInLineHeights * metrics.height();
            for (qsizetype count = firstGuess;; count *= 4) {
                start = clusterStart(all, std::max<qsizetype>(0, all.size() - count));
                layOut(m_view.layout, all, start);
                if (start == 0 || m_view.layout.lineAt(0).naturalTextWidth() >= wanted)
                    break;
            }
        }
        m_view.start = start;
        m_view.laidOut = all.size() - start;
        m_view.lineWidth = lineWidth;
        m_view.stale = false;
    }

    // From here on as QLineEdit::paintEvent, its scroll worked out as on its first paint of this text.
    const int lineHeight = std::max(m_whole.boundingHeight, metrics.height());
    const Qt::LayoutDirection direction = m_whole.rightToLeft && all.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    const Qt::Alignment alignment = QStyle::visualAlignment(direction, this->alignment());
    int vscroll = 0;
    switch (alignment & Qt::AlignVertical_Mask) {
    case Qt::AlignBottom:
        vscroll = rect.y() + rect.height() - lineHeight - verticalMargin;
        break;
    case Qt::AlignTop:
        vscroll = rect.y() + verticalMargin;
        break;
    default:
        vscroll = rect.y() + (rect.height() - lineHeight + 1) / 2;
        break;
    }
    const QRect lineRect(rect.x() + horizontalMargin, vscroll, lineWidth, lineHeight);
    const QTextLine line = m_view.layout.lineAt(0);
    const int cix = qRound(line.cursorToX(int(m_view.laidOut)));
    const int widthUsed = qRound(line.naturalTextWidth()) + 1;
    int hscroll = 0;
    if (m_view.start > 0) {
        hscroll = cix - lineRect.width() + 1; // the end in sight: the laid-out part is wider than the field
    } else if (widthUsed <= lineRect.width()) {
        switch (alignment & ~(Qt::AlignAbsolute | Qt::AlignVertical_Mask)) {
        case Qt::AlignRight:
            hscroll = widthUsed - lineRect.width() + 1;
            break;
        case Qt::AlignHCenter:
            hscroll = (widthUsed - lineRect.width()) / 2;
            break;
        default:
            hscroll = 0;
            break;
        }
    } else if (cix >= lineRect.width()) {
        hscroll = cix - lineRect.width() + 1;
    } else if (cix < 0) {
        hscroll = cix;
    }
    m_view.hscroll = hscroll;
    m_view.lineTop = lineRect.top();
    m_view.topLeft = lineRect.topLeft() - QPoint(hscroll, m_whole.ascent - metrics.ascent());
}

QRect ReceivedField::characterRect(int offset) const
{
    const QString all = text();
    if (offset < 0 || offset >= all.size())
        return {};
    const int height = fontMetrics().height();
    if (!isShowingOnly()) {
        // QLineEdit's layout is not to be reached; one of the same text, moved as its cursor shows, is.
        QTextLayout layout;
        layOut(layout, all, 0);
        const QTextLine line = layout.lineAt(0);
        const int shift = cursorRect().x() + 5 - qRound(line.cursorToX(cursorPosition())); // QLineEdit's cursor is 5 px left
        const int left = qRound(line.cursorToX(offset)), right = qRound(line.cursorToX(offset + 1));
        return QRect(std::min(left, right) + shift, cursorRect().top(), std::abs(right - left), height);
    }
    auto *self = const_cast<ReceivedField *>(this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    self->updateView(textRect(panel));
    if (offset < m_view.start)
        return {};
    const QTextLine line = m_view.layout.lineAt(0);
    const int left = qRound(line.cursorToX(int(offset - m_view.start)));
    const int right = qRound(line.cursorToX(int(offset - m_view.start + 1)));
    return QRect(m_view.topLeft.x() + std::min(left, right), m_view.lineTop, std::abs(right - left), height);
}

int ReceivedField::offsetAt(QPoint point) const
{
    if (text().isEmpty())
        return 0;
    if (!isShowingOnly())
        return const_cast<ReceivedField *>(this)->cursorPositionAt(point);
    auto *self = const_cast<ReceivedField *>(this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    self->updateView(textRect(panel));
    return int(m_view.start) + m_view.layout.lineAt(0).xToCursor(point.x() - m_view.topLeft.x());
}
