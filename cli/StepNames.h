#pragma once
// The steps of a headless run as the production log and the closing result line name them.

#include "jobs/StepRunner.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pyrola::cli {

// The steps of flags in the engine's order, "Erase, Blank check, Program", and "Save"
// after them when the image was saved.
std::string StepsText(uint32_t flags, bool saved);
// "Init() 40, Erase 120, Program 900" (milliseconds), in the order the steps ran.
std::string StepTimesText(const std::vector<StepTime>& times);
// "Init 40 ms, Erase 120 ms, Dump 3 ms" as the result line gives them (the names the
// steps' own reports use); empty when no step ran.
std::string ResultStepsText(const std::vector<StepTime>& times);

} // namespace pyrola::cli
