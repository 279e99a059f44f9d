#pragma once
// The headless programmer run as a separate process against the simulated FET library,
// exactly as a user runs it: command line in, log and exit status out, chip state in a
// file between runs. $PYROLA_TEST_FET_GENERATION=3 runs every case against the version-3
// build of the library (CTest's fet_e2e_v3), otherwise against the version-2 build.

#include "sim/SimEnvironment.h"
#include "tests/support/ProgramRun.h"

#include <cstdlib>
#include <string>

namespace pyrola::e2e {

using test::NativePath;
using test::RunResult;

class FetEndToEnd : public test::ProgramEndToEnd {
protected:
    FetEndToEnd() : ProgramEndToEnd(PYROLA_PROGRAM, {"PYROLA_FET_LIBRARY"}) {}
    void SetUp() override {
        ProgramEndToEnd::SetUp();
        sim::SetEnvValue("PYROLA_FET_LIBRARY",
                         NativePath(VersionThree() ? PYROLA_SIM_FET_LIBRARY3 : PYROLA_SIM_FET_LIBRARY));
    }
    static bool VersionThree() {
        const char* generation = std::getenv("PYROLA_TEST_FET_GENERATION");
        return generation != nullptr && std::string(generation) == "3";
    }
    // The library's text: each generation words its errors its own way.
    static std::string LibraryText(const char* two, const char* three) {
        return VersionThree() ? three : two;
    }
};

} // namespace pyrola::e2e
