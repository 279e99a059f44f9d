#pragma once
// Run-time loading of a shared library by name and lookup of its entry points.
// A library once loaded by the system loader stays in the process until it exits: the
// entry points handed out must never dangle, so nothing unloads it.

#include <memory>
#include <string>

namespace pyrola {

class DynamicLibrary {
public:
    virtual ~DynamicLibrary() = default;
    // The address of the named entry point, or null when the library has none.
    virtual void* Symbol(const char* name) = 0;
    // The file the system loader took for the library; empty when it cannot tell.
    virtual std::string Path() { return {}; }
};

class LibraryLoader {
public:
    virtual ~LibraryLoader() = default;
    // Null when the library cannot be found or loaded.
    virtual std::unique_ptr<DynamicLibrary> Load(const std::string& name) = 0;
    // Why the last Load on this thread returned null, in the system loader's words.
    virtual std::string LastError() { return {}; }
};

// LoadLibraryA / GetProcAddress on Windows, dlopen / dlsym elsewhere.
LibraryLoader& SystemLibraryLoader();

} // namespace pyrola
