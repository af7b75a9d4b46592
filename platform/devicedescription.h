#pragma once

#include <QString>
#include <QStringView>

// How a box describes its port, from strings that devices and drivers chose.

// One line of printable text of at most 64 characters, cut and checked by character, never inside one (an
// emoji in a product name shows as itself): blanks and line breaks run together, other control and
// format characters become U+FFFD.
[[nodiscard]] QString deviceText(QStringView raw);

// "LEAD — MODEL, серийный номер SERIAL", "LEAD — последовательный порт" where the model is not known.
[[nodiscard]] QString describeDevice(const QString &lead, const QString &model, const QString &serial);
