#include "app/AdapterSuite.h"

#include "adapters/FetAdapter.h"
#include "adapters/GuardedAdapter.h"
#include "adapters/bsl/BslAdapter.h"
#include "adapters/bsl/BslPatch.h"
#include "app/UnavailableAdapter.h"

#include <algorithm>

namespace pyrola {

static_assert(kErasedVectorPassword == kBslErasedPassword, "one erased-device password");
static_assert(sizeof(VectorPassword) == sizeof(BslPassword));

AdapterSuite::AdapterSuite(LibraryLoader& libraries, SerialPortFactory& ports, Clock& clock,
                           FaultGuard& guard)
    : fet_(std::make_unique<FetAdapter>(libraries)),
      // Direct JTAG on the parallel port is not part of this build yet.
      raw_(std::make_unique<UnavailableAdapter>("RAW", "RAW adapter not available in this build")),
      bsl_(std::make_unique<BslAdapter>(ports, clock)),
      guardedFet_(std::make_unique<GuardedAdapter>(*fet_, guard)),
      guardedRaw_(std::make_unique<GuardedAdapter>(*raw_, guard)),
      guardedBsl_(std::make_unique<GuardedAdapter>(*bsl_, guard)) {}

AdapterSuite::~AdapterSuite() = default;

AdapterSet AdapterSuite::Set() {
    AdapterSet set;
    set.fet = guardedFet_.get();
    set.raw = guardedRaw_.get();
    set.bsl = guardedBsl_.get();
    BslAdapter* bsl = bsl_.get();
    set.setBslPatch = [bsl](bool enabled) { bsl->patchEnabled = enabled ? 1 : 0; };
    set.bslNeedsPassword = [bsl] { return bsl->needPassword != 0; };
    set.setBslPassword = [bsl](const VectorPassword& password) {
        std::copy(password.begin(), password.end(), bsl->password.begin());
    };
    return set;
}

void AdapterSuite::LookForLoaderPatchIn(const std::string& folder) {
    if (!folder.empty())
        bsl_->patchFilePath = folder + "/" + kBslPatchFileName;
}

} // namespace pyrola
