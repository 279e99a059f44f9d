#pragma once
// The headless programmer run as a separate process against the simulated FET library,
// exactly as a user runs it: command line in, log and exit status out, chip state in a
// file between runs.

#include "sim/SimEnvironment.h"
#include "tests/support/ProgramRun.h"

namespace pyrola::e2e {

using test::NativePath;
using test::RunResult;

class FetEndToEnd : public test::ProgramEndToEnd {
protected:
    FetEndToEnd() : ProgramEndToEnd(PYROLA_PROGRAM, {"PYROLA_FET_LIBRARY"}) {}
    void SetUp() override {
        ProgramEndToEnd::SetUp();
        sim::SetEnvValue("PYROLA_FET_LIBRARY", NativePath(PYROLA_SIM_FET_LIBRARY));
    }
};

} // namespace pyrola::e2e
