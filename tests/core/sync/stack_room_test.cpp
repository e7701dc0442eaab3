#include "core/sync/stack_room.hpp"

#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "core/pattern/pattern.hpp"

namespace vellix::core {
namespace {

// Runs f on a thread with a stack of `size` bytes, as small as Python allows.
void on_small_stack(size_t size, const std::function<void()>& f) {
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, size), 0);
  pthread_t thread;
  auto run = [](void* fn) -> void* {
    (*static_cast<const std::function<void()>*>(fn))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&f)), 0);
  pthread_attr_destroy(&attr);
  pthread_join(thread, nullptr);
}

std::string nested(int depth, const std::string& inner) {
  return std::string(static_cast<size_t>(depth), '(') + inner + std::string(static_cast<size_t>(depth), ')');
}

TEST(StackRoom, TheDeepestPatternCompilesOnTheSmallestThreadStack) {
  bool matched = false;
  std::string too_deep;
  size_t room = 0;
  on_small_stack(32 * 1024, [&] {
    room = stack_room();
    Result<Pattern> p = compile_search_pattern(nested(63, "a"));
    matched = p && p.value().matches("A");
    Result<Pattern> q = compile_search_pattern(nested(64, "a"));
    if (!q) too_deep = q.error().message;
  });
  EXPECT_LT(room, size_t{32 * 1024});
  EXPECT_TRUE(matched);
  EXPECT_EQ(too_deep, "pattern nested too deeply at offset 63");
}

TEST(StackRoom, WorkMovedToAStackOfOursGivesBackItsResultAndItsException) {
  int answer = 0;
  std::string thrown;
  on_small_stack(32 * 1024, [&] {
    answer = with_stack_room(size_t{1} << 20, [] { return stack_room() > (size_t{1} << 20) ? 42 : 0; });
    try {
      (void)with_stack_room(size_t{1} << 20, []() -> int { throw std::runtime_error("out"); });
    } catch (const std::runtime_error& e) {
      thrown = e.what();
    }
  });
  EXPECT_EQ(answer, 42);
  EXPECT_EQ(thrown, "out");
}

}  // namespace
}  // namespace vellix::core
