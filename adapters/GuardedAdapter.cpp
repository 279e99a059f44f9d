#include "adapters/GuardedAdapter.h"

#include "ui/TextFormat.h"

namespace pyrola {

template <typename Result, typename F> Result GuardedAdapter::Call(const char* operation, F&& operationCall) {
    inner_.portNumber = portNumber;
    inner_.requestedDevice = requestedDevice;
    inner_.deviceRecord = deviceRecord;
    Result result{};
    const FaultKind fault = guard_.RunCallable([&] { result = operationCall(); });
    isOpen = inner_.isOpen;
    requestedDevice = inner_.requestedDevice;
    for (std::string& note : inner_.TakeNotes())
        AddNote(std::move(note));
    if (fault != FaultKind::None) {
        // The list ends here and the next one attaches afresh. The wrapped adapter keeps
        // its own flag, so that the closing call still releases what survived.
        isOpen = 0;
        const std::string text =
            Format("%s inside the %s adapter's %s", FaultKindText(fault), inner_.GetName(), operation);
        AddNote(text);
        throw AdapterFault(text);
    }
    return result;
}

const char* GuardedAdapter::GetName() {
    return Call<const char*>("GetName", [this] { return inner_.GetName(); });
}

uint32_t GuardedAdapter::GetBlockSize() {
    return Call<uint32_t>("GetBlockSize", [this] { return inner_.GetBlockSize(); });
}

bool GuardedAdapter::Open() {
    return Call<bool>("Open", [this] { return inner_.Open(); });
}

bool GuardedAdapter::Close() {
    try {
        return Call<bool>("Close", [this] { return inner_.Close(); });
    } catch (const AdapterFault&) {
        return false; // already noted; the list is over either way
    }
}

int32_t GuardedAdapter::GetErrorNumber() {
    return Call<int32_t>("GetErrorNumber", [this] { return inner_.GetErrorNumber(); });
}

const char* GuardedAdapter::GetErrorText(int32_t number) {
    return Call<const char*>("GetErrorText", [this, number] { return inner_.GetErrorText(number); });
}

int32_t GuardedAdapter::Erase(uint32_t mode, uint32_t address, uint32_t length) {
    return Call<int32_t>("Erase", [&] { return inner_.Erase(mode, address, length); });
}

int32_t GuardedAdapter::EraseCheck(uint32_t address, uint32_t length) {
    return Call<int32_t>("EraseCheck", [&] { return inner_.EraseCheck(address, length); });
}

int32_t GuardedAdapter::WriteMemory(uint32_t address, const uint8_t* data, uint32_t count) {
    return Call<int32_t>("WriteMemory", [&] { return inner_.WriteMemory(address, data, count); });
}

int32_t GuardedAdapter::ReadMemory(uint32_t address, uint8_t* data, uint32_t count) {
    return Call<int32_t>("ReadMemory", [&] { return inner_.ReadMemory(address, data, count); });
}

int32_t GuardedAdapter::VerifyMemory(uint32_t address, const uint8_t* data, uint32_t count) {
    return Call<int32_t>("VerifyMemory", [&] { return inner_.VerifyMemory(address, data, count); });
}

int32_t GuardedAdapter::Reset(uint32_t method, uint32_t execute, uint32_t releaseJtag) {
    return Call<int32_t>("Reset", [&] { return inner_.Reset(method, execute, releaseJtag); });
}

int32_t GuardedAdapter::DebugOneWire() {
    return Call<int32_t>("DebugOneWire", [this] { return inner_.DebugOneWire(); });
}

} // namespace pyrola
