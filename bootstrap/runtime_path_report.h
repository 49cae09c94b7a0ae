// The report of the runtime paths that the verbose flag switches on.
#pragma once

namespace tvc {

// Six lines on standard output, values aligned in column 36.
void print_runtime_paths();

}  // namespace tvc
