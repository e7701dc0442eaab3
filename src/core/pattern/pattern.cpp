#define PCRE2_CODE_UNIT_WIDTH 8
#include "core/pattern/pattern.hpp"

#include <pcre2.h>

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/pattern/syntax.hpp"
#include "core/sync/fork.hpp"
#include "core/sync/never_destroyed.hpp"
#include "core/sync/stack_room.hpp"
#include "core/value/utf8.hpp"

namespace vellix::core {
namespace {

constexpr uint32_t kCompileOptions = PCRE2_UTF | PCRE2_UCP | PCRE2_DOLLAR_ENDONLY;
constexpr PCRE2_SIZE kJitStackStart = 32 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 1024 * 1024;
constexpr uint32_t kPlainMatchLimit = 10'000;
constexpr size_t kDfaWorkspaceMax = size_t{1} << 24;  // ints: 64 MiB

// A child forked while another thread compiles or frees a pattern would
// find held for ever what that thread held: the JIT's lock on its executable
// memory, or the guard of a table the translation sets up on first use. So
// each translation, JIT compile and free holds this lock, which each fork
// takes first. A pattern may still be freed while the process exits.
constinit NeverDestroyed<std::mutex> g_compile_lock;
[[maybe_unused]] const int kCompileForkSafe =
    hold_across_fork([] { g_compile_lock->lock(); }, [] { g_compile_lock->unlock(); });

// JIT is a speed-up only: where it is unavailable the interpreter matches
// alike.
bool jit_compile(pcre2_code* code) {
  std::lock_guard hold(*g_compile_lock);
  return pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
}

void free_code(pcre2_code* code) noexcept {
  std::lock_guard hold(*g_compile_lock);
  pcre2_code_free(code);
}

}  // namespace

namespace detail {

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

}  // namespace detail

namespace {

using detail::MatchScratch;

MatchScratch& thread_scratch() {
  thread_local MatchScratch scratch;
  return scratch;
}

// A look-behind check runs inside a match of the main code, which is using
// the thread's scratch and JIT stack: it gets scratch of its own.
MatchScratch& thread_check_scratch() {
  thread_local MatchScratch scratch;
  return scratch;
}

// Scans match one pattern many times over: the limit is set only when it changes.
void set_match_limit(MatchScratch& s, uint32_t limit) {
  if (s.match_limit != limit) {
    pcre2_set_match_limit(s.context, limit);
    s.match_limit = limit;
  }
}

// Runs one match with the thread's context; the result code of the library
// (>= 0 is a match).
int run_match(pcre2_code* code, bool jit, uint32_t limit, std::string_view text, pcre2_match_data* data,
              MatchScratch& s) {
  set_match_limit(s, limit);
  // An empty view may carry a null pointer, which JIT code reads through for
  // some patterns ("()*T|9|"): hand it a real empty text instead.
  if (text.data() == nullptr) text = std::string_view("", 0);
  auto subject = reinterpret_cast<PCRE2_SPTR>(text.data());
  if (jit) return pcre2_jit_match(code, subject, text.size(), 0, 0, data, s.context);
  // Code that was JIT-compiled runs there unless told not to.
  return pcre2_match(code, subject, text.size(), 0, PCRE2_NO_UTF_CHECK | PCRE2_NO_JIT, data, s.context);
}

// A plain pattern (one the syntax's engine runs without backtracking) is
// never answered "no match" for running out of steps: what the backtracking
// matcher gives up on, PCRE2's automaton matcher settles. It follows every
// way through the pattern at once, so its time grows polynomially with the
// text (about cubically at worst, for nested repeats), never exponentially.
// It reports other spans than the backtracker would, which a yes/no answer
// does not see.
struct DfaScratch {
  MatchScratch match;
  std::vector<int> workspace;

