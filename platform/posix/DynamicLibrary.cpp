#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <link.h>

namespace pyrola {
namespace {

thread_local std::string tLastError;

class PosixLibrary : public DynamicLibrary {
public:
    explicit PosixLibrary(void* handle) : handle_(handle) {}
    // No dlclose: entry points taken from the library must stay valid.
    void* Symbol(const char* name) override { return dlsym(handle_, name); }
    std::string Path() override {
        link_map* map = nullptr;
        if (dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr)
            return {};
        return map->l_name;
    }

private:
    void* handle_;
};

class PosixLoader : public LibraryLoader {
public:
    std::unique_ptr<DynamicLibrary> Load(const std::string& name) override {
        tLastError.clear();
        if (name.empty()) {
            tLastError = "no library name";
            return nullptr;
        }
        void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* reason = dlerror();
            tLastError = reason != nullptr ? reason : "unknown reason";
            return nullptr;
        }
        return std::make_unique<PosixLibrary>(handle);
    }
    std::string LastError() override { return tLastError; }
};

} // namespace

LibraryLoader& SystemLibraryLoader() {
    static PosixLoader loader;
    return loader;
}

} // namespace pyrola
