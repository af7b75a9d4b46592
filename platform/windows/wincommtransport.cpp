#include "wincommtransport.h"

#include "porttexts.h"
#include "portlimits.h"
#include "qstringfrom.h"

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
// - A driver that ends reads with nothing (some do at a surprise removal) or fails every status request
//   has lost its device, though no request says so: a few in a row count as a hang-up.
// - Wine leaves DTR and RTS as they are at a close, and raises nothing when RTS/CTS flow starts. A COM
//   number whose device is missing opens there as a bare device that refuses every request, so the open
//   fails at its first request instead.

namespace {

// From ntddser.h, which does not compile outside the driver kit.
constexpr DWORD getDtrRts = CTL_CODE(FILE_DEVICE_SERIAL_PORT, 30, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD rtsState = 0x2;

constexpr DWORD readChunk = 64 * 1024;
constexpr DWORD driverTransmitQueue = 64 * 1024;
// One poll period: a read that ended with nothing is started again this much later.
constexpr int readAgainMs = 300;
constexpr int failuresMeaningGone = 3;

// Indexed by ParityKind, StopBitsKind and ModemSignal.
constexpr std::array<BYTE, 5> parities{NOPARITY, EVENPARITY, ODDPARITY, SPACEPARITY, MARKPARITY};
constexpr std::array<BYTE, 3> stopBitsKinds{ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS};
constexpr std::array<DWORD, 3> statusBits{MS_RLSD_ON, MS_DSR_ON, MS_CTS_ON};

template<typename Table, typename Kind>
[[nodiscard]] auto lookUp(const Table &table, Kind kind)
{
    return table[std::size_t(kind)];
}

// Windows says "access denied" of a COM port another program has open.
[[nodiscard]] QString openErrorReason(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return qs(texts::noSuchDevice);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return qs(texts::busyDevice);
    case ERROR_GEN_FAILURE: return qs(texts::inputOutputError);
    default: return qs(texts::driverErrorLead) + QStringLiteral("код %1").arg(error);
    }
}

[[nodiscard]] HANDLE newEvent()
{
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

} // namespace

// One open of the port: the handle, and the reads and writes under way on it.
struct WinCommTransport::Device
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED read{};
    OVERLAPPED write{};
    OVERLAPPED control{};
    bool reading = false;
    // The device went away: no more requests, only the close.
    bool gone = false;
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

WinCommTransport::WinCommTransport()
{
    m_readAgain.setSingleShot(true);
    m_readAgain.setInterval(readAgainMs);
    connect(&m_readAgain, &QTimer::timeout, this, &WinCommTransport::startRead);
}

WinCommTransport::~WinCommTransport()
{
    close();
}

OpenResult WinCommTransport::open(const QString &device, const PortConfig &config)
{
    m_device = std::make_unique<Device>();
    const QString path = QStringLiteral("\\\\.\\") + device;
    m_device->handle = ::CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    COMMTIMEOUTS noTimeouts{};
    if (m_device->handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        m_device.reset();
        return OpenResult::failed(openErrorReason(error));
    }
    // A hint some drivers take: room for the whole receive buffer.
    (void)::SetupComm(m_device->handle, DWORD(receiveCapacity), driverTransmitQueue);
    // What reached the driver while the port was closed is not this open's.
    if (!::SetCommTimeouts(m_device->handle, &noTimeouts) || !configure(config)
        || !::PurgeComm(m_device->handle, PURGE_RXCLEAR)) {
        m_device.reset();
        return OpenResult::failed(qs(texts::driverRefusedSettings));
    }
    connect(m_device->readNotifier.get(), &QWinEventNotifier::activated, this, &WinCommTransport::readDone);
    connect(m_device->writeNotifier.get(), &QWinEventNotifier::activated, this, &WinCommTransport::writeDone);
    m_emptyReads = m_failedRequests = 0;
    startRead();
    return OpenResult::opened();
}

// Unsent output is dropped, and a closed port asserts nothing: under RTS/CTS flow only taking RTS back from
// the driver drops it.
void WinCommTransport::close()
{
    m_readAgain.stop();
    if (m_device && !m_device->gone) {
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

// Settings and lines together, as the DCB carries both.
bool WinCommTransport::configure(const PortConfig &config)
{
    const LineSettings &settings = config.line;
    const HandshakingMode mode = handshakingModes[std::size_t(config.handshaking)];
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
    dcb.fDtrControl = config.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = mode.rtsCts ? RTS_CONTROL_HANDSHAKE : config.rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
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

bool WinCommTransport::setLine(OutputLine line, bool asserted)
{
    const bool dtr = line == OutputLine::Dtr;
    return m_device->escape(dtr ? (asserted ? SETDTR : CLRDTR) : (asserted ? SETRTS : CLRRTS));
}

std::optional<bool> WinCommTransport::signalState(ModemSignal signal)
{
    DWORD lines = 0;
    // Not every driver answers for the RTS it drives; a status request is another matter.
    if (signal == ModemSignal::Rts)
        return m_device->askDriver(getDtrRts, lines) ? std::optional((lines & rtsState) != 0) : std::nullopt;
    const bool answered = ::GetCommModemStatus(m_device->handle, &lines);
    if (!answered) {
        failedRequest();
        return std::nullopt;
    }
    m_failedRequests = 0;
    return (lines & lookUp(statusBits, signal)) != 0;
}

bool WinCommTransport::write(QByteArrayView bytes)
{
    m_unsent += bytes;
    startWrite();
    return true;
}

qint64 WinCommTransport::queued() const
{
    return m_writing.size() + m_unsent.size();
}

void WinCommTransport::startRead()
{
    if (!m_device || m_device->gone)
        return;
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

// The read's end, however it ends, comes here: where a hang-up is noticed.
void WinCommTransport::readDone()
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
    if (got == 0) {
        if (++m_emptyReads >= failuresMeaningGone)
            hangUp();
        else
            m_readAgain.start();
        return;
    }
    m_emptyReads = 0;
    events().received(QByteArrayView(device.buffer.data(), got));
    startRead();
}

void WinCommTransport::startWrite()
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

void WinCommTransport::writeDone()
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

// A pty on Linux has no modem lines and fails every such request, yet works; a Windows driver that does
// has lost its device.
void WinCommTransport::failedRequest()
{
    if (++m_failedRequests >= failuresMeaningGone)
        hangUp();
}

// The device stays as it is until the port closes it: the notifier that noticed the hang-up is its own.
void WinCommTransport::hangUp()
{
    if (!m_device || m_device->gone)
        return;
    m_device->gone = true;
    m_readAgain.stop();
    m_device->readNotifier->setEnabled(false);
    m_device->writeNotifier->setEnabled(false);
    events().hungUp();
}
