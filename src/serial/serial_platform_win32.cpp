// Win32 backend of the serial driver: every system call of the driver lives here.
#include "log/win32_text.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "serial/serial_platform.h"
#include "serial/serial_port.h"

namespace {

constexpr DWORD kQueueBytes = 2048;
constexpr DWORD kReadWaitMs = 100;  // a read waits at most this long for its first byte
constexpr DWORD kWriteMsPerByte = 10;
constexpr DWORD kWriteBaseMs = 100;
constexpr int kCloseFailed = 1;     // a close that failed without telling why
constexpr int64_t kUnknownCount = -1;
constexpr DWORD kErrorNoSuchDevice = 433;  // a device that is not connected; not in every header set

// Handles are 32-bit values on 64-bit Windows too (the documented HandleToLong rule), so
// the driver's int handle carries them; INVALID_HANDLE_VALUE is -1, the closed mark.
HANDLE ToHandle(int handle) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)); }
int FromHandle(HANDLE handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }

// The driver's numbering is the system's: what the layers above must tell apart gets its
// fixed number, whichever of the system's many spellings of it came back.
int SystemError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_NETPATH:
      return kSysPortMissing;
    // Access denied is what a port held by another program answers.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:  // wine's word for a terminal another program holds exclusively
    case ERROR_BUSY:
      return kSysPortInUse;
    // A device that was pulled out or hung up: reads and writes fail at once, for ever.
    case ERROR_GEN_FAILURE:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case kErrorNoSuchDevice:
    case ERROR_IO_DEVICE:
    case ERROR_BROKEN_PIPE:
      return kSysDeviceFailed;
    default:
      // Keep the permission number for what it means on the other platform.
      return static_cast<int>(error) == kSysPermission ? kSysDeviceFailed : static_cast<int>(error);
  }
}

int LastError() { return SystemError(GetLastError()); }

// Reads of the driver: back at once with what has arrived, else after waitMs at most with
// the first bytes or nothing. Writes: 10 ms a byte plus 100 ms.
int SetReadWait(HANDLE port, DWORD waitMs) {
  COMMTIMEOUTS timeouts {};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = waitMs == 0 ? 0 : MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = waitMs;
  timeouts.WriteTotalTimeoutMultiplier = kWriteMsPerByte;
  timeouts.WriteTotalTimeoutConstant = kWriteBaseMs;
  return SetCommTimeouts(port, &timeouts) ? 0 : LastError();
}

// A port without modem lines (some adapters, a pseudo-terminal under wine) refuses these:
// that is no failure.
void SetModemLines(HANDLE port, bool raise) {
  (void)EscapeCommFunction(port, raise ? SETDTR : CLRDTR);
  (void)EscapeCommFunction(port, raise ? SETRTS : CLRRTS);
}

// Errors of a port that cannot count its received bytes (some virtual port drivers).
bool CannotCount(DWORD error) {
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_PARAMETER ||
         error == ERROR_CALL_NOT_IMPLEMENTED;
}

// Bytes the system holds for us (kUnknownCount when the port cannot say), or the error of a
// port whose device has gone: a hung-up port may still answer reads with nothing.
int QueuedBytes(HANDLE port, int64_t* queued) {
  COMSTAT status {};
  DWORD errors = 0;
  if (ClearCommError(port, &errors, &status)) {
    *queued = static_cast<int64_t>(status.cbInQue);
    return 0;
  }
  const DWORD error = GetLastError();
  *queued = kUnknownCount;
  return CannotCount(error) ? 0 : SystemError(error);
}

PlatformResult ReadSome(HANDLE port, char* destination, DWORD count) {
  DWORD got = 0;
  if (!ReadFile(port, destination, count, &got, nullptr)) return {0, LastError()};
  return {static_cast<int>(got), 0};
}