  DfaScratch() {
    // Its limits bound calls for assertions, not backtracking: a plain
    // pattern must not run into them on a long text.
    match.match_limit = std::numeric_limits<uint32_t>::max();
    pcre2_set_match_limit(match.context, match.match_limit);
    pcre2_set_depth_limit(match.context, std::numeric_limits<uint32_t>::max());
  }
};

DfaScratch& thread_dfa_scratch() {
  thread_local DfaScratch scratch;
  return scratch;
}

// Patterns with callouts match with a context of their own, so that the
// context of every other pattern never carries a callout.
MatchScratch& thread_callout_scratch(int (*callout)(pcre2_callout_block*, void*), void* run) {
  thread_local MatchScratch scratch;
  // Made here, where an allocation failure may throw, not first inside the
  // callout, which the matcher's C frames call.
  (void)thread_check_scratch();
  (void)thread_dfa_scratch();
  pcre2_set_callout(scratch.context, callout, run);
  return scratch;
}

// Whether the matcher stopped for a limit rather than answered (the automaton
// matcher's: its workspace at most).
bool gave_up(int rc) {
  return rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT || rc == PCRE2_ERROR_HEAPLIMIT ||
         rc == PCRE2_ERROR_JIT_STACKLIMIT || rc == PCRE2_ERROR_DFA_WSSIZE;
}

// Runs the automaton matcher, calling `callout` (with `data`) where the code
// holds one; the workspace holds its live states and grows until they fit
// (their count is bounded by the compiled pattern's size). The result code of
// the library; throws std::bad_alloc.
int dfa_match(pcre2_code* code, std::string_view text, uint32_t options,
              int (*callout)(pcre2_callout_block*, void*) = nullptr, void* data = nullptr) {
  DfaScratch& s = thread_dfa_scratch();
  if (text.data() == nullptr) text = std::string_view("", 0);
  if (s.workspace.empty()) s.workspace.resize(1024);
  pcre2_set_callout(s.match.context, callout, data);
  for (;;) {
    int rc =
        pcre2_dfa_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, options | PCRE2_NO_UTF_CHECK,
                        s.match.data, s.match.context, s.workspace.data(), s.workspace.size());
    if (rc != PCRE2_ERROR_DFA_WSSIZE || s.workspace.size() >= kDfaWorkspaceMax) return rc;
    s.workspace.resize(s.workspace.size() * 2);
  }
}

bool dfa_matches(pcre2_code* code, std::string_view text) { return dfa_match(code, text, PCRE2_DFA_SHORTEST) >= 0; }

// The callout that ends a look-behind body's automaton code: marks where the
// body ends and fails, so that the match goes on through the whole text.
int mark_body_end(pcre2_callout_block* block, void* data) {
  auto& ends = *static_cast<std::vector<uint64_t>*>(data);
  size_t at = block->current_position;
  ends[at / 64] |= uint64_t{1} << (at % 64);
  return 1;
}

// Fills `ends` with the positions of `text` where some match of the body
// compiled in `code` ends: one pass that keeps every start alive at once. The
// result code of the library (0 once done).
int find_body_ends(pcre2_code* code, std::string_view text, std::vector<uint64_t>& ends) noexcept {
  try {
    ends.assign(text.size() / 64 + 1, 0);
    int rc = dfa_match(code, text, PCRE2_ANCHORED, &mark_body_end, &ends);
    return rc == PCRE2_ERROR_NOMATCH ? 0 : rc;
  } catch (const std::bad_alloc&) {
    return PCRE2_ERROR_NOMEMORY;
  }
}

// Runs `code` over `text` with at most `steps_left` steps, and takes the steps
// it used from them. The library does not say how many it used, so the limit
// grows eightfold from one step: a check of one step costs one, and the steps
// taken off are at most about nine times those used, in a few runs.
int run_counted(pcre2_code* code, bool jit, std::string_view text, uint32_t& steps_left) {
  constexpr uint32_t kGrowth = 8;
  MatchScratch& s = thread_check_scratch();
  for (uint32_t limit = 1;; limit = limit > UINT32_MAX / kGrowth ? UINT32_MAX : limit * kGrowth) {
    uint32_t steps = std::min(limit, steps_left);
    int rc = run_match(code, jit, steps, text, s.data, s);
    steps_left -= steps;
    if (rc != PCRE2_ERROR_MATCHLIMIT || steps_left == 0) return rc;
  }
}

// The callout (?C"N") before a back-reference to group N that folds case: the
// syntax compares as many bytes as the group holds, so the text ahead must
// end a character there and hold as many characters as the group. The
// back-reference then compares them.
bool folded_reference_fits(const pcre2_callout_block* block) {
  unsigned group = 0;
  for (PCRE2_SIZE i = 0; i < block->callout_string_length; ++i) group = group * 10 + (block->callout_string[i] - '0');
  if (group >= block->capture_top || block->offset_vector[2 * group] == PCRE2_UNSET) return true;  // fails by itself
  std::string_view text(reinterpret_cast<const char*>(block->subject), block->subject_length);
  std::string_view captured = text.substr(block->offset_vector[2 * group],
                                          block->offset_vector[2 * group + 1] - block->offset_vector[2 * group]);
  size_t here = block->current_position;
  if (captured.size() > text.size() - here) return false;
  std::string_view ahead = text.substr(here, captured.size());
  auto characters = [](std::string_view s) {
    return std::count_if(s.begin(), s.end(), [](char c) { return !is_utf8_continuation(c); });
  };
  if (here + ahead.size() < text.size() && is_utf8_continuation(text[here + ahead.size()])) return false;
  return characters(ahead) == characters(captured);
}

std::string error_text(int code) {
  PCRE2_UCHAR buffer[256];
  int n = pcre2_get_error_message(code, buffer, sizeof buffer);
  if (n < 0) return "error " + std::to_string(code);
  return std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
}

}  // namespace

