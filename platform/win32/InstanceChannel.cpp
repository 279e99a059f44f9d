// One instance per session: the mutex "pyrola_OneInstance"; a second start writes its
// command line into the 260-byte shared block and broadcasts the registered message with
// code 12. The block lives in the session's own namespace with default security, so only
// the user's own processes can open it (a global block open to everyone would let any
// user inject commands, and ordinary users may not create global objects at all).

#include "platform/InstanceChannel.h"

#include <cstring>
#include <windows.h>

namespace pyrola {
namespace {

constexpr UINT kBroadcastTimeoutMs = 5000;
constexpr WPARAM kNewInstanceCode = 12;

class Win32InstanceChannel : public InstanceChannel {
public:
    explicit Win32InstanceChannel(const std::string& name) {
        mutexName_ = name + "_OneInstance";
        const std::string block = name == "pyrola" ? "PyrolaSharedData1" : name + "_SharedData1";
        mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      static_cast<DWORD>(kHandOverBlockSize), ("Local\\" + block).c_str());
        if (mapping_) {
            view_ =
                static_cast<char*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, kHandOverBlockSize));
            if (!view_) {
                CloseHandle(mapping_);
                mapping_ = nullptr;
            }
        }
    }

    ~Win32InstanceChannel() override {
        if (view_)
            UnmapViewOfFile(view_);
        if (mapping_)
            CloseHandle(mapping_);
        if (mutex_)
            CloseHandle(mutex_);
    }

    bool BecomePrimary() override {
        if (!mutex_) {
            SetLastError(0);
            mutex_ = CreateMutexA(nullptr, FALSE, mutexName_.c_str());
            alreadyRunning_ = mutex_ && GetLastError() == ERROR_ALREADY_EXISTS;
        }
        return !alreadyRunning_;
    }

    HandOverResult HandOver(const std::string& commandLine) override {
        if (commandLine.size() > kHandOverMaxText || commandLine.find('\0') != std::string::npos)
            return HandOverResult::TooLong;
        if (!view_)
            return HandOverResult::Failed;
        std::memset(view_, 0, kHandOverBlockSize);
        std::memcpy(view_, commandLine.data(), commandLine.size());
        const UINT message = RegisterWindowMessageA("ZVN_PyrOLA_ExchMessage");
        if (message == 0)
            return HandOverResult::Failed;
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(HWND_BROADCAST, message, kNewInstanceCode, 0, SMTO_ABORTIFHUNG,
                            kBroadcastTimeoutMs, &ignored);
        return HandOverResult::Delivered;
    }

    // The broadcast reaches the running window, which takes the text itself.
    void Listen(std::function<void()>) override {}

    std::optional<std::string> TakeCommandLine() override {
        if (!view_ || view_[0] == '\0')
            return std::nullopt;
        std::string text(view_, strnlen(view_, kHandOverMaxText));
        std::memset(view_, 0, kHandOverBlockSize);
        return text;
    }

private:
    std::string mutexName_;
    HANDLE mutex_ = nullptr;
    bool alreadyRunning_ = false;
    HANDLE mapping_ = nullptr;
    char* view_ = nullptr;
};

} // namespace

std::unique_ptr<InstanceChannel> CreateInstanceChannel(const std::string& name) {
    return std::make_unique<Win32InstanceChannel>(name);
}

} // namespace pyrola
