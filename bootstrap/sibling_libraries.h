// File names of the installed runtime's libraries. The four family libraries
// are loaded by full path from the runtime library directory; the utilities
// library is never loaded, only used when it is already in the process.
#pragma once

namespace tvc {

inline constexpr char array_library_file[] = "libka.dll";
inline constexpr char data_file_library_file[] = "libvlt.dll";
inline constexpr char runtime_library_file[] = "tvcvrt.dll";
inline constexpr char base_library_file[] = "tvcbase.dll";
inline constexpr char utilities_library_file[] = "libbx.dll";

// Named to callers as the runtime's sentinel; this library never loads it.
inline constexpr char sentinel_library_file[] = "vrt.dll";

}  // namespace tvc