// What the look-behind checks of one match share. A check first runs on its
// own, from the start of the text to where it stands; once the checks of one
// look-behind have read (bytes and steps) more than about kScansBeforeDfa
// texts' worth, the automaton matcher finds in one pass every position where
// its body ends, and its later checks are lookups. Either way each match reads
// the text a bounded number of times, and the checks draw on one budget of
// steps, the main code's match limit.
constexpr size_t kScansBeforeDfa = 2;
constexpr size_t kReadBeforeDfa = 4096;  // for short texts, where a pass costs little more

struct Pattern::LookBehindRun {
  struct Ends {
    bool known = false;
    size_t read = 0;             // bytes and steps the checks took while not known
    std::vector<uint64_t> bits;  // bit i: a body match ends at byte i
  };
  const Pattern* pattern = nullptr;
  std::vector<Ends> ends;  // by look-behind; kept from match to match
  uint32_t steps_left = 0;
  int error = 0;  // the library failure that ended the match
};

Pattern::Pattern(Pattern&& other) noexcept
    : code_(std::exchange(other.code_, nullptr)),
      jit_(other.jit_),
      match_limit_(other.match_limit_),
      callouts_(other.callouts_),
      calls_(other.calls_),
      required_(other.required_),
      required_count_(other.required_count_),
      scan_code_(std::exchange(other.scan_code_, nullptr)),
      look_behinds_(std::exchange(other.look_behinds_, {})) {}

Pattern& Pattern::operator=(Pattern&& other) noexcept {
  if (this != &other) {
    release();
    code_ = std::exchange(other.code_, nullptr);
    jit_ = other.jit_;
    match_limit_ = other.match_limit_;
    callouts_ = other.callouts_;
    calls_ = other.calls_;
    required_ = other.required_;
    required_count_ = other.required_count_;
    scan_code_ = std::exchange(other.scan_code_, nullptr);
    look_behinds_ = std::exchange(other.look_behinds_, {});
  }
  return *this;
}

Pattern::~Pattern() { release(); }

void Pattern::release() noexcept {
  free_code(code_);
  code_ = nullptr;
  free_code(scan_code_);
  scan_code_ = nullptr;
  for (const LookBehind& check : look_behinds_) {
    free_code(check.at_end);
    free_code(check.inside);
    free_code(check.ends);
  }
  look_behinds_.clear();
}

int Pattern::check_look_behind(pcre2_callout_block* block, void* data) noexcept {
  if (block->callout_string != nullptr) return folded_reference_fits(block) ? 0 : 1;
  auto& run = *static_cast<LookBehindRun*>(data);
  const LookBehind& check = run.pattern->look_behinds_[block->callout_number - 1];
  LookBehindRun::Ends& ends = run.ends[block->callout_number - 1];
  std::string_view text(reinterpret_cast<const char*>(block->subject), block->subject_length);
  size_t here = block->current_position;
  int rc = PCRE2_ERROR_MATCHLIMIT;
  size_t allowance = kScansBeforeDfa * text.size() + kReadBeforeDfa;
  if (!ends.known && ends.read < allowance) {
    pcre2_code* code = check.at_end;
    std::string_view before = text;
    if (here < text.size()) {
      // The text up to the end of the next character, which the code requires
      // to follow its match (so that anchors in the body see that character).
      before = text.substr(0, here + utf8_sequence_length(text[here]));
      code = check.inside;
    }
    ends.read += before.size();
    auto left = static_cast<uint32_t>(std::min<size_t>(run.steps_left, allowance - std::min(allowance, ends.read)));
    uint32_t steps = left;
    rc = run_counted(code, check.jit, before, left);
    run.steps_left -= steps - left;
    ends.read += steps - left;
    if (rc >= 0 || rc == PCRE2_ERROR_NOMATCH) return (rc >= 0) == check.positive ? 0 : 1;  // 1: fail here
  }
  // A limit of this check's own, with steps left in the match: look it up.
  if (gave_up(rc) && run.steps_left > 0) {
    if (!ends.known) {
      rc = find_body_ends(check.ends, text, ends.bits);
      ends.known = rc == 0;
    }
    if (ends.known) return ((ends.bits[here / 64] >> (here % 64)) & 1) == check.positive ? 0 : 1;
  }
  run.error = rc;
  return rc;  // negative: ends the whole match with this code
}

