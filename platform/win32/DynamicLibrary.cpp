#include "platform/DynamicLibrary.h"
#include "platform/win32/SystemErrorText.h"

#include <windows.h>

namespace pyrola {
namespace {

thread_local std::string tLastError;

class Win32Library : public DynamicLibrary {
public:
    explicit Win32Library(HMODULE module) : module_(module) {}
    // No FreeLibrary: entry points taken from the library must stay valid.
    void* Symbol(const char* name) override { return reinterpret_cast<void*>(GetProcAddress(module_, name)); }
    std::string Path() override {
        char path[MAX_PATH + 1] = {};
        const DWORD length = GetModuleFileNameA(module_, path, MAX_PATH);
        return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
    }

private:
    HMODULE module_;
};

class Win32Loader : public LibraryLoader {
public:
    std::unique_ptr<DynamicLibrary> Load(const std::string& name) override {
        tLastError.clear();
        if (name.empty()) {
            tLastError = "no library name";
            return nullptr;
        }
        // No "cannot find library" message box: a missing library is an ordinary error.
        UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        HMODULE module = LoadLibraryA(name.c_str());
        const DWORD error = GetLastError();
        SetErrorMode(previous);
        if (module == nullptr) {
            tLastError = win32::SystemErrorText(error);
            if (error == ERROR_BAD_EXE_FORMAT) // a 32-bit DLL met by a 64-bit program, or the other way
                tLastError = "built for another architecture (" + tLastError + ")";
            return nullptr;
        }
        return std::make_unique<Win32Library>(module);
    }
    std::string LastError() override { return tLastError; }
};

} // namespace

LibraryLoader& SystemLibraryLoader() {
    static Win32Loader loader;
    return loader;
}

} // namespace pyrola
