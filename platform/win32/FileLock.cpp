#include "platform/FileLock.h"

#include <windows.h>

namespace pyrola {

FileLock::FileLock(const std::string& lockPath, uint32_t timeoutMs) {
    // Polled rather than blocking, so a program that stopped while holding the lock costs
    // the others a failed save, not a hang. Locks belong to a handle, so two objects of
    // one program exclude each other as two programs do.
    constexpr DWORD kPollMs = 2;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (uint32_t waited = 0;; waited += kPollMs) {
        if (file == INVALID_HANDLE_VALUE) {
            // An older build deleted the file when its last handle closed; while one is
            // going, opening it fails with access denied and the next try finds it gone.
            file = CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                if (GetLastError() != ERROR_ACCESS_DENIED || waited >= timeoutMs)
                    return;
                Sleep(kPollMs);
                continue;
            }
            handle_ = reinterpret_cast<intptr_t>(file);
        }
        // The whole file as one range: under Wine this becomes an fcntl lock over the
        // whole file, the one native programs take.
        OVERLAPPED whole{};
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                       &whole)) {
            held_ = true;
            return;
        }
        if (GetLastError() != ERROR_LOCK_VIOLATION || waited >= timeoutMs)
            return;
        Sleep(kPollMs);
    }
}

FileLock::~FileLock() {
    if (handle_ == -1)
        return;
    HANDLE file = reinterpret_cast<HANDLE>(handle_);
    if (held_) {
        OVERLAPPED whole{};
        UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    }
    CloseHandle(file);
}

} // namespace pyrola