int Pattern::run(std::string_view text, pcre2_match_data* data) const {
  int rc = callouts_ ? run_with_callouts(text, data, jit_)
                     : run_match(code_, jit_, match_limit_, text, data, thread_scratch());
  // Each call of a group leaves a frame on the JIT's stack: tens of
  // thousands of them outgrow it, where the interpreter's frames, on the
  // heap, still fit.
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT && calls_) [[unlikely]] {
    rc = callouts_ ? run_with_callouts(text, data, false)
                   : run_match(code_, false, match_limit_, text, data, thread_scratch());
  }
  return rc;
}

int Pattern::run_with_callouts(std::string_view text, pcre2_match_data* data, bool jit) const {
  thread_local LookBehindRun run;
  run.pattern = this;
  run.steps_left = match_limit_;
  run.error = 0;
  if (run.ends.size() < look_behinds_.size()) run.ends.resize(look_behinds_.size());
  for (LookBehindRun::Ends& ends : run.ends) {
    ends.known = false;
    ends.read = 0;
  }
  MatchScratch& s = thread_callout_scratch(&check_look_behind, &run);
  int rc = run_match(code_, jit, match_limit_, text, data, s);
  // A limit ends the match as a miss, as it does any match; anything else is
  // a failure the caller must hear of.
  if (run.error == 0 || gave_up(run.error)) return rc;
  if (run.error == PCRE2_ERROR_NOMEMORY) throw std::bad_alloc();
  throw InternalFailure("a look-behind's body failed to match: " + error_text(run.error));
}

bool Pattern::matches(std::string_view text) const {
  int rc = run(text, thread_scratch().data);
  if (rc >= 0) return true;
  return scan_code_ != nullptr && gave_up(rc) && dfa_matches(scan_code_, text);
}

void Pattern::find_required_units() noexcept {
  // Either case counts for a letter: the pattern may fold case, and PCRE2
  // records a unit it folds only when its one other case is the ASCII one.
  for (auto [type_info, unit_info] : {std::pair{PCRE2_INFO_FIRSTCODETYPE, PCRE2_INFO_FIRSTCODEUNIT},
                                      std::pair{PCRE2_INFO_LASTCODETYPE, PCRE2_INFO_LASTCODEUNIT}}) {
    uint32_t type = 0;
    uint32_t unit = 0;
    if (pcre2_pattern_info(code_, type_info, &type) == 0 && type == 1 &&
        pcre2_pattern_info(code_, unit_info, &unit) == 0 && unit < 0x80) {
      required_[required_count_++] = byte_probe(static_cast<unsigned char>(unit), true);
    }
  }
}

bool Pattern::may_match_within(std::string_view bytes) const {
  // A first or required code unit may be caseless: either ASCII case counts.
  auto among = [&](uint32_t unit) {
    const auto c = static_cast<char>(unit);
    return unit < 0x80 && (bytes.find(c) != std::string_view::npos ||
                           bytes.find(static_cast<char>(c ^ 0x20)) != std::string_view::npos);
  };
  uint32_t type = 0;
  uint32_t unit = 0;
  if (pcre2_pattern_info(code_, PCRE2_INFO_FIRSTCODETYPE, &type) == 0 && type == 1 &&
      pcre2_pattern_info(code_, PCRE2_INFO_FIRSTCODEUNIT, &unit) == 0 && !among(unit)) {
    return false;
  }
  const uint8_t* starts = nullptr;
  if (type == 0 && pcre2_pattern_info(code_, PCRE2_INFO_FIRSTBITMAP, &starts) == 0 && starts != nullptr &&
      std::none_of(bytes.begin(), bytes.end(), [&](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (starts[b / 8] >> (b % 8)) & 1;
      })) {
    return false;
  }
  if (pcre2_pattern_info(code_, PCRE2_INFO_LASTCODETYPE, &type) == 0 && type == 1 &&
      pcre2_pattern_info(code_, PCRE2_INFO_LASTCODEUNIT, &unit) == 0 && !among(unit)) {
    return false;
  }
  // An anchored pattern has no start set, but its matches all start at the
  // text's start: a hard partial match of one byte alone fails outright only
  // when no text that begins with that byte can match. Callouts are left out
  // (the thread's plain context), which can only make more texts pass.
  uint32_t options = 0;
  if (pcre2_pattern_info(code_, PCRE2_INFO_ALLOPTIONS, &options) != 0 || (options & PCRE2_ANCHORED) == 0) return true;
  MatchScratch& s = thread_scratch();
  return std::any_of(bytes.begin(), bytes.end(), [&](const char& c) {
    return pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(&c), 1, 0, PCRE2_PARTIAL_HARD, s.data, s.context) !=
           PCRE2_ERROR_NOMATCH;
  });
}

