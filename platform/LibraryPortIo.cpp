#include "platform/LibraryPortIo.h"

namespace pyrola {

namespace {

template <typename Fn> bool Resolve(DynamicLibrary& library, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(library.Symbol(name));
    return slot != nullptr;
}

} // namespace

bool LibraryPortIo::Load() {
    if (library_ && openFn_ != nullptr) {
        return true;
    }
    library_ = loader_.Load(path_);
    if (!library_) {
        description_ = "could not load the port library " + path_;
        return false;
    }
    DynamicLibrary& lib = *library_;
    if (!Resolve(lib, portlib::kOpenName, openFn_) || !Resolve(lib, portlib::kWriteName, writeFn_) ||
        !Resolve(lib, portlib::kReadName, readFn_) || !Resolve(lib, portlib::kCloseName, closeFn_) ||
        !Resolve(lib, portlib::kErrorName, errorFn_)) {
        openFn_ = nullptr;
        library_.reset();
        description_ = path_ + " is no port library (it lacks the port entry points)";
        return false;
    }
    Resolve(lib, portlib::kTimeName, timeFn_);
    Resolve(lib, portlib::kWaitName, waitFn_);
    Resolve(lib, portlib::kSpinName, spinFn_);
    return true;
}

bool LibraryPortIo::Open(uint32_t portNumber) {
    if (open_ && portNumber == portNumber_) {
        return true;
    }
    Close();
    if (!Load()) {
        return false;
    }
    if (openFn_(portNumber) != 0) {
        const char* reason = errorFn_();
        description_ = "simulated port library " + path_ + " refused LPT" + std::to_string(portNumber) +
                       ": " + (reason != nullptr ? reason : "no reason given");
        return false;
    }
    open_ = true;
    portNumber_ = portNumber;
    description_ = "simulated port library " + path_;
    return true;
}

void LibraryPortIo::WritePort(uint16_t address, uint8_t value) {
    if (open_) {
        writeFn_(address, value);
    }
}

uint8_t LibraryPortIo::ReadPort(uint16_t address) {
    return open_ ? static_cast<uint8_t>(readFn_(address)) : uint8_t{0xFF};
}

bool LibraryPortIo::ModelledNanoseconds(uint64_t* ns) {
    if (!open_ || timeFn_ == nullptr) {
        return false;
    }
    *ns = timeFn_();
    return true;
}

void LibraryPortIo::Waited(uint32_t milliseconds) {
    if (open_ && waitFn_ != nullptr) {
        waitFn_(milliseconds);
    }
}

void LibraryPortIo::SpinUntil(uint64_t ns) {
    if (open_ && spinFn_ != nullptr) {
        spinFn_(ns);
    }
}

void LibraryPortIo::Close() {
    if (!open_) {
        return;
    }
    open_ = false;
    if (closeFn_() != 0) {
        const char* reason = errorFn_();
        description_ = "simulated port library " + path_ +
                       " closed with a failure: " + (reason != nullptr ? reason : "no reason given");
    }
}

} // namespace pyrola
