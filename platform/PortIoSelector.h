#pragma once
// The parallel-port access a platform offers: for each port number either a port-I/O
// library file (the simulated chip's pins) or the platform's own access (driver, device
// file). The platform backend says which; this class keeps at most one of them open and
// forwards every access to it.

#include "platform/DynamicLibrary.h"
#include "platform/LibraryPortIo.h"
#include "platform/PortIo.h"

#include <memory>
#include <string>

namespace pyrola {

class PortIoSelector : public PortIo {
public:
    explicit PortIoSelector(LibraryLoader& loader) : loader_(loader) {}

    bool Open(uint32_t portNumber) override;
    bool IsOpen() const override { return active_ != nullptr && active_->IsOpen(); }
    void WritePort(uint16_t address, uint8_t value) override;
    uint8_t ReadPort(uint16_t address) override;
    void Close() override;
    std::string Describe() const override;
    bool ModelledNanoseconds(uint64_t* ns) override {
        return active_ != nullptr && active_->ModelledNanoseconds(ns);
    }
    void Waited(uint32_t milliseconds) override {
        if (active_ != nullptr) {
            active_->Waited(milliseconds);
        }
    }
    void SpinUntil(uint64_t ns) override {
        if (active_ != nullptr) {
            active_->SpinUntil(ns);
        }
    }

protected:
    // Where port n is: a library file when libraryPath is not empty, else `native`.
    struct Route {
        std::string libraryPath;
        PortIo* native = nullptr;
    };
    virtual Route RouteFor(uint32_t portNumber) = 0;

private:
    LibraryLoader& loader_;
    std::unique_ptr<LibraryPortIo> library_;
    PortIo* active_ = nullptr;
    PortIo* lastTried_ = nullptr;
};

} // namespace pyrola
