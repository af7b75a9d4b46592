#pragma once

#include "channeltable.h"
#include "colorcode.h"

#include <QString>

// The controls a channel owns, as the handlers and the poll see them.
// Channels are counted from 0 (COM1) to 3 (COM4).
class Controls
{
public:
    virtual ~Controls() = default;

    [[nodiscard]] virtual int checkValue(int channel) const = 0;
    // Ticked, exactly: a partly ticked box (2) is not.
    [[nodiscard]] bool isEnabled(int channel) const { return checkValue(channel) == 1; }
    // A change of the value runs the channel's enable handler, as a click does.
    virtual void setCheckValue(int channel, int value) = 0;

    [[nodiscard]] virtual QString pinText(int channel, Pin pin) const = 0;
    virtual void setPinText(int channel, Pin pin, const QString &text) = 0;
    virtual void setIndicatorColor(int channel, Pin pin, ColorCode color) = 0;

    [[nodiscard]] virtual ColorCode buttonColor(int channel, Line line) const = 0;
    virtual void setButtonColor(int channel, Line line, ColorCode color) = 0;

    virtual void setStatusCaption(int channel, const QString &caption) = 0;

    [[nodiscard]] virtual QString comboText(int comboIndex) const = 0;

    // Modal: returns once the user has closed the message.
    virtual void showMessage(const QString &text) = 0;
};
