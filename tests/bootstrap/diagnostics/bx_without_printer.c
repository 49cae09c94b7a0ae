/* A utilities library that lacks the printer. */
__declspec(dllexport) int bxVersion(void) { return 1; }
