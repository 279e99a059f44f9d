#include "platform/PortIoSelector.h"

namespace pyrola {

bool PortIoSelector::Open(uint32_t portNumber) {
    Route route = RouteFor(portNumber);
    PortIo* target = route.native;
    if (!route.libraryPath.empty()) {
        if (!library_ || library_->Path() != route.libraryPath) {
            if (active_ == library_.get()) {
                active_ = nullptr;
            }
            library_ = std::make_unique<LibraryPortIo>(loader_, route.libraryPath);
        }
        target = library_.get();
    }
    if (active_ != nullptr && active_ != target) {
        active_->Close();
    }
    active_ = nullptr;
    lastTried_ = target;
    if (target == nullptr || !target->Open(portNumber)) {
        return false;
    }
    active_ = target;
    return true;
}

void PortIoSelector::WritePort(uint16_t address, uint8_t value) {
    if (active_ != nullptr) {
        active_->WritePort(address, value);
    }
}

uint8_t PortIoSelector::ReadPort(uint16_t address) {
    return active_ != nullptr ? active_->ReadPort(address) : uint8_t{0xFF};
}

void PortIoSelector::Close() {
    if (active_ != nullptr) {
        active_->Close();
        active_ = nullptr;
    }
}

std::string PortIoSelector::Describe() const {
    return lastTried_ != nullptr ? lastTried_->Describe() : std::string();
}

} // namespace pyrola
