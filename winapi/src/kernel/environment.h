// The environment, shared by the environment functions and CreateProcessA.
#pragma once

#include <string>
#include <vector>

namespace winapi {

// Every variable as "NAME=value", taken under the lock that
// SetEnvironmentVariableA changes them under.
std::vector<std::string> environmentSnapshot();

} // namespace winapi
