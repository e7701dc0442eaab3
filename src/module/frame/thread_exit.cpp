#include "module/frame/thread_exit.hpp"

#include <unistd.h>

namespace vellix::py {

void park_exiting_thread() noexcept {
  for (;;) pause();
}

}  // namespace vellix::py
