#include "winserialport.h"

#include "portlimits.h"

#include <QWinEventNotifier>

#include <algorithm>
#include <array>

#include <windows.h>

// How the driver is driven, as found to work both by the Win32 documentation and under Wine 8:
// - Reading: no read timeouts at all, and each read asks for what ClearCommError says is waiting, or
//   for one byte when nothing is. Such a read ends as soon as it can, on every driver; the usual
//   "return at once with what is there" timeouts (MAXDWORD, MAXDWORD, n) make Wine wait for the whole
//   buffer instead, and WaitCommEvent there ends at once with no event, which would spin.
// - A read fails only when the device is gone: the line errors that could fail it are not turned on
//   (fAbortOnError) and there are no timeouts. Wine reports a pty whose other end closed as
//   ERROR_BROKEN_PIPE, Windows an unplugged adapter as ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE,
//   ERROR_OPERATION_ABORTED and the like; every one of them is a hang-up.
// - Wine leaves DTR and RTS as they are at a close, and raises nothing when RTS/CTS flow starts. A COM
//   number whose device is missing opens there as a bare device that refuses every request, so the open
//   fails at its first request instead.

namespace {

// From ntddser.h, which does not compile outside the driver kit.
constexpr DWORD getDtrRts = CTL_CODE(FILE_DEVICE_SERIAL_PORT, 30, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD rtsState = 0x2;

constexpr DWORD readChunk = 64 * 1024;
constexpr DWORD driverTransmitQueue = 64 * 1024;

template<typename From, typename To>
struct Mapping
{
    From from;
    To to;
};

constexpr std::array<Mapping<ParityKind, BYTE>, 5> parities{{
    {ParityKind::None, NOPARITY},
    {ParityKind::Even, EVENPARITY},
    {ParityKind::Odd, ODDPARITY},
    {ParityKind::Space, SPACEPARITY},
    {ParityKind::Mark, MARKPARITY},
}};

constexpr std::array<Mapping<StopBitsKind, BYTE>, 3> stopBitsKinds{{
    {StopBitsKind::One, ONESTOPBIT},
    {StopBitsKind::OneAndHalf, ONE5STOPBITS},
    {StopBitsKind::Two, TWOSTOPBITS},
}};

template<typename From, typename To, std::size_t N>
[[nodiscard]] To lookUp(const std::array<Mapping<From, To>, N> &table, From from)
{
    return std::ranges::find(table, from, &Mapping<From, To>::from)->to;
}

// The DCB's own rule, which drivers enforce unevenly: one and a half stop bits go with five data bits
// only, and two stop bits with any number but five.
[[nodiscard]] bool stopBitsFit(const LineSettings &settings)
{
    return settings.stopBits == StopBitsKind::One || (settings.stopBits == StopBitsKind::OneAndHalf) == (settings.dataBits == 5);
}

[[nodiscard]] HANDLE newEvent()
{
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

} // namespace

// One open of the port: the handle, and the reads and writes under way on it.
struct WinSerialPort::Device
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED read{};
    OVERLAPPED write{};
    OVERLAPPED control{};
    bool reading = false;
    bool writing = false;
    std::array<char, readChunk> buffer{};
    std::unique_ptr<QWinEventNotifier> readNotifier;
    std::unique_ptr<QWinEventNotifier> writeNotifier;

    Device()
    {
        read.hEvent = newEvent();
        write.hEvent = newEvent();
        control.hEvent = newEvent();
        readNotifier = std::make_unique<QWinEventNotifier>(read.hEvent);
        writeNotifier = std::make_unique<QWinEventNotifier>(write.hEvent);
    }
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    // The driver writes into these buffers until the operations end: they are cancelled and waited for.
    ~Device()
    {
        readNotifier.reset();
        writeNotifier.reset();
        if (handle != INVALID_HANDLE_VALUE) {
            ::CancelIoEx(handle, nullptr);
            DWORD done = 0;
            if (reading)
                ::GetOverlappedResult(handle, &read, &done, TRUE);
            if (writing)
                ::GetOverlappedResult(handle, &write, &done, TRUE);
            ::CloseHandle(handle);
        }
        for (HANDLE event : {read.hEvent, write.hEvent, control.hEvent})
            ::CloseHandle(event);
    }

    [[nodiscard]] bool escape(DWORD function) const { return ::EscapeCommFunction(handle, function); }

    // A control request on an overlapped handle needs an event of its own to wait on.
    [[nodiscard]] bool askDriver(DWORD code, DWORD &answer)
    {
        DWORD size = 0;
        return (::DeviceIoControl(handle, code, nullptr, 0, &answer, sizeof answer, &size, &control)
                || ::GetLastError() == ERROR_IO_PENDING)
               && ::GetOverlappedResult(handle, &control, &size, TRUE) && size == sizeof answer;
    }
};

WinSerialPort::WinSerialPort(QString comName, QObject *parent)
    : QObject(parent), m_comName(std::move(comName)), m_received(receiveCapacity)
{
}

WinSerialPort::~WinSerialPort()
{
    close();
}

bool WinSerialPort::setPortOpen(bool open)
{
    if (!open) {
        close();
        return true;
    }
    return m_state == State::Closed && this->open();
}

bool WinSerialPort::open()
{
    m_device = std::make_unique<Device>();
    const QString path = QStringLiteral("\\\\.\\") + m_comName;
    m_device->handle = ::CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    COMMTIMEOUTS noTimeouts{};
    if (m_device->handle == INVALID_HANDLE_VALUE) {
        m_device.reset();
        return false;
    }
    // A hint some drivers take: room for the whole receive buffer.
    (void)::SetupComm(m_device->handle, DWORD(receiveCapacity), driverTransmitQueue);
    if (!::SetCommTimeouts(m_device->handle, &noTimeouts) || !putInForce(m_settings, m_handshaking)) {
        release();
        return false;
    }
    connect(m_device->readNotifier.get(), &QWinEventNotifier::activated, this, &WinSerialPort::readDone);
    connect(m_device->writeNotifier.get(), &QWinEventNotifier::activated, this, &WinSerialPort::writeDone);
    m_received.clear();
    m_decoder.reset();
    m_state = State::Open;
    startRead();
    return true;
}

bool WinSerialPort::reopen()
{
    if (m_state != State::HungUp)
        return false;
    close();
    if (open())
        return true;
    m_state = State::HungUp;
    return false;
}

void WinSerialPort::close()
{
    if (m_state == State::Open)
        release();
    m_device.reset();
    m_received.clear();
    m_state = State::Closed;
}

// Unsent output is dropped, and a closed port asserts nothing: under RTS/CTS flow only taking RTS back from
// the driver drops it.
void WinSerialPort::release()
{
    if (m_device && m_state != State::HungUp) {
        const HANDLE handle = m_device->handle;
        (void)::PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_RXCLEAR);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (::GetCommState(handle, &dcb)) {
            dcb.fOutxCtsFlow = FALSE;
            dcb.fDtrControl = DTR_CONTROL_DISABLE;
            dcb.fRtsControl = RTS_CONTROL_DISABLE;
            (void)::SetCommState(handle, &dcb);
        }
    }
    m_device.reset();
    m_writing.clear();
    m_unsent.clear();
}

