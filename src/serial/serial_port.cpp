#include "serial/serial_port.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The line settings are fixed: 9600 baud, 8 data bits, no parity, 1 stop bit.
constexpr int kBaudRate = 9600;
constexpr char kParityLetter = 'N';
constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
constexpr char kEventChar = 'q';
constexpr std::size_t kTextSize = 50;

std::uint8_t ParityCode(char letter) {
    switch (letter) {
        case 'E':
            return kEvenParity;
        case 'M':
            return kMarkParity;
        case 'O':
            return kOddParity;
        case 'S':
            return kSpaceParity;
        default:
            return kNoParity;
    }
}

}  // namespace

CSerialPort::CSerialPort(CommPlatform& platform) : m_platform(platform) {
    m_overlapped.hEvent = kNullHandle;
    m_overlapped.Offset = 0;
    m_overlapped.OffsetHigh = 0;
}

CSerialPort::~CSerialPort() {
    // The owner is gone by now, so a new notification returns at once; one
    // the worker was already blocked in must still be handled (turned away)
    // on this thread, or the worker never reaches its stop test.
    do {
        if (m_stopEvent != kNullHandle) m_platform.SetEvent(m_stopEvent);
        if (m_workerRunning.load()) m_platform.PeekMessageW(m_owner);
    } while (m_workerRunning.load());

    if (m_workerThread != kNullHandle) m_platform.CloseHandle(m_workerThread);
    m_workerThread = kNullHandle;
    if (m_portHandle != kNullHandle) m_platform.CloseHandle(m_portHandle);
    m_portHandle = kNullHandle;
    for (CommHandle event : {m_stopEvent, m_overlapped.hEvent, m_sendEvent})
        if (event != kNullHandle) m_platform.CloseHandle(event);
    if (m_ioLock != kNullHandle) m_platform.DeleteCriticalSection(m_ioLock);
    delete[] m_sendBuffer;
}

BOOL CSerialPort::Open(OwnerHandle owner, int portNumber) {
    while (m_workerRunning.load()) m_platform.SetEvent(m_stopEvent);
    m_lineLost.store(0);
    m_writeFailed.store(0);

    for (CommHandle* event : {&m_overlapped.hEvent, &m_sendEvent, &m_stopEvent}) {
        if (*event != kNullHandle)
            m_platform.ResetEvent(*event);
        else
            *event = m_platform.CreateEventW();
    }
    // Without its three events the worker could never be woken or stopped.
    if (m_overlapped.hEvent == kNullHandle || m_sendEvent == kNullHandle ||
        m_stopEvent == kNullHandle)
        return 0;

    m_waitHandles[0] = m_stopEvent;
    m_waitHandles[1] = m_overlapped.hEvent;
    m_waitHandles[2] = m_sendEvent;

    // Created once and kept: nothing holds it while Open runs.
    if (m_ioLock == kNullHandle) m_ioLock = m_platform.InitializeCriticalSection();
    m_owner = owner;
    {
        std::lock_guard guard(m_sendLock);
        delete[] m_sendBuffer;
        m_sendBuffer = new std::uint8_t[kSendCapacity];
    }
    m_portNumber = portNumber;
    m_sendCapacity = static_cast<std::int32_t>(kSendCapacity);
    m_watchMask = kWatchMask;

    char deviceName[kTextSize];
    char settingsText[kTextSize];

    m_platform.EnterCriticalSection(m_ioLock);
    if (m_portHandle != kNullHandle) {
        m_platform.CloseHandle(m_portHandle);
        m_portHandle = kNullHandle;
    }
    std::snprintf(deviceName, sizeof deviceName, "\\\\.\\COM%d", portNumber);
    const char parity = static_cast<char>(std::toupper(static_cast<unsigned char>(kParityLetter)));
    const std::uint8_t parityCode = ParityCode(parity);
    std::snprintf(settingsText, sizeof settingsText, "baud=%d parity=%c data=%d stop=%d", kBaudRate,
                  parity, kDataBits, kStopBits);

    const CommHandle device = m_platform.CreateFileW(deviceName);
    if (device == kInvalidHandle || device == kNullHandle) {
        m_platform.LeaveCriticalSection(m_ioLock);
        return 0;
    }
    m_portHandle = device;

    m_timeouts.ReadIntervalTimeout = kTimeout;
    m_timeouts.ReadTotalTimeoutMultiplier = kTimeout;
    m_timeouts.ReadTotalTimeoutConstant = kTimeout;
    m_timeouts.WriteTotalTimeoutMultiplier = kTimeout;
    m_timeouts.WriteTotalTimeoutConstant = kTimeout;
    if (!m_platform.SetCommTimeouts(m_portHandle, m_timeouts)) {
        ReportError("SetCommTimeouts()");
    } else if (!m_platform.SetCommMask(m_portHandle, m_watchMask)) {
        ReportError("SetCommMask()");
    } else if (!m_platform.GetCommState(m_portHandle, m_lineSettings)) {
        ReportError("GetCommState()");
    } else {
        m_lineSettings.EvtChar = kEventChar;
        m_lineSettings.fRtsControl = kRtsControlEnable;
        m_lineSettings.BaudRate = kBaudRate;
        m_lineSettings.Parity = parityCode;
        m_lineSettings.ByteSize = kDataBits;
        m_lineSettings.StopBits = kOneStopBit;
        if (!m_platform.BuildCommDCBW(settingsText, m_lineSettings))
            ReportError("BuildCommDCB()");
        else if (!m_platform.SetCommState(m_portHandle, m_lineSettings))
            ReportError("SetCommState()");
    }

    m_platform.PurgeComm(m_portHandle, kPurgeAll);
    m_platform.LeaveCriticalSection(m_ioLock);
    return 1;
}

