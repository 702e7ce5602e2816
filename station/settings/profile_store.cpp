#include "station/settings/profile_store.h"

#include <cerrno>
#include <cstdio>
#include <optional>
#include <vector>

#include "base/ascii.h"
#include "platform/file_read.h"

namespace station::profile_store {

namespace {

// The services count the end-of-file mark as a blank too.
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1a';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool sameName(std::string_view a, std::string_view b) { return tarn::equalsIgnoringCase(a, b); }

enum class Kind { Blank, Section, Entry };

struct Line {
  size_t begin = 0, end = 0;          // the whole line in the content, its end included
  size_t textBegin = 0, textEnd = 0;  // without the blanks around it
  Kind kind = Kind::Blank;
  std::string_view name;              // section or entry name, trimmed
  size_t equals = std::string_view::npos;  // position of an entry's "=" in the content
  std::string_view value;             // trimmed; only when there is an "="
};

std::vector<Line> parse(std::string_view s) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < s.size()) {
    size_t brk = s.find_first_of("\r\n", pos);
    Line l;
    l.begin = pos;
    if (brk == std::string_view::npos) {
      l.end = s.size();
    } else {
      l.end = brk + (s[brk] == '\r' && brk + 1 < s.size() && s[brk + 1] == '\n' ? 2 : 1);
    }
    pos = l.end;
    l.textBegin = l.begin;
    l.textEnd = l.end;
    while (l.textBegin < l.textEnd && isBlank(s[l.textBegin])) ++l.textBegin;
    while (l.textEnd > l.textBegin && isBlank(s[l.textEnd - 1])) --l.textEnd;
    std::string_view text = s.substr(l.textBegin, l.textEnd - l.textBegin);
    if (text.empty()) {
      lines.push_back(l);
      continue;
    }
    if (text.front() == '[') {
      size_t close = text.rfind(']');
      if (close != std::string_view::npos) {
        l.kind = Kind::Section;
        l.name = trim(text.substr(1, close - 1));
        lines.push_back(l);
        continue;
      }
    }
    l.kind = Kind::Entry;
    size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
      l.name = text;
    } else {
      l.name = trim(text.substr(0, eq));
      l.equals = l.textBegin + eq;
      l.value = trim(text.substr(eq + 1));
    }
    lines.push_back(l);
  }
  return lines;
}

// Lines [first, last) of the first section called `name`; the header is first - 1 (none
// for the entries before any section, which always exist, maybe empty).
struct Range {
  size_t first = 0, last = 0;
  bool hasHeader = false;
};

std::optional<Range> findSection(const std::vector<Line>& lines, std::string_view name) {
  size_t i = 0;
  while (i < lines.size() && lines[i].kind != Kind::Section) ++i;
  if (name.empty()) return Range{0, i, false};
  for (; i < lines.size(); ++i) {
    if (lines[i].kind != Kind::Section || !sameName(lines[i].name, name)) continue;
    size_t j = i + 1;
    while (j < lines.size() && lines[j].kind != Kind::Section) ++j;
    return Range{i + 1, j, true};
  }
  return std::nullopt;
}

const Line* findEntry(const std::vector<Line>& lines, const Range& r, std::string_view key) {
  for (size_t i = r.first; i < r.last; ++i) {
    if (lines[i].kind == Kind::Entry && sameName(lines[i].name, key)) return &lines[i];
  }
  return nullptr;
}

std::string stripQuotes(std::string_view v) {
  if (v.size() > 1 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return std::string(v);
}

// What a line ends with, kept when its value is replaced.
std::string_view lineBreak(std::string_view s, const Line& l) {
  size_t p = l.textEnd;
  while (p < l.end && s[p] != '\r' && s[p] != '\n') ++p;
  return s.substr(p, l.end - p);
}

bool endsWithBreak(std::string_view s) {
  return !s.empty() && (s.back() == '\n' || s.back() == '\r');
}

}  // namespace

std::string read(std::string_view content, std::string_view section, std::string_view key,
                 std::string_view defaultValue) {
  std::vector<Line> lines = parse(content);
  std::string result;
  const Line* entry = nullptr;
  if (auto r = findSection(lines, trim(section))) entry = findEntry(lines, *r, trim(key));
  if (entry && entry->equals != std::string_view::npos) {
    result = stripQuotes(entry->value);
  } else {
    // Trailing spaces (not tabs) go, but never the default's first character.
    while (defaultValue.size() > 1 && defaultValue.back() == ' ') defaultValue.remove_suffix(1);
    result = stripQuotes(defaultValue);
  }
  if (result.size() > kReadLimit) result.resize(kReadLimit);
  return result;
}

std::string write(std::string_view content, std::string_view section, std::string_view key,
                  std::string_view value) {
  section = trim(section);
  key = trim(key);
  std::vector<Line> lines = parse(content);
  const std::string_view eol = "\r\n";
  std::string entryLine;
  entryLine.append(key).append(1, '=').append(value).append(eol);

  std::optional<Range> r = findSection(lines, section);
  if (!r) {
    std::string out(content);
    if (!out.empty() && !endsWithBreak(out)) out += eol;
    out.append(1, '[').append(section).append(1, ']').append(eol).append(entryLine);
    return out;
  }
  if (const Line* e = findEntry(lines, *r, key)) {
    if (e->equals != std::string_view::npos && e->value == value) return std::string(content);
    size_t keep = e->equals != std::string_view::npos ? e->equals + 1 : e->textEnd;
    std::string out(content.substr(0, keep));
    if (e->equals == std::string_view::npos) out += "=";
    out += value;
    out += lineBreak(content, *e);
    out += content.substr(e->end);
    return out;
  }
  // After the section's last non-blank line (its header when it has no entries).
  std::optional<size_t> after;
  if (r->hasHeader) after = r->first - 1;
  for (size_t i = r->first; i < r->last; ++i) {
    if (lines[i].kind != Kind::Blank) after = i;
  }
  size_t at = after ? lines[*after].end : 0;
  std::string out(content.substr(0, at));
  if (!out.empty() && !endsWithBreak(out)) out += eol;
  out += entryLine;
  out += content.substr(at);
  return out;
}

namespace {

// nullopt when the file exists but cannot be read; empty for a missing file.
std::optional<std::string> slurp(const std::string& path) {
  std::FILE* f = platform::openRegularFile(path);
  if (!f) {
    if (errno == ENOENT) return std::string();
    return std::nullopt;
  }
  std::string data;
  char buf[8192];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
  bool bad = std::ferror(f) != 0;
  std::fclose(f);
  if (bad) return std::nullopt;
  return data;
}

}  // namespace

std::string readFile(const std::string& path, std::string_view section, std::string_view key,
                     std::string_view defaultValue) {
  std::optional<std::string> content = slurp(path);
  return read(content ? *content : std::string(), section, key, defaultValue);
}

bool writeFile(const std::string& path, std::string_view section, std::string_view key,
               std::string_view value) {
  std::optional<std::string> content = slurp(path);
  if (!content) return false;
  std::string updated = write(*content, section, key, value);
  if (updated == *content && !content->empty()) return true;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(updated.data(), 1, updated.size(), f) == updated.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

}  // namespace station::profile_store
