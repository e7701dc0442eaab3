// Locks held across a fork.
//
// A child process starts with only the thread that forked; a lock another
// thread held at that moment stays held in the child for ever. A lock that
// guards state a child may use is taken just before each fork and released
// just after, in parent and child alike.
//
//   constinit std::mutex g_lock;
//   [[maybe_unused]] const int kForkSafe = hold_across_fork([] { g_lock.lock(); }, [] { g_lock.unlock(); });
#pragma once

#include <pthread.h>

namespace vellix::core {

// Registers the pair for every later fork; pthread_atfork's result (0 on
// success). Call it once per lock, from a static initialiser.
inline int hold_across_fork(void (*lock)(), void (*unlock)()) { return pthread_atfork(lock, unlock, unlock); }

}  // namespace vellix::core
