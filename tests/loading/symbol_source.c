/* A loadable library with two known functions for the binder to find. */
__declspec(dllexport) int loader_known_function(int value) { return 3 * value + 1; }
__declspec(dllexport) const char *loader_known_name(void) { return "symbol source"; }
