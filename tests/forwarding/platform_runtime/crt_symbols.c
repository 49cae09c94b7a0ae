/* Two symbols that the platform's C and C++ runtime libraries define and
   code of its compiler refers to, for builds that link neither. */

/* The type descriptors of thrown and caught types point at the virtual
   table of type_info. Wine's C runtime matches exceptions by the types'
   names and never reads the table, so two null entries are enough. */
const void *const type_info_vtable[2] __asm__("??_7type_info@@6B@") = {0, 0};

/* Referred to by every object that uses floating point. */
int _fltused = 0;
