// File names of the installed runtime's libraries that the library names but
// never loads (the family libraries' names are in their binding tables): the
// utilities library is only used when it is already in the process.
#pragma once

namespace tvc {

inline constexpr char utilities_library_file[] = "libbx.dll";

// Named to callers as the runtime's sentinel; this library never loads it.
inline constexpr char sentinel_library_file[] = "vrt.dll";

}  // namespace tvc
