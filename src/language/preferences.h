// Preferences (INI-style) files as a list of groups, each with its lines in file order, so
// that a file can be read, changed in place and written back with its comments kept.
//
// Syntax, line by line (CR LF, LF or CR ends a line; white space is blanks and tabs):
// - a line whose first non-blank character is ";" is a comment; its text is what follows
//   the ";" with leading white space removed;
// - a line that is empty or holds only white space is a blank line;
// - a line whose first non-blank character is "[" starts a group; the name is the text up to
//   the first "]" (or the end of the line), trimmed; anything after the "]" is dropped;
// - any other line holding "=" is a key line: the key is the text before the first "=", the
//   value the text after it, both trimmed;
// - any other line is kept as it stands and is neither a key nor a group.
// The lines before the first group header belong to a leading group without a header (its
// hasHeader is false). That group is not one of the file's groups: keys in it are not
// listed by namedGroups() and are not texts of a language file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_encoding.h"

namespace brisko::language {

struct PreferenceLine {
  enum class Kind { kKey, kComment, kBlank, kOther };
  Kind kind = Kind::kBlank;
  std::string key;    // kKey
  std::string value;  // kKey; the comment's text for kComment; the line itself for kOther
};

struct PreferenceGroup {
  std::string name;
  bool hasHeader = true;
  std::vector<PreferenceLine> lines;

  // The value of the first line with this key (exact, case-sensitive); nothing when absent.
  std::optional<std::string> find(std::string_view key) const;
  // Sets the first line with this key, or appends a key line when there is none.
  void set(std::string_view key, std::string value);
};

class Preferences {
 public:
  // Reads a file's bytes. The byte-order mark decides the encoding: EF BB BF is UTF-8, FF FE
  // UTF-16 little endian, none the ANSI code page. All texts are held as UTF-8.
  static Preferences parse(std::string_view bytes);

  // The whole file in its encoding: a UTF-8 file gets its mark back, a UTF-16 one its FF FE.
  // Group lines as "[name]", key lines as "key = value", comment lines as "; " and the
  // comment, blank lines empty, other lines unchanged; every line ends with CR LF.
  std::string write() const;

  platform::TextEncoding encoding() const { return encoding_; }

  // Every group, the leading headerless one (always present, maybe empty) first.
  std::vector<PreferenceGroup>& groups() { return groups_; }
  const std::vector<PreferenceGroup>& groups() const { return groups_; }
  // The groups that have a header line, in file order.
  std::vector<const PreferenceGroup*> namedGroups() const;

  // The first group with a header and this name (exact, case-sensitive); nothing when absent.
  PreferenceGroup* findGroup(std::string_view name);
  const PreferenceGroup* findGroup(std::string_view name) const;
  // The named group, appended at the end when there is none.
  PreferenceGroup& group(std::string_view name);

 private:
  platform::TextEncoding encoding_ = platform::TextEncoding::ansi;
  std::vector<PreferenceGroup> groups_{PreferenceGroup{"", false, {}}};
};

}  // namespace brisko::language
