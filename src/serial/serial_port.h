#pragma once

// CSerialPort: one serial device watched by a worker thread on behalf of one
// owner window.
//
// How the owner uses it (all on the owner's thread):
//
//   CSerialPort port;                  // or CSerialPort port(platform) in tests
//   if (!port.Open(owner, n)) { ...show "cannot open"... }  // n = 1..12
//   else if (!port.StartMonitor()) { ...show "cannot open"... }  // port is closed again
//   port.HandOver(bytes, count);       // queue a frame (at most 512 bytes); no wait
//   ...WM_SERIAL_BYTE (wParam = byte 0..255, lParam = n) arrives at the owner,
//      sent synchronously from the worker; WM_SERIAL_ENDED if it gives up...
//   while (port.SendPending()) ...dispatch...  // optional: let the last frame out
//   port.Close();                      // stops the worker, dispatching the owner's
//                                      // messages meanwhile; Open may follow
//
// Open returns TRUE also when a configuration step failed (that step has
// already shown its box). Two hand-overs before the worker wrote give one
// write, of the later bytes. Failed device operations show their boxes
// through the platform's MessageBoxW. The destructor stops a running worker,
// turning away a notification it is still blocked in once the owner is gone:
// Close first while the owner still exists.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "serial/comm_platform.h"
#include "serial/serial_messages.h"

class CSerialPort {
public:
    CSerialPort();
    explicit CSerialPort(CommPlatform& platform);
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    BOOL Open(OwnerHandle owner, int portNumber);
    // Starts MonitorThread after an Open that returned TRUE and keeps its
    // handle. FALSE when the thread cannot be started: the port is then
    // closed again, as after a failed Open.
    BOOL StartMonitor();
    // The send hand-over: copies the bytes, sets the length and signals the
    // worker. FALSE (nothing queued) while no send buffer exists or for more
    // bytes than it holds.
    BOOL HandOver(const std::uint8_t* bytes, std::uint32_t count);
    // Whether handed-over bytes still wait for the worker to start writing
    // them; a write once started finishes before the worker sees a stop.
    BOOL SendPending();
    void Close();

    static std::uint32_t MonitorThread(void* parameter);

    BOOL IsOpen() const { return m_portHandle != kNullHandle; }
    BOOL IsMonitoring() const { return m_workerRunning.load(); }
    // No more bytes will come until the port is opened again: a read failed
    // (the line is gone, an adapter was pulled) or the worker gave up on its
    // waits. Any thread; reset by Open.
    BOOL IsLineLost() const { return m_lineLost.load(); }
    // The last write failed: what was handed over last may not have gone
    // out. Any thread; reset by the next write that works.
    BOOL IsWriteFailed() const { return m_writeFailed.load(); }
    int PortNumber() const { return m_portNumber; }

    static constexpr std::uint32_t kSendCapacity = 512;
    static constexpr std::uint32_t kWatchMask = kEvRxChar | kEvCts;
    static constexpr std::uint32_t kTimeout = 1000000;
    static constexpr std::uint32_t kExitCode = 100;

protected:
    void DrainInput();
    void WriteSendBuffer();
    void ReportError(const char* operation);
    void ReportLostLine(const char* operation);

    CommHandle m_workerThread = kNullHandle;
    CommHandle m_ioLock = kNullHandle;
    std::atomic<BOOL> m_workerRunning{0};
    std::atomic<BOOL> m_lineLost{0};
    std::atomic<BOOL> m_writeFailed{0};
    CommHandle m_stopEvent = kNullHandle;
    CommHandle m_portHandle = kNullHandle;
    CommHandle m_sendEvent = kNullHandle;
    CommHandle m_waitHandles[3] = {};
    Overlapped m_overlapped;
    CommTimeouts m_timeouts;
    CommSettings m_lineSettings;
    OwnerHandle m_owner = 0;
    std::int32_t m_portNumber = 0;
    std::uint8_t* m_sendBuffer = nullptr;
    std::uint32_t m_watchMask = 0;
    std::int32_t m_sendCapacity = 0;
    std::uint32_t m_sendLength = 1;

private:
    CommPlatform& m_platform;
    // Guards the send buffer and length between the owner's hand-over and
    // the worker's write.
    std::mutex m_sendLock;
};
