#pragma once

#include <QProxyStyle>

// The application's style, but for the frame of a group box, which it draws in bands of fewer than 96 rows
// of device pixels. Fusion draws that frame by stretching a small picture with smooth scaling, which Qt's
// raster engine fills row by row; a fill of 96 rows or more it splits among the threads of
// QThreadPool::globalInstance(), started for the purpose, which then idle for 30 seconds after each repaint
// of a group box. The frames here are a few hundred pixels each, too few to gain anything from other
// threads: drawn in bands, they are the same pixels, painted by the GUI thread alone, and the program
// starts no thread pool.
class GroupFrameStyle final : public QProxyStyle
{
    Q_OBJECT
public:
    // key: the name of the style to draw as, e.g. QApplication::style()->name().
    explicit GroupFrameStyle(const QString &key);

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
};
