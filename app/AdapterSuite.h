#pragma once
// The program's three adapters, built once for the whole run: the FET adapter over the
// platform's library loader, the RAW adapter over the platform's parallel-port access and
// clock, the BSL adapter over the platform's serial ports and clock. The FET adapter calls
// its closed vendor library under the fault guard, so that a fault raised inside it ends
// the job list, not the program.

#include "app/AdapterSet.h"

#include <memory>

namespace pyrola {

class Clock;
class FaultGuard;
class LibraryLoader;
class PortIo;
class SerialPortFactory;
class FetAdapter;
class RawJtagAdapter;
class BslAdapter;

class AdapterSuite {
public:
    AdapterSuite(LibraryLoader& libraries, PortIo& parallelPorts, SerialPortFactory& serialPorts,
                 Clock& clock, FaultGuard& guard);
    ~AdapterSuite();

    // Borrowed views for the shell, with the BSL adapter's hooks wired.
    AdapterSet Set();

    FetAdapter& Fet() { return *fet_; }
    RawJtagAdapter& Raw() { return *raw_; }
    BslAdapter& Bsl() { return *bsl_; }

private:
    std::unique_ptr<FetAdapter> fet_;
    std::unique_ptr<RawJtagAdapter> raw_;
    std::unique_ptr<BslAdapter> bsl_;
};

} // namespace pyrola
