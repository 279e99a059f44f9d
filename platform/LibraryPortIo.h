#pragma once
// The C interface of a port-I/O shared library (the simulated chip's parallel port is one:
// libpyrola-simport.so, pyrola-simport.dll), and the PortIo that drives such a library.
// A library that lacks any of the five entry points is not one.
//
//   int32_t  pyrola_port_open(uint32_t portNumber)      0 = open; otherwise see error text
//   void     pyrola_port_write(uint32_t address, uint32_t value)   low 8 bits of value
//   uint32_t pyrola_port_read(uint32_t address)         0-255
//   int32_t  pyrola_port_close(void)                    0 = closed cleanly
//   const char* pyrola_port_error(void)                 text of the last failure, never null
// and, optionally, for a port that keeps its own time (the simulated one):
//   uint64_t pyrola_port_time_ns(void)                  the port's time now
//   void     pyrola_port_wait(uint32_t milliseconds)    the programmer waited that long
//   void     pyrola_port_spin_until(uint64_t ns)        the programmer spun until that time

#include "platform/DynamicLibrary.h"
#include "platform/PortIo.h"

#include <cstdint>
#include <memory>
#include <string>

namespace pyrola {

namespace portlib {
using OpenFn = int32_t (*)(uint32_t portNumber);
using WriteFn = void (*)(uint32_t address, uint32_t value);
using ReadFn = uint32_t (*)(uint32_t address);
using CloseFn = int32_t (*)();
using ErrorFn = const char* (*)();
using TimeFn = uint64_t (*)();
using WaitFn = void (*)(uint32_t milliseconds);
using SpinFn = void (*)(uint64_t ns);

inline constexpr const char* kOpenName = "pyrola_port_open";
inline constexpr const char* kWriteName = "pyrola_port_write";
inline constexpr const char* kReadName = "pyrola_port_read";
inline constexpr const char* kCloseName = "pyrola_port_close";
inline constexpr const char* kErrorName = "pyrola_port_error";
inline constexpr const char* kTimeName = "pyrola_port_time_ns";
inline constexpr const char* kWaitName = "pyrola_port_wait";
inline constexpr const char* kSpinName = "pyrola_port_spin_until";
} // namespace portlib

// Port access through a port-I/O library file, loaded once and kept (see DynamicLibrary).
class LibraryPortIo : public PortIo {
public:
    LibraryPortIo(LibraryLoader& loader, std::string path) : loader_(loader), path_(std::move(path)) {}
    ~LibraryPortIo() override { Close(); }

    // Loads the library (first time only) and opens its port; false, with the reason in
    // Describe, when the file is no port library or its open fails.
    bool Open(uint32_t portNumber) override;
    bool IsOpen() const override { return open_; }
    void WritePort(uint16_t address, uint8_t value) override;
    uint8_t ReadPort(uint16_t address) override;
    void Close() override;
    std::string Describe() const override { return description_; }
    bool ModelledNanoseconds(uint64_t* ns) override;
    void Waited(uint32_t milliseconds) override;
    void SpinUntil(uint64_t ns) override;

    const std::string& Path() const { return path_; }

private:
    bool Load();

    LibraryLoader& loader_;
    std::string path_;
    std::unique_ptr<DynamicLibrary> library_;
    portlib::OpenFn openFn_ = nullptr;
    portlib::WriteFn writeFn_ = nullptr;
    portlib::ReadFn readFn_ = nullptr;
    portlib::CloseFn closeFn_ = nullptr;
    portlib::ErrorFn errorFn_ = nullptr;
    portlib::TimeFn timeFn_ = nullptr;
    portlib::WaitFn waitFn_ = nullptr;
    portlib::SpinFn spinFn_ = nullptr;
    bool open_ = false;
    uint32_t portNumber_ = 0;
    std::string description_;
};

} // namespace pyrola