bool WinSerialPort::setSettings(QStringView text)
{
    const std::optional<LineSettings> wanted = parseLineSettings(text);
    if (!wanted || !stopBitsFit(*wanted) || m_state == State::HungUp
        || (m_state == State::Open && !change(*wanted, m_handshaking)))
        return false;
    m_settings = *wanted;
    return true;
}

std::optional<QString> WinSerialPort::settings() const
{
    return formatLineSettings(m_settings);
}

bool WinSerialPort::setHandshaking(qint32 handshaking)
{
    if (!isHandshaking(handshaking) || m_state == State::HungUp
        || (m_state == State::Open && !change(m_settings, handshaking)))
        return false;
    m_handshaking = handshaking;
    return true;
}

std::optional<qint32> WinSerialPort::handshaking() const
{
    return m_handshaking;
}

bool WinSerialPort::change(const LineSettings &settings, qint32 handshaking)
{
    if (putInForce(settings, handshaking))
        return true;
    // The driver refused a part after taking others: the settings in force are put back, so that they are
    // what a read reports.
    (void)putInForce(m_settings, m_handshaking);
    return false;
}

// The one way settings reach the driver, at an open and at a change alike. DTR and RTS go with them, as
// the DCB carries the lines too.
bool WinSerialPort::putInForce(const LineSettings &settings, qint32 handshaking)
{
    const HandshakingMode mode = handshakingModes[std::size_t(handshaking)];
    const HANDLE handle = m_device->handle;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb))
        return false;
    dcb.BaudRate = DWORD(settings.baudRate);
    dcb.fBinary = TRUE;
    dcb.fParity = settings.parity != ParityKind::None;
    dcb.Parity = lookUp(parities, settings.parity);
    dcb.ByteSize = BYTE(settings.dataBits);
    dcb.StopBits = lookUp(stopBitsKinds, settings.stopBits);
    dcb.fOutxCtsFlow = mode.rtsCts;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = m_dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = mode.rtsCts ? RTS_CONTROL_HANDSHAKE : m_rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.fOutX = mode.xonXoff;
    dcb.fInX = mode.xonXoff;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    DCB taken{};
    taken.DCBlength = sizeof taken;
    if (!::SetCommState(handle, &dcb) || !::GetCommState(handle, &taken)
        || !speedCloseEnough(settings.baudRate, qint32(taken.BaudRate)))
        return false;
    // Handed over asserted, as the Linux kernel does at an open; Windows drivers raise it themselves and
    // refuse this.
    if (mode.rtsCts)
        (void)m_device->escape(SETRTS);
    return true;
}

bool WinSerialPort::setDtrEnable(bool enable)
{
    return setLine(true, enable);
}

std::optional<bool> WinSerialPort::dtrEnable() const
{
    return m_dtr;
}

