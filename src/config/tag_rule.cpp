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

// What may follow an option's word, beyond the sign and digits that no
// word may have after it.
enum class Suffix {
  kNumber,   // nothing else
  kColons,   // digits and colons ("-g1:2")
  kTitle,    // digits, then ":" and any title ("-progress:%p")
};

struct Option {
  const char* word;  // lower case
  Suffix suffix = Suffix::kNumber;
};

// The words of Exiftool's options, as the argument reader of its newest
// release (13.64) and of earlier ones recognises them. Forms with "!", "+",
// "=", "." or a leading "-" are left out: no tag request can have them.
// Every one-letter word is an option too.
constexpr Option kOptions[] = {
    {"addtagsfromfile"}, {"alltagsfromfile"}, {"api"}, {"argformat"}, {"args"},
    {"binary"}, {"charset"}, {"common_args"}, {"composite"}, {"config"},
    {"coordformat"}, {"csv"}, {"csvdelim"}, {"dateformat"}, {"decimal"},
    {"delete_original"}, {"diff"}, {"duplicates"}, {"ec"}, {"echo"}, {"ee"},
    {"efile"}, {"eh"}, {"escapec"}, {"escapehtml"}, {"escapexml"}, {"ex"},
    {"exclude"}, {"execute"}, {"ext"}, {"extension"}, {"extractembedded"},
    {"fast"}, {"file"}, {"fileorder"}, {"fixbase"}, {"forceprint"},
    {"g", Suffix::kColons}, {"geotag"}, {"globaltimeshift"},
    {"groupheadings", Suffix::kColons}, {"groupnames", Suffix::kColons},
    {"hex"}, {"htmldump"}, {"htmlformat"}, {"if"}, {"ignore"},
    {"ignoreminorerrors"}, {"json"}, {"lang"}, {"latin"}, {"list"},
    {"list_dir"}, {"listd"}, {"listf"}, {"listg"}, {"listgeo"}, {"listitem"},
    {"listr"}, {"listw"}, {"listwf"}, {"listx"}, {"long"}, {"nop"}, {"out"},
    {"overwrite_original"}, {"overwrite_original_in_place"}, {"password"},
    {"pause"}, {"php"}, {"plot"}, {"preserve"}, {"printconv"},
    {"printformat"}, {"progress", Suffix::kTitle}, {"purge"}, {"quiet"},
    {"recurse"}, {"require"}, {"restore_original"}, {"scanforxmp"}, {"sep"},
    {"separator"}, {"short"}, {"sort"}, {"srcfile"}, {"stay_open"},
    {"struct"}, {"tab"}, {"table"}, {"tagout"}, {"tagoutext"},
    {"tagsfromfile"}, {"textout"}, {"unknown"}, {"use"}, {"userparam"},
    {"ver"}, {"verbose"}, {"veryshort"}, {"wext"}, {"wm"}, {"writemode"},
    {"xmlformat"}, {"xpath"}, {"zip"},
};

// A word's rest that makes it that option: a number, with or without a
// sign, as any option family takes ("-s3", "-execute12", "-F-12",
// "-file1", "-purge3"), and the option's own longer forms.
bool SuffixMatches(Suffix suffix, std::string_view rest) {
  std::string_view number = rest;
  if (!number.empty() && (number[0] == '-' || number[0] == '+')) number.remove_prefix(1);
  if (AllDigits(number)) return true;
  switch (suffix) {
    case Suffix::kNumber:
      return false;
    case Suffix::kColons:
      for (char c : rest)
        if ((c < '0' || c > '9') && c != ':') return false;
      return true;
    case Suffix::kTitle:
      return AllDigits(rest.substr(0, rest.find(':')));
  }
  return false;
}

bool TakenAsOption(std::string_view tag) {
  std::string lower(tag);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  const std::string_view word = lower;
  if (word.size() >= 1 && word[0] >= 'a' && word[0] <= 'z' &&
      SuffixMatches(Suffix::kNumber, word.substr(1)))
    return true;
  for (const Option& option : kOptions) {
    const std::string_view stem = option.word;
    if (word.compare(0, stem.size(), stem) == 0 &&
        SuffixMatches(option.suffix, word.substr(stem.size())))
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
  if (tag.empty() || tag.front() == '-' || !HasTagForm(tag)) return false;
  // A trailing "-" makes an option of some words ("-p-", "-printformat-").
  std::string_view name = tag;
  if (name.back() == '#') name.remove_suffix(1);
  return name.back() != '-' && !TakenAsOption(tag);
}

}  // namespace config
