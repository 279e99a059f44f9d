#include "platform/DynamicLibrary.h"

#include <windows.h>

namespace pyrola {
namespace {

class Win32Library : public DynamicLibrary {
public:
    explicit Win32Library(HMODULE module) : module_(module) {}
    // No FreeLibrary: entry points taken from the library must stay valid.
    void* Symbol(const char* name) override { return reinterpret_cast<void*>(GetProcAddress(module_, name)); }

private:
    HMODULE module_;
};

class Win32Loader : public LibraryLoader {
public:
    std::unique_ptr<DynamicLibrary> Load(const std::string& name) override {
        if (name.empty()) {
            return nullptr;
        }
        // No "cannot find library" message box: a missing library is an ordinary error.
        UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        HMODULE module = LoadLibraryA(name.c_str());
        SetErrorMode(previous);
        if (module == nullptr) {
            return nullptr;
        }
        return std::make_unique<Win32Library>(module);
    }
};

} // namespace

LibraryLoader& SystemLibraryLoader() {
    static Win32Loader loader;
    return loader;
}

} // namespace pyrola