PatternScan::PatternScan(const Pattern& pattern) : pattern_(pattern) {
  // Patterns with callouts or group calls match through Pattern::matches,
  // which runs the callouts and takes the calls past a full JIT stack.
  if (pattern.callouts_ || pattern.calls_ || !pattern.jit_) return;
  scratch_ = &thread_scratch();
}

bool PatternScan::matches_directly(std::string_view text) const {
  // As Pattern::matches does it, through run_match.
  set_match_limit(*scratch_, pattern_.match_limit_);
  if (text.data() == nullptr) text = std::string_view("", 0);
  const int rc = pcre2_jit_match(pattern_.code_, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0,
                                 scratch_->data, scratch_->context);
  if (rc >= 0) return true;
  return pattern_.scan_code_ != nullptr && gave_up(rc) && dfa_matches(pattern_.scan_code_, text);
}

bool Pattern::match_groups(std::string_view text, std::span<std::optional<std::string_view>> groups) const {
  for (auto& g : groups) g.reset();
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code_, nullptr);
  if (data == nullptr) throw std::bad_alloc();
  int rc = 0;
  try {
    rc = run(text, data);
  } catch (...) {
    pcre2_match_data_free(data);
    throw;
  }
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

namespace {

// The translator and the matcher's compiler recurse once per nesting level;
// the deepest pattern the syntax allows takes a quarter of this.
constexpr size_t kCompileStackRoom = (size_t{512} << 10) * kStackRoomFactor;

// The compile errors that a pattern the front end accepted may still meet:
// the matcher's own limits on size, nesting and counts.
bool is_matcher_limit(int error) {
  switch (error) {
    case PCRE2_ERROR_PARENTHESES_NEST_TOO_DEEP:
    case PCRE2_ERROR_PATTERN_TOO_LARGE:
    case PCRE2_ERROR_INTERNAL_CODE_OVERFLOW:
    case PCRE2_ERROR_LOOKBEHIND_TOO_COMPLICATED:
    case PCRE2_ERROR_CALLOUT_NUMBER_TOO_BIG:
    case PCRE2_ERROR_SUBPATTERN_NUMBER_TOO_BIG:
    case PCRE2_ERROR_INTERNAL_PARSED_OVERFLOW:
    case PCRE2_ERROR_PATTERN_TOO_COMPLICATED:
    case PCRE2_ERROR_LOOKBEHIND_TOO_LONG:
    case PCRE2_ERROR_PATTERN_STRING_TOO_LONG:
    case PCRE2_ERROR_TOO_MANY_CAPTURES: return true;
    default: return false;
  }
}

struct CodeFree {
  void operator()(pcre2_code* code) const noexcept { free_code(code); }
};
// A compiled code until a Pattern owns it, so that a throw frees it.
using OwnedCode = std::unique_ptr<pcre2_code, CodeFree>;

// Compiles a translated pattern (never caller text); null with `error` set on
// failure. `jit` null: not JIT-compiled (the automaton matcher does not use
// it).
OwnedCode compile_code(const std::string& text, uint32_t extra_options, bool* jit, int& error) {
  PCRE2_SIZE offset = 0;
  OwnedCode code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), kCompileOptions | extra_options,
                               &error, &offset, nullptr));
  if (code == nullptr) {
    if (error == PCRE2_ERROR_NOMEMORY) throw std::bad_alloc();
    return nullptr;
  }
  if (jit != nullptr) *jit = jit_compile(code.get());
  return code;
}

}  // namespace

