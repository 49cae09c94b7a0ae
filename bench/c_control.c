/* A plain C library for the load and unload benchmark: no C++ runtime. */
__declspec(dllexport) int bench_control_value(void) { return 1; }
