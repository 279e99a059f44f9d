// Serial ports on Windows: a synchronous COM-port handle whose line settings live in one
// DCB record; every line change edits that record and applies it whole.

#include "platform/win32/SerialPort.h"
#include "platform/win32/SystemErrorText.h"

#include "platform/SerialPort.h"

namespace pyrola {
namespace win32 {

COMMTIMEOUTS SerialTimeouts(const COMMTIMEOUTS& current) {
    COMMTIMEOUTS timeouts = current;
    timeouts.ReadIntervalTimeout = 50;
    timeouts.ReadTotalTimeoutMultiplier = 1;
    timeouts.ReadTotalTimeoutConstant = 50;
    timeouts.WriteTotalTimeoutMultiplier = 1;
    timeouts.WriteTotalTimeoutConstant = 50;
    return timeouts;
}

void ApplySerialLineSettings(DCB& dcb, uint32_t baudRate, uint8_t parity, bool dtr, bool rts) {
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = parity;
    dcb.StopBits = ONESTOPBIT;
    dcb.ErrorChar = static_cast<char>(0xFF);
    dcb.fBinary = TRUE;
    dcb.fParity = parity != NOPARITY ? TRUE : FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
}

} // namespace win32

namespace {

class Win32SerialPort : public SerialPort {
public:
    ~Win32SerialPort() override { Close(); }

    bool Open(const std::string& name, uint32_t baudRate, uint8_t parity, uint32_t queueSize,
              SerialLines idle) override {
        Close();
        const std::string path = SerialDevicePath(name);
        lastError_ = SerialOpenError{0, path, std::string()};
        if (path.empty()) {
            lastError_.code = ERROR_FILE_NOT_FOUND;
            lastError_.reason = "no such port";
            return false;
        }
        handle_ =
            CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE)
            return Fail();
        if (!SetupComm(handle_, queueSize, queueSize))
            return Fail();
        COMMTIMEOUTS timeouts{};
        if (!GetCommTimeouts(handle_, &timeouts))
            return Fail();
        timeouts = win32::SerialTimeouts(timeouts);
        if (!SetCommTimeouts(handle_, &timeouts))
            return Fail();
        if (!SetCommMask(handle_, win32::kSerialEventMask))
            return Fail();
        dcb_ = DCB{};
        dcb_.DCBlength = sizeof(DCB);
        if (!GetCommState(handle_, &dcb_))
            return Fail();
        win32::ApplySerialLineSettings(dcb_, baudRate, parity, idle.dtr, idle.rts);
        if (!SetCommState(handle_, &dcb_))
            return Fail();
        if (!PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR))
            return Fail();
        if (!PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR))
            return Fail();
        return true;
    }

    bool Close() override {
        if (handle_ == INVALID_HANDLE_VALUE)
            return true;
        const BOOL closed = CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed != FALSE;
    }

    bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
    SerialOpenError LastOpenError() const override { return lastError_; }

    bool SetBaudRate(uint32_t baudRate) override {
        if (handle_ == INVALID_HANDLE_VALUE)
            return false;
        DCB changed = dcb_;
        changed.BaudRate = baudRate;
        // The port's own report decides: a driver may refuse another part of the record
        // it was given whole (Wine on a pseudo-terminal refuses the parity every time)
        // and still have taken the rate.
        (void)SetCommState(handle_, &changed);
        DCB applied{};
        applied.DCBlength = sizeof(DCB);
        if (!GetCommState(handle_, &applied) || applied.BaudRate != baudRate)
            return false;
        dcb_ = changed;
        return true;
    }

    bool SetDtr(bool on) override {
        if (handle_ == INVALID_HANDLE_VALUE)
            return false;
        dcb_.fDtrControl = on ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        return SetCommState(handle_, &dcb_) != FALSE;
    }

    bool SetRts(bool on) override {
        if (handle_ == INVALID_HANDLE_VALUE)
            return false;
        dcb_.fRtsControl = on ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
        return SetCommState(handle_, &dcb_) != FALSE;
    }

    uint32_t Write(const uint8_t* data, uint32_t count) override {
        // A failed or timed-out write reports what went out before it stopped.
        DWORD written = 0;
        if (handle_ != INVALID_HANDLE_VALUE)
            (void)WriteFile(handle_, data, count, &written, nullptr);
        return written;
    }

    uint32_t Read(uint8_t* data, uint32_t count) override {
        DWORD read = 0;
        if (handle_ != INVALID_HANDLE_VALUE)
            (void)ReadFile(handle_, data, count, &read, nullptr);
        return read;
    }

    bool Poll(SerialStatus& status) override {
        status = SerialStatus{};
        if (handle_ == INVALID_HANDLE_VALUE)
            return false;
        DWORD errors = 0;
        COMSTAT comstat{};
        if (!ClearCommError(handle_, &errors, &comstat))
            return false;
        status.inputQueue = comstat.cbInQue;
        status.outputQueue = comstat.cbOutQue;
        status.errors = errors;
        return true;
    }

    bool Purge(uint32_t flags) override {
        if (handle_ == INVALID_HANDLE_VALUE)
            return false;
        return PurgeComm(handle_, flags) != FALSE;
    }

private:
    bool Fail() {
        lastError_.code = GetLastError();
        lastError_.reason = win32::SystemErrorText(lastError_.code);
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return false;
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    DCB dcb_{};
    SerialOpenError lastError_;
};

class Win32SerialPortFactory : public SerialPortFactory {
public:
    std::unique_ptr<SerialPort> Create() override { return std::make_unique<Win32SerialPort>(); }
};

} // namespace

SerialPortFactory& SystemSerialPorts() {
    static Win32SerialPortFactory factory;
    return factory;
}

std::string SerialDevicePath(const std::string& portName) {
    const int64_t number = ComPortNumber(portName);
    if (number < 0)
        return portName;
    if (number < 1)
        return std::string();
    // The plain name reaches only COM1 to COM9; the device namespace reaches them all.
    return "\\\\.\\COM" + std::to_string(number);
}

} // namespace pyrola
