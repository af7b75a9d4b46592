#pragma once

#include <QLineEdit>
#include <QTextLayout>

#include <memory>
#include <vector>

// The RD field: a read-only line edit that is handed, on every poll tick, all that arrived since the
// last one, some 27,000 characters at 921,600 baud, of which its 33 pixels show a handful.
//
// QLineEdit shapes and lays out its whole text on every setText() and measures all of it again on every
// paint, so that work grows with what arrived. While the field only shows its text (read-only, nothing
// selected, the cursor at the end, where setText() puts it), this one keeps QLineEdit's text as it is, for
// text(), copying, tests and screen readers, but tells QLineEdit to display nothing of it (its NoEcho mode)
// and draws itself what QLineEdit would show: the end of the text, laid out from the last few dozen
// characters only, in the same place, font, fallback fonts and colours. The moment a user (or an
// assistive tool) clicks, presses a key, selects or moves the cursor, it is a plain line edit again, which
// lays the whole text out once; the next text that replaces it makes it a showing field again.
//
// A text with right-to-left characters is laid out whole, as QLineEdit does: its end is not where it
// would be without the rest. Screen readers get the whole text whatever the mode (see the .cpp).
class ReceivedField final : public QLineEdit
{
    Q_OBJECT
public:
    explicit ReceivedField(QWidget *parent = nullptr);
    ~ReceivedField() override;

    // Whether only what shows is laid out now, rather than the whole text as a plain line edit does.
    [[nodiscard]] bool isShowingOnly() const { return echoMode() == QLineEdit::NoEcho; }
    // How many characters of the text, counted back from its end, are laid out now: all of them while the
    // field is a plain line edit, those the last paint drew from while it only shows its text.
    [[nodiscard]] qsizetype laidOutLength() const
    {
        return !isShowingOnly() ? text().size() : m_view.stale ? 0 : m_view.laidOut;
    }

    // In widget coordinates, whichever the mode: where character `offset` is drawn (empty when it does
    // not show), and the cursor position nearest to `point`.
    [[nodiscard]] QRect characterRect(int offset) const;
    [[nodiscard]] int offsetAt(QPoint point) const;

protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // What a paint of a showing field draws: the layout of the text's last characters and where it goes.
    struct View
    {
        bool stale = true;
        QTextLayout layout;
        qsizetype start = 0;   // where in the text the laid-out characters begin
        qsizetype laidOut = 0; // text().size() - start
        int lineWidth = -1;    // the width it was laid out for
        int hscroll = 0;       // as QLineEdit's: the line's x at the left edge of the line rectangle
        int lineTop = 0;
        QPoint topLeft;        // where the layout is drawn
    };
    // What depends on which characters occur anywhere in the text, not on how many: the height that
    // QLineEdit's vertical centring takes from the bounding box of the whole text, and the line's ascent.
    struct WholeTextMetrics
    {
        QString distinct; // every character of the text once, in order of first appearance
        bool rightToLeft = false;
        int boundingHeight = 0;
        int ascent = 0;
    };

    [[nodiscard]] bool canShowOnly() const;
    void showOnly();
    void becomePlain();
    void textReplaced();
    void cursorOrSelectionMoved();
    void setEchoModeKeepingHints(EchoMode mode);
    [[nodiscard]] QRect textRect(const QStyleOptionFrame &panel) const;
    void updateView(const QRect &textRect);
    void measureWholeText(const QString &text);
    void layOut(QTextLayout &layout, const QString &text, qsizetype start) const;

    View m_view;
    WholeTextMetrics m_whole;
    std::vector<quint64> m_seen; // a bit for each UTF-16 code unit, cleared after use
    std::vector<char16_t> m_seenList;
    bool m_paintNatively = false;
};
