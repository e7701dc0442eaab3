// Every table is built once, on first use, in a function-local static (so
// thread-safe), only read afterwards, and never destroyed (searches may still
// read it while the process exits).
#include "core/pattern/unicode_sets.hpp"

#include <unicode/uchar.h>
#include <unicode/ucpmap.h>
#include <unicode/uscript.h>
#include <unicode/uset.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/sync/never_destroyed.hpp"

namespace vellix::core {
namespace {

CodePointSet from_uset(const USet* u) {
  CodePointSet s;
  const int32_t n = uset_getRangeCount(u);
  for (int32_t i = 0; i < n; ++i) {
    UChar32 first = 0, last = 0;
    UErrorCode ec = U_ZERO_ERROR;
    uset_getItem(u, i, &first, &last, nullptr, 0, &ec);
    if (U_SUCCESS(ec)) add_range(s, static_cast<char32_t>(first), static_cast<char32_t>(last));
  }
  return s;
}

CodePointSet binary_property(UProperty p) {
  UErrorCode ec = U_ZERO_ERROR;
  const USet* u = u_getBinaryPropertySet(p, &ec);
  if (U_FAILURE(ec)) throw InternalFailure("no Unicode data for a binary property");
  return from_uset(u);
}

// The code points whose value of an enumerated property passes `keep`.
CodePointSet int_property(UProperty p, const std::function<bool(uint32_t)>& keep) {
  UErrorCode ec = U_ZERO_ERROR;
  const UCPMap* map = u_getIntPropertyMap(p, &ec);
  if (U_FAILURE(ec)) throw InternalFailure("no Unicode data for an enumerated property");
  CodePointSet s;
  UChar32 start = 0;
  uint32_t value = 0;
  while (start <= 0x10FFFF) {
    const UChar32 end = ucpmap_getRange(map, start, UCPMAP_RANGE_NORMAL, 0, nullptr, nullptr, &value);
    if (end < 0) break;
    if (keep(value)) add_range(s, static_cast<char32_t>(start), static_cast<char32_t>(end));
    start = end + 1;
  }
  return s;
}

CodePointSet general_category(uint32_t mask) {
  return int_property(UCHAR_GENERAL_CATEGORY, [mask](uint32_t gc) { return (U_MASK(gc) & mask) != 0; });
}

// --- Case folding -------------------------------------------------------------

// Every code point of a non-trivial fold class, sorted, with its class.
struct FoldTable {
  std::vector<std::pair<char32_t, uint32_t>> members;
  std::vector<std::vector<char32_t>> classes;
};

const FoldTable& fold_table() {
  static const NeverDestroyed<FoldTable> table([] {
    // Only case-sensitive code points are sources or targets of a folding.
    std::map<char32_t, std::vector<char32_t>> by_fold;
    for (const CodePointRange& r : binary_property(UCHAR_CASE_SENSITIVE).ranges) {
      for (char32_t c = r.first; c <= r.last; ++c) {
        const auto f = static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
        if (f != c) by_fold[f].push_back(c);
      }
    }
    FoldTable t;
    for (auto& [fold, sources] : by_fold) {
      const auto index = static_cast<uint32_t>(t.classes.size());
      sources.push_back(fold);
      std::sort(sources.begin(), sources.end());
      for (char32_t c : sources) t.members.emplace_back(c, index);
      t.classes.push_back(std::move(sources));
    }
    std::sort(t.members.begin(), t.members.end());
    return t;
  }());
  return *table;
}

}  // namespace

CodePointSet case_fold_closure(const CodePointSet& set) {
  const FoldTable& t = fold_table();
  // Only a fold class the set holds part of adds anything, so first list the
  // classes of the members inside the set; a closed set such as \w adds none.
  std::vector<uint32_t> touched;
  auto member = t.members.begin();
  for (const CodePointRange& r : set.ranges) {
    member = std::lower_bound(member, t.members.end(), std::make_pair(r.first, uint32_t{0}));
    for (; member != t.members.end() && member->first <= r.last; ++member) touched.push_back(member->second);
  }
  std::vector<char32_t> partners;
  auto add_if_partial = [&](uint32_t k, size_t inside) {
    if (inside < t.classes[k].size()) partners.insert(partners.end(), t.classes[k].begin(), t.classes[k].end());
  };
  if (touched.size() < 256) {
    std::sort(touched.begin(), touched.end());
    for (size_t i = 0, j = 0; i < touched.size(); i = j) {
      while (j < touched.size() && touched[j] == touched[i]) ++j;
      add_if_partial(touched[i], j - i);
    }
  } else {
    std::vector<uint8_t> inside(t.classes.size());
    for (uint32_t k : touched) ++inside[k];
    for (uint32_t k = 0; k < inside.size(); ++k) {
      if (inside[k] != 0) add_if_partial(k, inside[k]);
    }
  }
  if (partners.empty()) return set;
  std::sort(partners.begin(), partners.end());
  CodePointSet extra;
  for (char32_t c : partners) add_range(extra, c, c);
  return set_union(set, extra);
}

// --- Perl classes ---------------------------------------------------------------

CodePointSet perl_class(char letter) {
  static const NeverDestroyed<CodePointSet> kDigit(general_category(U_GC_ND_MASK));
  static const NeverDestroyed<CodePointSet> kSpace(binary_property(UCHAR_WHITE_SPACE));
  static const NeverDestroyed<CodePointSet> kWord(set_union(
      set_union(binary_property(UCHAR_ALPHABETIC), general_category(U_GC_M_MASK | U_GC_ND_MASK | U_GC_PC_MASK)),
      binary_property(UCHAR_JOIN_CONTROL)));
  static const NeverDestroyed<CodePointSet> kHex(code_point_set({{'0', '9'}, {'A', 'F'}, {'a', 'f'}}));
  static const NeverDestroyed<CodePointSet> kNotDigit(set_complement(*kDigit));
  static const NeverDestroyed<CodePointSet> kNotSpace(set_complement(*kSpace));
  static const NeverDestroyed<CodePointSet> kNotWord(set_complement(*kWord));
  static const NeverDestroyed<CodePointSet> kNotHex(set_complement(*kHex));
  switch (letter) {
    case 'd': return *kDigit;
    case 'D': return *kNotDigit;
    case 's': return *kSpace;
    case 'S': return *kNotSpace;
    case 'w': return *kWord;
    case 'W': return *kNotWord;
    case 'h': return *kHex;
    case 'H': return *kNotHex;
    default: throw InternalFailure(std::string("not a Perl class letter: ") + letter);
  }
}

// --- Property names -------------------------------------------------------------

namespace {

// Loose matching: spaces, '_' and '-' dropped, ASCII folded to lower case,
// anything non-ASCII dropped, and a leading "is" ignored (except that "isc"
// stays itself). Names from the tables keep their "is".
std::string normalize_name(std::string_view name, bool drop_is = true) {
  size_t start = 0;
  bool starts_with_is = false;
  if (drop_is && name.size() >= 2 && (name[0] == 'i' || name[0] == 'I') && (name[1] == 's' || name[1] == 'S')) {
    starts_with_is = true;
    start = 2;
  }
  std::string out;
  for (size_t i = start; i < name.size(); ++i) {
    const auto b = static_cast<unsigned char>(name[i]);
    if (b == ' ' || b == '_' || b == '-' || b >= 0x80) continue;
    out.push_back(b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : static_cast<char>(b));
  }
  if (starts_with_is && out == "c") out = "isc";
  return out;
}

using SetBuilder = std::function<CodePointSet()>;

// The set a name stands for, built on its first use and kept, with its fold
// closure; all the aliases of a value share one.
class LazySet {
 public:
  explicit LazySet(SetBuilder build) : build_(std::move(build)) {}
  const CodePointSet& plain() const {
    std::call_once(plain_once_, [this] { plain_ = build_(); });
    return plain_;
  }
  const CodePointSet& folded() const {
    std::call_once(folded_once_, [this] { folded_ = case_fold_closure(plain()); });
    return folded_;
  }

