#pragma once

#include <QString>

#include <string_view>

[[nodiscard]] inline QString qs(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
