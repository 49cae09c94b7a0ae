/* Lives in a directory no load searches. */
__declspec(dllexport) int unreachable_function(void) { return 7; }
