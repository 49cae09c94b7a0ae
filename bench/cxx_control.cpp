// A C++ library for the load and unload benchmark, linked as
// tvcvrtrt7_17.dll is, with the same static C++ runtime, doing nothing of
// its own at load.
#include <string>

extern "C" __declspec(dllexport) int bench_control_value(const char *text) {
    return static_cast<int>(std::string(text).size());
}
