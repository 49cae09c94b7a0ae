// What the initialization entry points (initialization.cpp) show the
// library's tests.
#pragma once

namespace tvc {

// How many threads are inside an initialization entry point, waiting for the
// run of the sequence under way to end (or for their turn to start one).
int threads_waiting_for_initialization() noexcept;

}  // namespace tvc