 private:
  SetBuilder build_;
  mutable std::once_flag plain_once_, folded_once_;
  mutable CodePointSet plain_, folded_;
};
using LazySetPtr = std::shared_ptr<const LazySet>;
LazySetPtr lazy(SetBuilder build) { return std::make_shared<const LazySet>(std::move(build)); }

// The binary properties the syntax accepts that ICU knows by number.
constexpr UProperty kBinaryProperties[] = {
    UCHAR_ASCII_HEX_DIGIT,
    UCHAR_ALPHABETIC,
    UCHAR_BIDI_CONTROL,
    UCHAR_BIDI_MIRRORED,
    UCHAR_CASE_IGNORABLE,
    UCHAR_CASED,
    UCHAR_CHANGES_WHEN_CASEFOLDED,
    UCHAR_CHANGES_WHEN_CASEMAPPED,
    UCHAR_CHANGES_WHEN_LOWERCASED,
    UCHAR_CHANGES_WHEN_TITLECASED,
    UCHAR_CHANGES_WHEN_UPPERCASED,
    UCHAR_DASH,
    UCHAR_DEFAULT_IGNORABLE_CODE_POINT,
    UCHAR_DEPRECATED,
    UCHAR_DIACRITIC,
    UCHAR_EMOJI,
    UCHAR_EMOJI_COMPONENT,
    UCHAR_EMOJI_MODIFIER,
    UCHAR_EMOJI_MODIFIER_BASE,
    UCHAR_EMOJI_PRESENTATION,
    UCHAR_EXTENDED_PICTOGRAPHIC,
    UCHAR_EXTENDER,
    UCHAR_GRAPHEME_BASE,
    UCHAR_GRAPHEME_EXTEND,
    UCHAR_GRAPHEME_LINK,
    UCHAR_HEX_DIGIT,
    UCHAR_HYPHEN,
    UCHAR_IDS_BINARY_OPERATOR,
    UCHAR_IDS_TRINARY_OPERATOR,
    UCHAR_ID_CONTINUE,
    UCHAR_ID_START,
    UCHAR_IDEOGRAPHIC,
    UCHAR_JOIN_CONTROL,
    UCHAR_LOGICAL_ORDER_EXCEPTION,
    UCHAR_LOWERCASE,
    UCHAR_MATH,
    UCHAR_NONCHARACTER_CODE_POINT,
    UCHAR_PATTERN_SYNTAX,
    UCHAR_PATTERN_WHITE_SPACE,
    UCHAR_PREPENDED_CONCATENATION_MARK,
    UCHAR_QUOTATION_MARK,
    UCHAR_RADICAL,
    UCHAR_REGIONAL_INDICATOR,
    UCHAR_S_TERM,
    UCHAR_SOFT_DOTTED,
    UCHAR_TERMINAL_PUNCTUATION,
    UCHAR_UNIFIED_IDEOGRAPH,
    UCHAR_UPPERCASE,
    UCHAR_VARIATION_SELECTOR,
    UCHAR_WHITE_SPACE,
    UCHAR_XID_CONTINUE,
    UCHAR_XID_START,
};

CodePointSet minus_categories(UProperty p, uint32_t gc_mask) {
  return set_difference(binary_property(p), general_category(gc_mask));
}

// Binary properties ICU does not number: the Other_* contributory ones, derived
// from the property they feed, and the few newer than its data, listed.
struct ExtraProperty {
  std::vector<std::string_view> names;
  SetBuilder build;
};

// The mathematical symbols that may start an identifier; those that may
// continue one are these and the super- and subscript digits and signs.
CodePointSet id_compat_math_start() {
  return code_point_set({{0x2202, 0x2202},
                         {0x2207, 0x2207},
                         {0x221E, 0x221E},
                         {0x1D6C1, 0x1D6C1},
                         {0x1D6DB, 0x1D6DB},
                         {0x1D6FB, 0x1D6FB},
                         {0x1D715, 0x1D715},
                         {0x1D735, 0x1D735},
                         {0x1D74F, 0x1D74F},
                         {0x1D76F, 0x1D76F},
                         {0x1D789, 0x1D789},
                         {0x1D7A9, 0x1D7A9},
                         {0x1D7C3, 0x1D7C3}});
}

const std::vector<ExtraProperty>& extra_properties() {
  static const NeverDestroyed<std::vector<ExtraProperty>> kExtra(std::vector<ExtraProperty>{
      {{"Other_Alphabetic", "OAlpha"}, [] { return minus_categories(UCHAR_ALPHABETIC, U_GC_L_MASK | U_GC_NL_MASK); }},
      {{"Other_Default_Ignorable_Code_Point", "ODI"},
       [] {
         return set_difference(minus_categories(UCHAR_DEFAULT_IGNORABLE_CODE_POINT, U_GC_CF_MASK),
                               binary_property(UCHAR_VARIATION_SELECTOR));
       }},
      {{"Other_Grapheme_Extend", "OGr_Ext"},
       [] { return minus_categories(UCHAR_GRAPHEME_EXTEND, U_GC_ME_MASK | U_GC_MN_MASK); }},
      {{"Other_ID_Continue", "OIDC"},
       [] {
         return set_difference(
             minus_categories(UCHAR_ID_CONTINUE, U_GC_MN_MASK | U_GC_MC_MASK | U_GC_ND_MASK | U_GC_PC_MASK),
             binary_property(UCHAR_ID_START));
       }},
      {{"Other_ID_Start", "OIDS"}, [] { return minus_categories(UCHAR_ID_START, U_GC_L_MASK | U_GC_NL_MASK); }},
      {{"Other_Lowercase", "OLower"}, [] { return minus_categories(UCHAR_LOWERCASE, U_GC_LL_MASK); }},
      {{"Other_Math", "OMath"}, [] { return minus_categories(UCHAR_MATH, U_GC_SM_MASK); }},
      {{"Other_Uppercase", "OUpper"}, [] { return minus_categories(UCHAR_UPPERCASE, U_GC_LU_MASK); }},
      {{"IDS_Unary_Operator", "IDSU"},
       [] {
         return code_point_set({{0x2FFE, 0x2FFF}});
       }},
      {{"ID_Compat_Math_Start"}, id_compat_math_start},
      {{"ID_Compat_Math_Continue"},
       [] {
         return set_union(
             id_compat_math_start(),
             code_point_set({{0xB2, 0xB3}, {0xB9, 0xB9}, {0x2070, 0x2070}, {0x2074, 0x207E}, {0x2080, 0x208E}}));
       }},
      {{"Modifier_Combining_Mark", "MCM"},
       [] {
         return code_point_set({{0x654, 0x655},
                                {0x658, 0x658},
                                {0x6DC, 0x6DC},
                                {0x6E3, 0x6E3},
                                {0x6E7, 0x6E8},
                                {0x8CA, 0x8CB},
                                {0x8CD, 0x8CF},
                                {0x8D3, 0x8D3},
                                {0x8F3, 0x8F3}});
       }},
  });
  return *kExtra;
}

// The Unicode versions an Age value may name; ICU's data stops at its own.
constexpr std::array<std::pair<uint8_t, uint8_t>, 27> kAges = {{
    {1, 1},  {2, 0},  {2, 1},  {3, 0},  {3, 1},  {3, 2},  {4, 0},  {4, 1},  {5, 0},
    {5, 1},  {5, 2},  {6, 0},  {6, 1},  {6, 2},  {6, 3},  {7, 0},  {8, 0},  {9, 0},
    {10, 0}, {11, 0}, {12, 0}, {12, 1}, {13, 0}, {14, 0}, {15, 0}, {15, 1}, {16, 0},
}};

// Every code point assigned in `version` or earlier: ICU's own Age sets hold
// exactly those.
CodePointSet assigned_by(std::pair<uint8_t, uint8_t> version) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u", unsigned(version.first), unsigned(version.second));
  UChar name[] = {'a', 'g', 'e', 0};
  UChar value[sizeof text];
  size_t n = 0;
  for (; text[n] != 0; ++n) value[n] = static_cast<UChar>(text[n]);
  value[n] = 0;
  UErrorCode ec = U_ZERO_ERROR;
  USet* u = uset_openEmpty();
  uset_applyPropertyAlias(u, name, -1, value, -1, &ec);
  CodePointSet s = from_uset(u);
  uset_close(u);
  if (U_FAILURE(ec)) throw InternalFailure("no Unicode data for an Age value");
  return s;
}

// Values of the enumerated properties that take name=value, by normalized name.
using ValueTable = std::unordered_map<std::string, LazySetPtr>;

void add_value_names(ValueTable& table, UProperty p, int32_t value, SetBuilder build) {
  const LazySetPtr set = lazy(std::move(build));
  for (int choice = 0;; ++choice) {
    const char* name = u_getPropertyValueName(p, value, static_cast<UPropertyNameChoice>(choice));
    if (name == nullptr) {
      if (choice < U_LONG_PROPERTY_NAME) continue;  // a value may lack a short name
      break;
    }
    table.emplace(normalize_name(name, false), set);
  }
}

// Values that some code point has; `skip_default` leaves out value 0, the
// "Other" of the break properties, which the syntax has no name for.
std::vector<bool> values_in_use(UProperty p, bool skip_default) {
  std::vector<bool> used(size_t(u_getIntPropertyMaxValue(p)) + 1);
  (void)int_property(p, [&used](uint32_t v) {
    if (v < used.size()) used[v] = true;
    return false;
  });
  if (skip_default) used[0] = false;
  return used;
}

ValueTable break_values(UProperty p) {
  ValueTable t;
  const std::vector<bool> used = values_in_use(p, true);
  for (int32_t v = 0; v < int32_t(used.size()); ++v) {
    if (!used[size_t(v)]) continue;
    add_value_names(t, p, v, [p, v] { return int_property(p, [v](uint32_t x) { return x == uint32_t(v); }); });
  }
  return t;
}

// The values of a break property, listed on first use: finding which values
// have code points makes ICU build the property's map.
template <UProperty P>
const ValueTable& break_table() {
  static const NeverDestroyed<ValueTable> table(break_values(P));
  return *table;
}

struct NameTables {
  std::unordered_map<std::string, LazySetPtr> binary;
  std::unordered_map<std::string, bool> any_property;  // every property name, binary or not
  ValueTable categories;
  ValueTable scripts;
  ValueTable script_extensions;
  ValueTable ages;
  // Canonical names of the properties that take a value, by normalized alias.
  std::unordered_map<std::string, const ValueTable& (*)()> valued;
};

void add_property_names(std::unordered_map<std::string, bool>& names, UProperty p) {
  for (int choice = 0;; ++choice) {
    const char* name = u_getPropertyName(p, static_cast<UPropertyNameChoice>(choice));
    if (name == nullptr) {
      if (choice < U_LONG_PROPERTY_NAME) continue;
      break;
    }
    names.emplace(normalize_name(name, false), true);
  }
}

const NameTables& name_tables() {
  static const NeverDestroyed<NameTables> tables([] {
    NameTables t;
    for (int p = UCHAR_BINARY_START; p < UCHAR_BINARY_LIMIT; ++p) add_property_names(t.any_property, UProperty(p));
    for (int p = UCHAR_INT_START; p < UCHAR_INT_LIMIT; ++p) add_property_names(t.any_property, UProperty(p));
    for (int p = UCHAR_MASK_START; p < UCHAR_MASK_LIMIT; ++p) add_property_names(t.any_property, UProperty(p));
    for (int p = UCHAR_DOUBLE_START; p < UCHAR_DOUBLE_LIMIT; ++p) add_property_names(t.any_property, UProperty(p));
    for (int p = UCHAR_STRING_START; p < UCHAR_STRING_LIMIT; ++p) add_property_names(t.any_property, UProperty(p));
    for (int p = UCHAR_OTHER_PROPERTY_START; p < UCHAR_OTHER_PROPERTY_LIMIT; ++p) {
      add_property_names(t.any_property, UProperty(p));
    }
    for (UProperty p : kBinaryProperties) {
      const LazySetPtr set = lazy([p] { return binary_property(p); });
      for (int choice = 0;; ++choice) {
        const char* name = u_getPropertyName(p, static_cast<UPropertyNameChoice>(choice));
        if (name == nullptr) {
          if (choice < U_LONG_PROPERTY_NAME) continue;
          break;
        }
        t.binary.emplace(normalize_name(name, false), set);
      }
    }
    for (const ExtraProperty& e : extra_properties()) {
      const LazySetPtr set = lazy(e.build);
      for (std::string_view name : e.names) {
        t.binary.emplace(normalize_name(name, false), set);
        t.any_property.emplace(normalize_name(name, false), true);
      }
    }

    // General categories, with the groups (L, LC, ...) and three pseudo-values.
    // Surrogates are no category here: no text holds one.
    for (int gc = 0; gc < U_CHAR_CATEGORY_COUNT; ++gc) {
      if (gc == U_SURROGATE) continue;
      const uint32_t mask = U_MASK(gc);
      add_value_names(t.categories, UCHAR_GENERAL_CATEGORY_MASK, int32_t(mask),
                      [mask] { return general_category(mask); });
    }
    for (uint32_t mask :
         {U_GC_L_MASK, U_GC_LC_MASK, U_GC_M_MASK, U_GC_N_MASK, U_GC_P_MASK, U_GC_S_MASK, U_GC_Z_MASK, U_GC_C_MASK}) {
      add_value_names(t.categories, UCHAR_GENERAL_CATEGORY_MASK, int32_t(mask),
                      [mask] { return general_category(mask); });
    }
    t.categories["any"] = lazy([] { return code_point_range(0, kMaxCodePoint); });
    t.categories["assigned"] = lazy([] { return set_complement(general_category(U_GC_CN_MASK)); });
    t.categories["ascii"] = lazy([] { return code_point_range(0, 0x7F); });

    // Only scripts that some code point has are names here: not Unknown
    // (unassigned code points), nor codes without characters such as Hrkt.
    const std::vector<bool> used = values_in_use(UCHAR_SCRIPT, false);
    for (int32_t sc = 0; sc < int32_t(used.size()); ++sc) {
      if (sc == USCRIPT_UNKNOWN || !used[size_t(sc)]) continue;
      add_value_names(t.scripts, UCHAR_SCRIPT, sc,
                      [sc] { return int_property(UCHAR_SCRIPT, [sc](uint32_t x) { return x == uint32_t(sc); }); });
      add_value_names(t.script_extensions, UCHAR_SCRIPT, sc, [sc] {
        UErrorCode ec = U_ZERO_ERROR;
        USet* u = uset_openEmpty();
        uset_applyIntPropertyValue(u, UCHAR_SCRIPT_EXTENSIONS, sc, &ec);
        CodePointSet s = from_uset(u);
        uset_close(u);
        return s;
      });
    }
    for (auto version : kAges) {
      char dotted[16], named[16];
      std::snprintf(dotted, sizeof dotted, "%u.%u", unsigned(version.first), unsigned(version.second));
      std::snprintf(named, sizeof named, "v%u%u", unsigned(version.first), unsigned(version.second));
      const LazySetPtr set = lazy([version] { return assigned_by(version); });
      t.ages.emplace(dotted, set);
      t.ages.emplace(named, set);
    }
    using Getter = const ValueTable& (*)();
    const Getter categories = []() -> const ValueTable& { return name_tables().categories; };
    const Getter scripts = []() -> const ValueTable& { return name_tables().scripts; };
    const Getter extensions = []() -> const ValueTable& { return name_tables().script_extensions; };
    const Getter ages = []() -> const ValueTable& { return name_tables().ages; };
    for (auto [alias, table] : std::initializer_list<std::pair<const char*, Getter>>{
             {"generalcategory", categories},
             {"gc", categories},
             {"script", scripts},
             {"sc", scripts},
             {"scriptextensions", extensions},
             {"scx", extensions},
             {"age", ages},
             {"graphemeclusterbreak", break_table<UCHAR_GRAPHEME_CLUSTER_BREAK>},
             {"gcb", break_table<UCHAR_GRAPHEME_CLUSTER_BREAK>},
             {"wordbreak", break_table<UCHAR_WORD_BREAK>},
             {"wb", break_table<UCHAR_WORD_BREAK>},
             {"sentencebreak", break_table<UCHAR_SENTENCE_BREAK>},
             {"sb", break_table<UCHAR_SENTENCE_BREAK>}}) {
      t.valued.emplace(alias, table);
    }
    return t;
  }());
  return *tables;
}

Error property_error(std::string what) { return Error{ErrorKind::Runtime, std::move(what)}; }
std::string quoted(std::string_view name) {
  std::string out(1, '"');
  out.append(name).push_back('"');
  return out;
}

// The set a body names, before any negation; `negated` reports name!=value.
Result<const LazySet*> resolve(std::string_view body, bool& negated) {
  const NameTables& t = name_tables();
  negated = false;
  size_t split = body.find("!=");
  size_t value_at = split + 2;
  if (split != std::string_view::npos) {
    negated = true;
  } else if ((split = body.find(':')) != std::string_view::npos || (split = body.find('=')) != std::string_view::npos) {
    value_at = split + 1;
  }
  if (split == std::string_view::npos) {
    const std::string name = normalize_name(body);
    // "cf", "sc" and "lc" name properties too, but here they mean categories.
    if (name != "cf" && name != "sc" && name != "lc") {
      if (auto it = t.binary.find(name); it != t.binary.end()) return it->second.get();
      if (t.any_property.count(name) != 0) {
        return property_error("Unicode property " + quoted(body) + " is not a binary property");
      }
    }
    if (auto it = t.categories.find(name); it != t.categories.end()) return it->second.get();
    if (auto it = t.scripts.find(name); it != t.scripts.end()) return it->second.get();
    return property_error("unknown Unicode property " + quoted(body));
  }
  const std::string name = normalize_name(body.substr(0, split));
  const std::string value = normalize_name(body.substr(value_at));
  auto table = t.valued.find(name);
  if (table == t.valued.end()) {
    return property_error("Unicode property " + quoted(body.substr(0, split)) +
                          " cannot be matched by value (only General_Category, Script, Script_Extensions, Age, "
                          "Grapheme_Cluster_Break, Word_Break and Sentence_Break can)");
  }
  const ValueTable& values = table->second();
  if (auto it = values.find(value); it != values.end()) return it->second.get();
  return property_error("unknown value " + quoted(body.substr(value_at)) + " of Unicode property " +
                        quoted(body.substr(0, split)));
}

}  // namespace

Result<CodePointSet> property_class(std::string_view body, bool negated, bool case_insensitive) {
  bool value_negated = false;
  Result<const LazySet*> set = resolve(body, value_negated);
  if (!set) return std::move(set).error();
  const CodePointSet& s = case_insensitive ? set.value()->folded() : set.value()->plain();
  return negated != value_negated ? set_complement(s) : s;
}

Result<CodePointSet> unicode_property(std::string_view body) { return property_class(body, false, false); }

}  // namespace vellix::core
