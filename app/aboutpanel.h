#pragma once

#include <QGroupBox>

class QLabel;
class QPlainTextEdit;

// Frame4: the about panel with the author and terms texts and the picture.
// The menu item toggles it; a click on its own surface, the picture or the
// author text hides it; the terms text and the empty picture keep it open.
class AboutPanel final : public QGroupBox
{
    Q_OBJECT
public:
    explicit AboutPanel(QWidget *parent = nullptr);

    void toggle();
    void setTexts(const QString &authorText, const QString &termsText);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPlainTextEdit *m_authorText = nullptr;
    QPlainTextEdit *m_termsText = nullptr;
    QLabel *m_picture = nullptr;
};
