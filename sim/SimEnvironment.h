#pragma once
// Sets the environment variables through which the simulated FET library is chosen and
// set up (PYROLA_FET_LIBRARY, PYROLA_SIM_DEVICE, PYROLA_SIM_STATE, PYROLA_SIM_FAULTS), for
// the tests and tools that drive it within their own process.

#include <cstdlib>
#include <string>

namespace pyrola::sim {

// An empty value removes the variable.
inline void SetEnvValue(const std::string& name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name.c_str(), value.c_str());
#else
    if (value.empty()) {
        unsetenv(name.c_str());
    } else {
        setenv(name.c_str(), value.c_str(), 1);
    }
#endif
}

} // namespace pyrola::sim