BOOL CSerialPort::StartMonitor() {
    if (m_portHandle == kNullHandle) return 0;
    if (m_workerRunning.load()) return 1;
    // The previous worker has ended; its handle goes now rather than leak.
    if (m_workerThread != kNullHandle) {
        m_platform.CloseHandle(m_workerThread);
        m_workerThread = kNullHandle;
    }
    // Raised before the thread exists so that a Close right after this
    // returns waits for the worker instead of missing it.
    m_workerRunning.store(1);
    const CommHandle thread = m_platform.CreateThread(&CSerialPort::MonitorThread, this);
    if (thread == kNullHandle) {
        m_workerRunning.store(0);
        Close();
        return 0;
    }
    m_workerThread = thread;
    return 1;
}

BOOL CSerialPort::HandOver(const std::uint8_t* bytes, std::uint32_t count) {
    if (count > kSendCapacity || (bytes == nullptr && count > 0)) return 0;
    {
        std::lock_guard guard(m_sendLock);
        if (m_sendBuffer == nullptr || m_sendEvent == kNullHandle) return 0;
        if (count > 0) std::memcpy(m_sendBuffer, bytes, count);
        m_sendLength = count;
    }
    m_platform.SetEvent(m_sendEvent);
    return 1;
}

BOOL CSerialPort::SendPending() {
    return m_sendEvent != kNullHandle && m_workerRunning.load() &&
           m_platform.WaitForSingleObject(m_sendEvent, 0) == kWaitObject0;
}

std::uint32_t CSerialPort::MonitorThread(void* parameter) {
    CSerialPort& port = *static_cast<CSerialPort*>(parameter);
    CommPlatform& platform = port.m_platform;
    port.m_workerRunning.store(1);

    std::uint32_t events = 0;
    std::uint32_t mask = 0;
    std::uint32_t errors = 0;
    // Failures that repeat are shown once until the operation works again.
    bool lineWaitReported = false;
    bool waitReported = false;

    if (port.m_portHandle != kNullHandle) platform.PurgeComm(port.m_portHandle, kPurgeAll);

    for (;;) {
        if (platform.WaitCommEvent(port.m_portHandle, &events, &port.m_overlapped)) {
            lineWaitReported = false;
            CommStatus status;
            platform.ClearCommError(port.m_portHandle, &errors, &status);
            // An event with nothing to read: wait for the next one at once,
            // unless a stop is pending, which must not starve.
            if (status.cbInQue == 0 &&
                platform.WaitForSingleObject(port.m_stopEvent, 0) != kWaitObject0)
                continue;
        } else {
            const std::uint32_t error = platform.GetLastError();
            if (error != kErrorInvalidParameter && error != kErrorIoPending) {
                if (!lineWaitReported) port.ReportError("WaitCommEvent()");
                lineWaitReported = true;
            } else {
                lineWaitReported = false;
            }
        }

        std::uint32_t result = platform.WaitForMultipleObjects(3, port.m_waitHandles, 0, kInfinite);
        if (result > kWaitObject0 + 2) {
            if (!waitReported) {
                waitReported = true;
                platform.AfxMessageBox("接收有问题!", MB_OK);
                port.m_lineLost.store(1);
                continue;
            }
            // Failing again: sleep on the stop alone rather than spin. When
            // even that wait fails, nothing can wake the worker any more, so
            // it ends; the port stays held until Close releases it.
            if (platform.WaitForSingleObject(port.m_stopEvent, kInfinite) != kWaitObject0) {
                platform.SendMessageW(port.m_owner, WM_SERIAL_ENDED, 0, port.m_portNumber);
                port.m_workerRunning.store(0);
                return kExitCode;
            }
            result = kWaitObject0;
        }
        waitReported = false;

        switch (result) {
            case kWaitObject0: {
                if (port.m_portHandle != kNullHandle) platform.CloseHandle(port.m_portHandle);
                port.m_portHandle = kNullHandle;
                // The owner may destroy the port as soon as it sees this.
                port.m_workerRunning.store(0);
                return kExitCode;
            }
            case kWaitObject0 + 1: {
                platform.GetCommMask(port.m_portHandle, &mask);
                const OwnerHandle owner = port.m_owner;
                const LPARAM number = port.m_portNumber;
                if (mask & kEvRxChar) port.DrainInput();
                if (mask & kEvCts) platform.SendMessageW(owner, WM_SERIAL_CTS, 0, number);
                if (mask & kEvRxFlag) platform.SendMessageW(owner, WM_SERIAL_EVENTCHAR, 0, number);
                if (mask & kEvBreak) platform.SendMessageW(owner, WM_SERIAL_BREAK, 0, number);
                if (mask & kEvErr) platform.SendMessageW(owner, WM_SERIAL_ERROR, 0, number);
                if (mask & kEvRing) platform.SendMessageW(owner, WM_SERIAL_RING, 0, number);
                break;
            }
            default:
                port.WriteSendBuffer();
                break;
        }
    }
}