bool WinSerialPort::setRtsEnable(bool enable)
{
    return setLine(false, enable);
}

// Under RTS/CTS flow the driver owns RTS; not every driver says no to a change, so it is refused here.
bool WinSerialPort::setLine(bool dtr, bool enable)
{
    if (m_state == State::HungUp)
        return false;
    if (m_state == State::Open
        && ((!dtr && handshakingModes[std::size_t(m_handshaking)].rtsCts)
            || !m_device->escape(dtr ? (enable ? SETDTR : CLRDTR) : (enable ? SETRTS : CLRRTS))))
        return false;
    (dtr ? m_dtr : m_rts) = enable;
    return true;
}

// The RTS field shows the line: under RTS/CTS flow the driver's, whatever the button asks for meanwhile.
std::optional<bool> WinSerialPort::rtsEnable() const
{
    if (m_state != State::Open || !handshakingModes[std::size_t(m_handshaking)].rtsCts)
        return m_rts;
    DWORD lines = 0;
    if (!m_device->askDriver(getDtrRts, lines))
        return std::nullopt;
    return (lines & rtsState) != 0;
}

std::optional<bool> WinSerialPort::cdHolding() const
{
    return holding(MS_RLSD_ON);
}

std::optional<bool> WinSerialPort::ctsHolding() const
{
    return holding(MS_CTS_ON);
}

std::optional<bool> WinSerialPort::dsrHolding() const
{
    return holding(MS_DSR_ON);
}

std::optional<bool> WinSerialPort::holding(unsigned long line) const
{
    DWORD lines = 0;
    if (m_state != State::Open || !::GetCommModemStatus(m_device->handle, &lines))
        return std::nullopt;
    return (lines & line) != 0;
}

std::optional<QString> WinSerialPort::input()
{
    if (m_state == State::Open)
        return m_decoder.decode(m_received.take());
    if (m_state != State::HungUp)
        return std::nullopt;
    // What arrived before a hang-up is still shown once, a character it cut off as U+FFFD.
    QString rest = m_decoder.decode(m_received.take());
    rest += m_decoder.flush();
    return rest.isEmpty() ? std::nullopt : std::optional(rest);
}

bool WinSerialPort::output(QStringView text)
{
    if (m_state != State::Open)
        return false;
    const QByteArray bytes = text.toUtf8();
    if (m_writing.size() + m_unsent.size() + bytes.size() > transmitCapacity)
        return false;
    m_unsent += bytes;
    startWrite();
    return true;
}

void WinSerialPort::startRead()
{
    Device &device = *m_device;
    COMSTAT status{};
    DWORD errors = 0;
    if (!::ClearCommError(device.handle, &errors, &status)) {
        hangUp();
        return;
    }
    const DWORD wanted = std::clamp<DWORD>(status.cbInQue, 1, readChunk);
    if (!::ReadFile(device.handle, device.buffer.data(), wanted, nullptr, &device.read)
        && ::GetLastError() != ERROR_IO_PENDING) {
        hangUp();
        return;
    }
    device.reading = true;
}

// The read's end, however it ends, comes here: the one place a hang-up is noticed.
void WinSerialPort::readDone()
{
    Device &device = *m_device;
    DWORD got = 0;
    if (!::GetOverlappedResult(device.handle, &device.read, &got, FALSE)) {
        if (::GetLastError() == ERROR_IO_INCOMPLETE)
            return;
        device.reading = false;
        hangUp();
        return;
    }
    device.reading = false;
    m_received.append(QByteArrayView(device.buffer.data(), got));
    startRead();
}

void WinSerialPort::startWrite()
{
    Device &device = *m_device;
    if (device.writing || m_unsent.isEmpty())
        return;
    m_writing = std::exchange(m_unsent, QByteArray());
    if (!::WriteFile(device.handle, m_writing.constData(), DWORD(m_writing.size()), nullptr, &device.write)
        && ::GetLastError() != ERROR_IO_PENDING) {
        m_writing.clear(); // a refused write is lost, but the device may well be there
        return;
    }
    device.writing = true;
}

void WinSerialPort::writeDone()
{
    Device &device = *m_device;
    DWORD sent = 0;
    if (!device.writing)
        return;
    const bool written = ::GetOverlappedResult(device.handle, &device.write, &sent, FALSE);
    if (!written && ::GetLastError() == ERROR_IO_INCOMPLETE)
        return;
    ::ResetEvent(device.write.hEvent); // no write may follow to reset it
    device.writing = false;
    if (written)
        m_unsent.prepend(m_writing.sliced(qsizetype(sent)));
    m_writing.clear();
    startWrite();
}

// The handle is let go from the event loop: the notifier that noticed the hang-up is the device's own.
void WinSerialPort::hangUp()
{
    if (m_state != State::Open)
        return;
    m_state = State::HungUp;
    m_device->readNotifier->setEnabled(false);
    m_device->writeNotifier->setEnabled(false);
    QMetaObject::invokeMethod(
        this, [this] { if (m_state == State::HungUp) release(); }, Qt::QueuedConnection);
}
