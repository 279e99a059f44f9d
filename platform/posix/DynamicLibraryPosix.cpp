#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

namespace pyrola {
namespace {

class PosixLibrary : public DynamicLibrary {
public:
    explicit PosixLibrary(void* handle) : handle_(handle) {}
    // No dlclose: entry points taken from the library must stay valid.
    void* Symbol(const char* name) override { return dlsym(handle_, name); }

private:
    void* handle_;
};

class PosixLoader : public LibraryLoader {
public:
    std::unique_ptr<DynamicLibrary> Load(const std::string& name) override {
        if (name.empty()) {
            return nullptr;
        }
        void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            return nullptr;
        }
        return std::make_unique<PosixLibrary>(handle);
    }
};

} // namespace

LibraryLoader& SystemLibraryLoader() {
    static PosixLoader loader;
    return loader;
}

} // namespace pyrola
