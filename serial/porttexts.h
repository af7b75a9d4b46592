#pragma once

#include <string_view>

// What the user reads of a port, as UTF-8, on every platform: how a box describes a local or a remote
// port, why it did not open, what is wrong with a remote port's address, and the address dialog.
namespace texts {

// What a "ComN" box says of its port, in its tooltip and to a screen reader:
// "/dev/ttyUSB0 — FTDI FT232R USB UART, серийный номер A10K2ZQ3", "COM2 — нет устройства",
// "COM1 закреплён за отключённым адаптером".
inline constexpr std::string_view comLead = "COM";
inline constexpr std::string_view deviceSeparator = " — ";
inline constexpr std::string_view noDevice = "нет устройства";
inline constexpr std::string_view plainSerialPort = "последовательный порт";
inline constexpr std::string_view serialNumberLead = ", серийный номер ";
inline constexpr std::string_view reservedNumberTail = " закреплён за отключённым адаптером";

// A ticked box whose device went away: "COM1 — /dev/ttyUSB0 отключён, ждёт возвращения".
inline constexpr std::string_view awaitingReturnTail = " отключён, ждёт возвращения";

// Why a port would not open, after its device: "/dev/ttyUSB0 — занят другой программой".
inline constexpr std::string_view noSuchDevice = "нет такого устройства";
inline constexpr std::string_view busyDevice = "занят другой программой";
inline constexpr std::string_view noPermission = "нет прав на открытие: пользователь должен быть в группе dialout";
inline constexpr std::string_view driverErrorLead = "не открывается: ";
inline constexpr std::string_view driverRefusedSettings = "драйвер не принял настройки";
inline constexpr std::string_view nothingBehindNode = "за этим узлом нет устройства";
inline constexpr std::string_view inputOutputError = "ошибка ввода-вывода";
inline constexpr std::string_view linkLoop = "ссылки замыкаются в кольцо";
inline constexpr std::string_view isFolder = "это папка, а не последовательный порт";
inline constexpr std::string_view isRegularFile = "это обычный файл, а не последовательный порт";
inline constexpr std::string_view isFifo = "это канал FIFO, а не последовательный порт";
inline constexpr std::string_view notSerialPort = "это не последовательный порт";
inline constexpr std::string_view nodevMount = "файловая система смонтирована с nodev: устройства на ней не открываются";

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

// A box's description of its remote port, the address and its state after deviceSeparator:
// "COM3 — rfc2217://host:7000 — соединение…".
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
