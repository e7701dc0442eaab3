#define PCRE2_CODE_UNIT_WIDTH 8
#include "core/pattern.hpp"

#include <pcre2.h>

#include <new>
#include <string>
#include <utility>

namespace vellix::core {
namespace {

constexpr uint32_t kCompileOptions = PCRE2_UTF | PCRE2_UCP | PCRE2_DOLLAR_ENDONLY;
constexpr PCRE2_SIZE kJitStackStart = 32 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 1024 * 1024;

// What one thread needs to run matches: a one-pair ovector (enough to tell a
// match from none), a match context carrying the limit, and a JIT stack larger
// than the default 32 KiB so that deep but sane patterns do not fail.
struct MatchScratch {
  pcre2_match_data* data = nullptr;
  pcre2_match_context* context = nullptr;
  pcre2_jit_stack* jit_stack = nullptr;
  uint32_t match_limit = kDefaultMatchLimit;  // as set in context

  MatchScratch() {
    data = pcre2_match_data_create(1, nullptr);
    context = pcre2_match_context_create(nullptr);
    jit_stack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
    if (data == nullptr || context == nullptr) {
      release();
      throw std::bad_alloc();
    }
    pcre2_set_match_limit(context, match_limit);
    // Without its own stack the JIT falls back to 32 KiB on the machine stack.
    if (jit_stack != nullptr) pcre2_jit_stack_assign(context, nullptr, jit_stack);
  }
  ~MatchScratch() { release(); }
  MatchScratch(const MatchScratch&) = delete;  // owns library objects
  MatchScratch& operator=(const MatchScratch&) = delete;

  void release() noexcept {
    pcre2_match_data_free(data);
    pcre2_match_context_free(context);
    pcre2_jit_stack_free(jit_stack);
    data = nullptr;
    context = nullptr;
    jit_stack = nullptr;
  }
};

MatchScratch& thread_scratch() {
  thread_local MatchScratch scratch;
  return scratch;
}

// Runs one match with the thread's context; the result code of the library
// (>= 0 is a match).
int run_match(pcre2_code* code, bool jit, uint32_t limit, std::string_view text, pcre2_match_data* data,
              MatchScratch& s) {
  // Scans match one pattern many times over: set the limit only when it changes.
  if (s.match_limit != limit) {
    pcre2_set_match_limit(s.context, limit);
    s.match_limit = limit;
  }
  // An empty view may carry a null pointer, which JIT code reads through for
  // some patterns ("()*T|9|"): hand it a real empty text instead.
  if (text.data() == nullptr) text = std::string_view("", 0);
  auto subject = reinterpret_cast<PCRE2_SPTR>(text.data());
  if (jit) return pcre2_jit_match(code, subject, text.size(), 0, 0, data, s.context);
  return pcre2_match(code, subject, text.size(), 0, PCRE2_NO_UTF_CHECK, data, s.context);
}

std::string error_text(int code) {
  PCRE2_UCHAR buffer[256];
  int n = pcre2_get_error_message(code, buffer, sizeof buffer);
  if (n < 0) return "error " + std::to_string(code);
  return std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
}

}  // namespace

Pattern::Pattern(Pattern&& other) noexcept
    : code_(std::exchange(other.code_, nullptr)), jit_(other.jit_), match_limit_(other.match_limit_) {}

Pattern& Pattern::operator=(Pattern&& other) noexcept {
  if (this != &other) {
    pcre2_code_free(code_);
    code_ = std::exchange(other.code_, nullptr);
    jit_ = other.jit_;
    match_limit_ = other.match_limit_;
  }
  return *this;
}

Pattern::~Pattern() { pcre2_code_free(code_); }

bool Pattern::matches(std::string_view text) const {
  MatchScratch& s = thread_scratch();
  return run_match(code_, jit_, match_limit_, text, s.data, s) >= 0;
}

bool Pattern::match_groups(std::string_view text, std::span<std::optional<std::string_view>> groups) const {
  for (auto& g : groups) g.reset();
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code_, nullptr);
  if (data == nullptr) throw std::bad_alloc();
  int rc = run_match(code_, jit_, match_limit_, text, data, thread_scratch());
  if (rc >= 0) {
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    size_t pairs = pcre2_get_ovector_count(data);
    for (size_t i = 0; i < groups.size() && i < pairs; ++i) {
      PCRE2_SIZE start = ovector[2 * i];
      PCRE2_SIZE end = ovector[2 * i + 1];
      if (start != PCRE2_UNSET) groups[i] = text.substr(start, end - start);
    }
  }
  pcre2_match_data_free(data);
  return rc >= 0;
}

Result<Pattern> compile_pattern(std::string_view text, PatternOptions options) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), kCompileOptions, &error,
                                   &offset, nullptr);
  if (code == nullptr) {
    if (error == PCRE2_ERROR_NOMEMORY) throw std::bad_alloc();
    return Error{ErrorKind::Runtime, error_text(error) + " at offset " + std::to_string(offset), {}};
  }
  // JIT is a speed-up only: where it is unavailable the interpreter matches alike.
  bool jit = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
  return Pattern(code, jit, options.match_limit);
}

Result<Pattern> compile_search_pattern(std::string_view pattern, PatternOptions options) {
  std::string text;
  text.reserve(pattern.size() + 4);
  text += "(?i)";
  text += pattern;
  return compile_pattern(text, options);
}

}  // namespace vellix::core
