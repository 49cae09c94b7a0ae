/* Imports from a library that no load can find, so it never loads itself. */
__declspec(dllimport) int unreachable_function(void);
__declspec(dllexport) int broken_import_function(void) { return unreachable_function(); }
