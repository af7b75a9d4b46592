#pragma once

#include <string_view>

// What the user reads of a port served over the network, as UTF-8: what is wrong with an address, why a
// connection did not open, how a box describes its remote port, and the address dialog.
namespace texts {

// What is wrong with a typed or stored address.
inline constexpr std::string_view addressEmpty = "адрес не указан";
inline constexpr std::string_view addressTooLong = "адрес длиннее 1024 знаков";
inline constexpr std::string_view addressScheme = "адрес начинается с rfc2217:// или rfc2217+tls://";
inline constexpr std::string_view addressNoHost = "не указан сервер";
inline constexpr std::string_view addressBadHost = "недопустимое имя сервера";
inline constexpr std::string_view addressIpv6Brackets = "адрес IPv6 пишется в квадратных скобках: [::1]";
inline constexpr std::string_view addressNoPort = "не указан порт: rfc2217://сервер:порт";
inline constexpr std::string_view addressBadPort = "порт — число от 1 до 65535";
inline constexpr std::string_view addressBadOption = "после ? допустимо только ca=файл";
inline constexpr std::string_view addressCaWithoutTls = "файл ca= задаётся только для rfc2217+tls://";
inline constexpr std::string_view mappingNotText = "запись не является строкой";

// Why a connection did not open, or what became of it.
inline constexpr std::string_view hostNotFound = "сервер не найден";
inline constexpr std::string_view connectionRefused = "соединение отклонено";
inline constexpr std::string_view noAnswer = "сервер не отвечает";
inline constexpr std::string_view notRfc2217 = "не сервер RFC 2217";
inline constexpr std::string_view serverClosed = "сервер закрыл соединение";
inline constexpr std::string_view connectionFailed = "соединение не установлено";
inline constexpr std::string_view settingsRefused = "сервер не принял настройки";
inline constexpr std::string_view bothHandshakes = "RFC 2217 не задаёт RTS/CTS и XON/XOFF вместе";
inline constexpr std::string_view caFileUnreadable = "файл центров сертификации не читается";
inline constexpr std::string_view tlsFailed = "защищённое соединение не установлено";
inline constexpr std::string_view certificateRefusedLead = "сертификат сервера отклонён: ";
inline constexpr std::string_view certificateUnknownIssuer = "выдан неизвестным центром сертификации";
inline constexpr std::string_view certificateOtherName = "выдан для другого имени";
inline constexpr std::string_view certificateExpired = "срок действия истёк";
inline constexpr std::string_view certificateNotYetValid = "срок действия ещё не начался";
inline constexpr std::string_view certificateRevoked = "отозван";
inline constexpr std::string_view certificateInvalid = "не прошёл проверку";

// A box's description of its remote port: "COM3 — rfc2217://host:7000 — соединение…".
inline constexpr std::string_view remoteSeparator = " — ";
inline constexpr std::string_view remoteOpening = "соединение…";
inline constexpr std::string_view remoteWaiting = "соединение потеряно, ждёт восстановления";
inline constexpr std::string_view remoteMappingBroken = "неверный адрес удалённого порта: ";

// The box's menu and the address dialog.
inline constexpr std::string_view remotePortAction = "Удалённый порт…";
inline constexpr std::string_view localPortAction = "Локальный порт";
inline constexpr std::string_view remoteDialogTitle = "Удалённый порт COM%1";
inline constexpr std::string_view remoteDialogLabel = "Адрес порта на сервере RFC 2217:";
inline constexpr std::string_view remoteDialogHint =
    "rfc2217://сервер:порт, или rfc2217+tls://сервер:порт с проверкой сертификата "
    "(?ca=файл.pem — свой центр сертификации)";
inline constexpr std::string_view remoteDialogAccept = "Подключить";
inline constexpr std::string_view remoteDialogCancel = "Отмена";

} // namespace texts
