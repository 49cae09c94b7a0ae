// Putting the tracing entries in front of the bound slots, one routine per
// kind of forwarder.
#pragma once

namespace tvc::trace {

// Each selected locked or guarded slot's bound address moves to its traced
// target and the slot receives its tracing entry; a slot that holds its
// entry already keeps its target, so a second installation never wraps twice.
void put_locked_tracing_entries_in_front() noexcept;

// The same for direct slots.
void put_direct_tracing_entries_in_front() noexcept;

}  // namespace tvc::trace
