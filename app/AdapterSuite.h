#pragma once
// The program's three adapters, built once for the whole run: the FET adapter over the
// platform's library loader, the RAW adapter, the BSL adapter over the platform's serial
// ports and clock. The shell sees each through a fault guard, so that a fault raised
// inside one (a vendor library is closed code) ends the job list, not the program.

#include "app/AdapterSet.h"

#include <memory>
#include <string>

namespace pyrola {

class Clock;
class FaultGuard;
class GuardedAdapter;
class LibraryLoader;
class SerialPortFactory;
class FetAdapter;
class BslAdapter;
class TargetAdapter;

class AdapterSuite {
public:
    AdapterSuite(LibraryLoader& libraries, SerialPortFactory& ports, Clock& clock, FaultGuard& guard);
    ~AdapterSuite();

    // Borrowed views for the shell, with the BSL adapter's hooks wired.
    AdapterSet Set();

    // The vendor's loader patch for old chips is looked for as "bslpatch.txt" in folder
    // (the program's own); an empty folder leaves the built-in placeholder only.
    void LookForLoaderPatchIn(const std::string& folder);

    FetAdapter& Fet() { return *fet_; }
    BslAdapter& Bsl() { return *bsl_; }

private:
    std::unique_ptr<FetAdapter> fet_;
    std::unique_ptr<TargetAdapter> raw_;
    std::unique_ptr<BslAdapter> bsl_;
    std::unique_ptr<GuardedAdapter> guardedFet_;
    std::unique_ptr<GuardedAdapter> guardedRaw_;
    std::unique_ptr<GuardedAdapter> guardedBsl_;
};

} // namespace pyrola