std::optional<Pattern> Pattern::build(const TranslatedPattern& t, PatternOptions options, int& error) {
  bool jit = false;
  // A callout that may fail must see every position a repeat before it could
  // give back, so repeats are not made possessive around it.
  const bool callouts = !t.look_behinds.empty() || t.folded_references;
  uint32_t extra = callouts ? PCRE2_NO_AUTO_POSSESS : 0;
  OwnedCode code = compile_code(t.pattern, extra, &jit, error);
  if (code == nullptr) return std::nullopt;
  Pattern result(code.release(), jit, options.match_limit);
  result.callouts_ = callouts;
  result.calls_ = t.calls;
  if (!callouts) result.find_required_units();
  // Only a pattern that must backtrack anyway calls groups (see compile).
  assert(!(t.plain && t.calls));
  if (t.plain) {
    // Found from the start of the text, the automaton keeps every start
    // alive in one pass instead of trying one start after another.
    OwnedCode scan = compile_code("(?s:.)*(?:" + t.plain_pattern + ")", 0, nullptr, error);
    if (scan == nullptr) return std::nullopt;
    result.scan_code_ = scan.release();
    // Past ten thousand steps the automaton answers sooner than more
    // backtracking would.
    result.match_limit_ = std::min(result.match_limit_, kPlainMatchLimit);
  }
  for (const LookBehindCheck& check : t.look_behinds) {
    bool at_end_jit = false;
    bool inside_jit = false;
    OwnedCode at_end = compile_code(check.body, PCRE2_ENDANCHORED, &at_end_jit, error);
    if (at_end == nullptr) return std::nullopt;
    OwnedCode inside = compile_code("(?:" + check.body + ")(?=(?s:.)\\z)", 0, &inside_jit, error);
    if (inside == nullptr) return std::nullopt;
    // Found from the text's start by the automaton matcher: the front end
    // lets only bodies it runs vary in length (no back-reference, look-around
    // or atomic part).
    OwnedCode ends = compile_code("(?s:.)*(?:" + check.body + ")(?C1)", PCRE2_NO_AUTO_POSSESS, nullptr, error);
    if (ends == nullptr) return std::nullopt;
    result.look_behinds_.push_back({at_end.get(), inside.get(), ends.get(), at_end_jit && inside_jit, check.positive});
    (void)at_end.release();  // the pattern owns them now
    (void)inside.release();
    (void)ends.release();
  }
  return result;
}

Result<Pattern> Pattern::compile(std::string_view pattern, bool case_insensitive, PatternOptions options) {
  auto translate = [&](bool calls) {
    std::lock_guard hold(*g_compile_lock);
    return translate_pattern(pattern, case_insensitive, calls);
  };
  Result<TranslatedPattern> translated = translate(false);
  if (!translated) return std::move(translated).error();
  int error = 0;
  std::optional<Pattern> built = build(translated.value(), options, error);
  // Large counts of groups may fit once written as calls, but calls leave a
  // pattern to backtracking alone, whose step limit could then miss what the
  // automaton finds: a plain pattern that large stays rejected instead.
  if (!built && is_matcher_limit(error) && !translated.value().plain) {
    Result<TranslatedPattern> with_calls = translate(true);
    int calls_error = 0;
    if (with_calls && with_calls.value().pattern != translated.value().pattern) {
      built = build(with_calls.value(), options, calls_error);
      if (!built && !is_matcher_limit(calls_error)) error = calls_error;  // a fault of the calls, named below
    }
  }
  if (built) return std::move(*built);
  // The front end accepted the pattern, so what is left should be a limit of
  // the matcher's own (compiled size, nesting); its offset would count in our
  // output. Any other refusal is a fault of the front end, named as such so
  // that the fuzzer can tell the two apart.
  const std::string what =
      is_matcher_limit(error) ? "pattern too large for the matcher (" : "pattern not translated correctly (";
  return Error{ErrorKind::Runtime, what + error_text(error) + ") at offset 0"};
}

Result<Pattern> compile_pattern(std::string_view text, PatternOptions options) {
  return with_stack_room(kCompileStackRoom, [&] { return Pattern::compile(text, false, options); });
}

Result<Pattern> compile_search_pattern(std::string_view pattern, PatternOptions options) {
  return with_stack_room(kCompileStackRoom, [&] { return Pattern::compile(pattern, true, options); });
}

}  // namespace vellix::core
