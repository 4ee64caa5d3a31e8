#include "config/tag_rule.h"

#include <string>

namespace config {

namespace {

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '_' || c == '-' || c == '*';
}

bool AllDigits(std::string_view text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// What may follow an option's word.
enum class Suffix {
  kNone,          // the word alone
  kDigits,        // the word and any number of digits ("-s3", "-execute12")
  kDigit,         // the word and at most one digit ("-echo2")
  kSignedDigits,  // digits, with a sign before them ("-F-12", "-htmlDump4")
  kDigitsColons,  // digits and colons ("-g1:2")
  kProgress,      // digits, then optionally ":" and any title ("-progress:%p")
};

struct Option {
  const char* word;  // lower case
  Suffix suffix;
};

// Exiftool's options, as its own argument reader recognises them (version
// 12 and later). Forms with "!", "+", "=", "." or a leading "-" are left
// out: no tag request can have them. Every one-letter word is an option too.
constexpr Option kOptions[] = {
    {"addtagsfromfile", Suffix::kNone},  {"alltagsfromfile", Suffix::kNone},
    {"api", Suffix::kNone},              {"argformat", Suffix::kNone},
    {"args", Suffix::kNone},             {"binary", Suffix::kNone},
    {"charset", Suffix::kNone},          {"common_args", Suffix::kNone},
    {"composite", Suffix::kNone},        {"config", Suffix::kNone},
    {"coordformat", Suffix::kNone},      {"csv", Suffix::kNone},
    {"csvdelim", Suffix::kNone},         {"dateformat", Suffix::kNone},
    {"decimal", Suffix::kNone},          {"delete_original", Suffix::kNone},
    {"diff", Suffix::kNone},             {"duplicates", Suffix::kNone},
    {"ec", Suffix::kNone},               {"echo", Suffix::kDigit},
    {"ee", Suffix::kDigits},             {"efile", Suffix::kDigit},
    {"escapec", Suffix::kNone},          {"escapehtml", Suffix::kNone},
    {"escapexml", Suffix::kNone},        {"ex", Suffix::kNone},
    {"exclude", Suffix::kNone},          {"execute", Suffix::kDigits},
    {"ext", Suffix::kNone},              {"extension", Suffix::kNone},
    {"extractembedded", Suffix::kDigits}, {"f", Suffix::kSignedDigits},
    {"fast", Suffix::kDigits},           {"fileorder", Suffix::kDigits},
    {"fixbase", Suffix::kSignedDigits},  {"forceprint", Suffix::kNone},
    {"g", Suffix::kDigitsColons},        {"geotag", Suffix::kNone},
    {"globaltimeshift", Suffix::kNone},  {"groupheadings", Suffix::kDigitsColons},
    {"groupnames", Suffix::kDigitsColons}, {"hex", Suffix::kNone},
    {"htmldump", Suffix::kSignedDigits}, {"htmlformat", Suffix::kNone},
    {"if", Suffix::kDigits},             {"ignore", Suffix::kNone},
    {"ignoreminorerrors", Suffix::kNone}, {"json", Suffix::kNone},
    {"lang", Suffix::kNone},             {"latin", Suffix::kNone},
    {"list", Suffix::kNone},             {"list_dir", Suffix::kNone},
    {"listd", Suffix::kNone},            {"listf", Suffix::kNone},
    {"listg", Suffix::kDigits},          {"listitem", Suffix::kNone},
    {"listr", Suffix::kNone},            {"listw", Suffix::kNone},
    {"listwf", Suffix::kNone},           {"listx", Suffix::kNone},
    {"long", Suffix::kNone},             {"nop", Suffix::kNone},
    {"out", Suffix::kNone},              {"overwrite_original", Suffix::kNone},
    {"overwrite_original_in_place", Suffix::kNone}, {"password", Suffix::kNone},
    {"pause", Suffix::kNone},            {"php", Suffix::kNone},
    {"preserve", Suffix::kNone},         {"printconv", Suffix::kNone},
    {"printformat", Suffix::kNone},      {"progress", Suffix::kProgress},
    {"quiet", Suffix::kNone},            {"recurse", Suffix::kNone},
    {"require", Suffix::kNone},          {"restore_original", Suffix::kNone},
    {"s", Suffix::kDigits},              {"scanforxmp", Suffix::kNone},
    {"sep", Suffix::kNone},              {"separator", Suffix::kNone},
    {"short", Suffix::kDigits},          {"sort", Suffix::kNone},
    {"srcfile", Suffix::kNone},          {"stay_open", Suffix::kNone},
    {"struct", Suffix::kNone},           {"tab", Suffix::kNone},
    {"table", Suffix::kNone},            {"tagout", Suffix::kNone},
    {"tagoutext", Suffix::kNone},        {"tagsfromfile", Suffix::kNone},
    {"textout", Suffix::kNone},          {"unknown", Suffix::kNone},
    {"unknown2", Suffix::kNone},         {"use", Suffix::kNone},
    {"userparam", Suffix::kNone},        {"v", Suffix::kDigits},
    {"ver", Suffix::kNone},
    {"verbose", Suffix::kDigits},        {"veryshort", Suffix::kNone},
    {"wext", Suffix::kNone},             {"wm", Suffix::kNone},
    {"writemode", Suffix::kNone},        {"xmlformat", Suffix::kNone},
    {"zip", Suffix::kNone},
};

bool SuffixMatches(Suffix suffix, std::string_view rest) {
  switch (suffix) {
    case Suffix::kNone:
      return rest.empty();
    case Suffix::kDigits:
      return AllDigits(rest);
    case Suffix::kDigit:
      return rest.size() <= 1 && AllDigits(rest);
    case Suffix::kSignedDigits:
      if (!rest.empty() && (rest[0] == '-' || rest[0] == '+')) rest.remove_prefix(1);
      return AllDigits(rest);
    case Suffix::kDigitsColons:
      for (char c : rest)
        if ((c < '0' || c > '9') && c != ':') return false;
      return true;
    case Suffix::kProgress: {
      const std::size_t colon = rest.find(':');
      return AllDigits(rest.substr(0, colon));
    }
  }
  return false;
}

bool TakenAsOption(std::string_view tag) {
  std::string lower(tag);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (lower.size() == 1 && lower != "*") return true;
  for (const Option& option : kOptions) {
    const std::string_view word = option.word;
    if (lower.compare(0, word.size(), word) == 0 &&
        SuffixMatches(option.suffix, std::string_view(lower).substr(word.size())))
      return true;
  }
  return false;
}

// Exiftool's own form of a tag request: ([-\w*]+:)*([-\w*?]+)#?
bool HasTagForm(std::string_view tag) {
  if (!tag.empty() && tag.back() == '#') tag.remove_suffix(1);
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = tag.find(':', start);
    const std::string_view part = tag.substr(start, colon == std::string_view::npos
                                                        ? std::string_view::npos
                                                        : colon - start);
    if (part.empty()) return false;
    const bool name = colon == std::string_view::npos;
    for (char c : part)
      if (!IsNameCharacter(c) && !(name && c == '?')) return false;
    if (name) return true;
    start = colon + 1;
  }
}

}  // namespace

bool IsTagRequest(std::string_view tag) {
  return !tag.empty() && tag.front() != '-' && HasTagForm(tag) && !TakenAsOption(tag);
}

}  // namespace config