void CSerialPort::DrainInput() {
    for (;;) {
        if (m_platform.WaitForSingleObject(m_stopEvent, 0) == kWaitObject0) return;

        std::uint32_t errors = 0;
        CommStatus status;
        m_platform.EnterCriticalSection(m_ioLock);
        m_platform.ClearCommError(m_portHandle, &errors, &status);
        m_platform.LeaveCriticalSection(m_ioLock);
        if (status.cbInQue == 0) return;

        std::uint8_t byte = 0;
        std::uint32_t done = 0;
        bool got = false;
        m_platform.EnterCriticalSection(m_ioLock);
        if (m_platform.ReadFile(m_portHandle, &byte, 1, &done, &m_overlapped)) {
            got = done == 1;
        } else if (m_platform.GetLastError() != kErrorIoPending) {
            ReportLostLine("ReadFile()");
        } else if (m_platform.GetOverlappedResult(m_portHandle, &m_overlapped, &done, 1)) {
            got = done == 1;
        } else {
            ReportLostLine("GetOverlappedResults() in ReadFile()");
        }
        m_platform.LeaveCriticalSection(m_ioLock);

        if (got) m_platform.SendMessageW(m_owner, WM_SERIAL_BYTE, byte, m_portNumber);
    }
}

void CSerialPort::WriteSendBuffer() {
    std::uint8_t bytes[kSendCapacity];
    std::uint32_t length = 0;
    {
        // Resetting under the lock keeps the pairing of event and bytes: a
        // hand-over after this point signals again and is written next time.
        std::lock_guard guard(m_sendLock);
        length = m_sendLength <= kSendCapacity ? m_sendLength : kSendCapacity;
        m_platform.ResetEvent(m_sendEvent);
        if (m_sendBuffer != nullptr)
            std::memcpy(bytes, m_sendBuffer, length);
        else
            length = 0;
    }

    m_platform.EnterCriticalSection(m_ioLock);
    m_overlapped.Offset = 0;
    m_overlapped.OffsetHigh = 0;
    m_platform.PurgeComm(m_portHandle, kPurgeAll);
    std::uint32_t done = 0;
    m_writeFailed.store(0);
    if (m_platform.WriteFile(m_portHandle, bytes, length, &done, &m_overlapped)) {
        m_platform.LeaveCriticalSection(m_ioLock);
        return;
    }
    if (m_platform.GetLastError() != kErrorIoPending) {
        m_writeFailed.store(1);
        ReportError("WriteFile()");
        m_platform.LeaveCriticalSection(m_ioLock);
        return;
    }
    done = 0;
    const BOOL finished = m_platform.GetOverlappedResult(m_portHandle, &m_overlapped, &done, 1);
    m_platform.LeaveCriticalSection(m_ioLock);
    if (!finished) {
        m_writeFailed.store(1);
        ReportError("GetOverlappedResults() in WriteFile()");
    }
}

void CSerialPort::ReportError(const char* operation) {
    const std::uint32_t code = m_platform.GetLastError();
    std::string system = m_platform.FormatMessageW(code);
    if (system.empty()) system = "Unknown error " + std::to_string(code);

    // Sized to the texts, so a long system text is shown whole.
    static constexpr char kFormat[] =
        "WARNING:  %s Failed with the following error: \n%s\nPort: %d\n";
    const int size = std::snprintf(nullptr, 0, kFormat, operation, system.c_str(), m_portNumber);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    std::snprintf(text.data(), text.size() + 1, kFormat, operation, system.c_str(), m_portNumber);
    m_platform.MessageBoxW(text, "Application Error", MB_ICONSTOP);
}

void CSerialPort::ReportLostLine(const char* operation) {
    ReportError(operation);
    m_lineLost.store(1);
}

void CSerialPort::Close() {
    do {
        if (m_stopEvent != kNullHandle) m_platform.SetEvent(m_stopEvent);
        m_platform.PeekMessageW(m_owner);
    } while (m_workerRunning.load());

    if (m_workerThread != kNullHandle) {
        m_platform.CloseHandle(m_workerThread);
        m_workerThread = kNullHandle;
    }
    if (m_portHandle != kNullHandle) {
        m_platform.CloseHandle(m_portHandle);
        m_portHandle = kNullHandle;
    }
    for (CommHandle event : {m_stopEvent, m_overlapped.hEvent, m_sendEvent})
        if (event != kNullHandle) m_platform.ResetEvent(event);
    std::lock_guard guard(m_sendLock);
    delete[] m_sendBuffer;
    m_sendBuffer = nullptr;
}