// What has arrived, or the first bytes within the read wait. Some serial layers (wine's
// among them) take "return at the first byte" as "gather until the wait is over", which
// would cost every answer the whole wait: so a read never asks for more than is there,
// and with nothing there it waits for one byte, then takes what came with it.
PlatformResult ReadArrived(HANDLE port, char* destination, DWORD maximum) {
  int64_t queued = 0;
  int error = QueuedBytes(port, &queued);
  if (error != 0) return {0, error};
  if (queued == kUnknownCount) return ReadSome(port, destination, maximum);
  if (queued > 0) return ReadSome(port, destination, static_cast<DWORD>(std::min<int64_t>(queued, maximum)));
  const PlatformResult first = ReadSome(port, destination, 1);
  if (first.error != 0) return first;
  // An empty read may be a device that went during the wait; bytes that came are handed
  // over first, a failure after them shows on the next read.
  error = QueuedBytes(port, &queued);
  if (first.value == 0) return {0, error};
  if (error != 0 || queued <= 0 || maximum == 1) return first;
  const DWORD more = static_cast<DWORD>(std::min<int64_t>(queued, maximum - 1));
  const PlatformResult rest = ReadSome(port, destination + 1, more);
  return rest.error != 0 ? first : PlatformResult{first.value + rest.value, 0};
}

}  // namespace

int PlatformOpen(const std::string& path, int* handle) {
  *handle = -1;
  const std::wstring wide = WideFromUtf8(path);
  if (wide.empty()) return kSysPortMissing;
  // No sharing: the port is ours alone until it is closed.
  const HANDLE port = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) return LastError();
  *handle = FromHandle(port);
  return 0;
}

int PlatformSetQueues(int handle) { return SetupComm(ToHandle(handle), kQueueBytes, kQueueBytes) ? 0 : LastError(); }

int PlatformReadSettings(int handle) {
  DCB dcb {};
  dcb.DCBlength = sizeof(dcb);
  return GetCommState(ToHandle(handle), &dcb) ? 0 : LastError();
}

int PlatformApplySettings(int handle, uint32_t baud) {
  DCB dcb {};
  dcb.DCBlength = sizeof(dcb);
  if (!GetCommState(ToHandle(handle), &dcb)) return LastError();
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fAbortOnError = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  return SetCommState(ToHandle(handle), &dcb) ? 0 : LastError();
}

int PlatformSetTimeouts(int handle) { return SetReadWait(ToHandle(handle), kReadWaitMs); }

void PlatformStartLines(int handle) {
  const HANDLE port = ToHandle(handle);
  SetModemLines(port, true);
  // Errors from before the open would stop the first reads; bytes from before it are stale.
  DWORD errors = 0;
  (void)ClearCommError(port, &errors, nullptr);
  (void)PurgeComm(port, PURGE_RXCLEAR);
}

void PlatformRelease(int handle) { (void)CloseHandle(ToHandle(handle)); }

int PlatformClose(int handle) {
  const HANDLE port = ToHandle(handle);
  SetModemLines(port, false);
  if (CloseHandle(port)) return 0;
  const DWORD error = GetLastError();
  return error == 0 ? kCloseFailed : SystemError(error);
}

PlatformResult PlatformRead(int handle, char* destination, int maximum, int waitMs) {
  if (maximum <= 0) return {0, 0};
  const HANDLE port = ToHandle(handle);
  const DWORD wait = waitMs < 0 ? 0 : static_cast<DWORD>(waitMs);
  // The port keeps the usual wait; another one is set for this read alone.
  const bool ownWait = wait != kReadWaitMs;
  if (ownWait) {
    const int error = SetReadWait(port, wait);
    if (error != 0) return {0, error};
  }
  const PlatformResult got = ReadArrived(port, destination, static_cast<DWORD>(maximum));
  if (ownWait) (void)SetReadWait(port, kReadWaitMs);
  return got;
}

// The write time-out is the port's own (set with the read wait), the same per-byte rule.
PlatformResult PlatformWrite(int handle, const char* source, int length, int timeoutMs) {
  (void)timeoutMs;
  if (length <= 0) return {0, 0};
  DWORD put = 0;
  if (!WriteFile(ToHandle(handle), source, static_cast<DWORD>(length), &put, nullptr)) {
    return {static_cast<int>(put), LastError()};
  }
  const int done = static_cast<int>(put);
  return {done, done < length ? SystemError(ERROR_TIMEOUT) : 0};
}

int PlatformSetBaud(int handle, uint32_t baud) {
  DCB dcb {};
  dcb.DCBlength = sizeof(dcb);
  if (!GetCommState(ToHandle(handle), &dcb)) return LastError();
  dcb.BaudRate = baud;
  return SetCommState(ToHandle(handle), &dcb) ? 0 : LastError();
}

void PlatformPurgeInput(int handle) { (void)PurgeComm(ToHandle(handle), PURGE_RXCLEAR); }

int PlatformErrorNumber(int error) { return SystemError(static_cast<DWORD>(error)); }

void PlatformSleep(int milliseconds) {
  if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}
