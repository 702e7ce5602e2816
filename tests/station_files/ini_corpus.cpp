#include "ini_corpus.h"

#include <filesystem>

#include "station/settings/profile_store.h"
#include "support/scratch.h"

namespace station_files_test {

namespace {

IniOp R(std::string s, std::string k, std::string d = "<none>") {
  return {'R', std::move(s), std::move(k), std::move(d)};
}
IniOp W(std::string s, std::string k, std::string v) {
  return {'W', std::move(s), std::move(k), std::move(v)};
}

}  // namespace

const std::vector<IniCase>& iniCorpus() {
  static const std::vector<IniCase> corpus = {
      {"blanks_around_equals", true, "[Sec]\r\n  a  =  hello world  \r\n\tb\t=\tt\t\r\n",
       {R("Sec", "a"), R("SEC", "A"), R("sec", "b"), R(" Sec ", " a "), W("Sec", "a", "new"),
        R("Sec", "a"), W("sec", "B", "x y"), R("Sec", "b")}},
      {"duplicate_sections", true, "[A]\r\nx=1\r\n[B]\r\ny=2\r\n[a]\r\nx=3\r\nz=4\r\n",
       {R("A", "x"), R("A", "z"), R("B", "y"), W("A", "z", "5"), R("a", "z"), W("A", "x", "9"),
        R("a", "x")}},
      {"duplicate_keys", true, "[S]\r\nk=first\r\nK=second\r\n",
       {R("S", "k"), R("S", "K"), W("S", "k", "changed"), R("S", "k")}},
      {"comments", true,
       "; top comment\r\n[S]\r\n;k=commented\r\n# hash=1\r\nk=real ; not a comment\r\n",
       {R("S", ";k"), R("S", "k"), R("S", "# hash"), R("S", "hash"), R("", "; top comment"),
        W("S", "new", "1"), R("S", "new")}},
      {"missing_final_newline", true, "[S]\r\nk=v",
       {R("S", "k"), W("S", "k2", "v2"), W("S", "k", "v3"), W("T", "t", "1"), R("S", "k"),
        R("S", "k2"), R("T", "t")}},
      {"missing_final_newline_section", true, "[S]\r\nk=v\r\n[T]",
       {W("T", "t", "1"), R("T", "t"), R("S", "k")}},
      {"lf_only", true, "[S]\nk=v\n\n[T]\nt=1\n",
       {R("S", "k"), W("S", "k2", "x"), W("T", "t", "2"), W("U", "u", "3"), R("S", "k2"),
        R("T", "t"), R("U", "u")}},
      {"cr_only", true, "[S]\rk=v\r[T]\rt=1\r",
       {R("S", "k"), R("T", "t"), W("S", "k2", "x"), R("S", "k2"), R("T", "t")}},
      {"mixed_breaks", true, "[S]\r\na=1\rb=2\nc=3\r\n",
       {R("S", "a"), R("S", "b"), R("S", "c"), W("S", "a", "5"), R("S", "a"), R("S", "c")}},
      {"empty_values", true, "[S]\r\ne=\r\nq=\"\"\r\nbare\r\n",
       {R("S", "e"), R("S", "q"), R("S", "bare"), W("S", "bare", "now"), R("S", "bare"),
        W("S", "e", "filled"), R("S", "e")}},
      {"keys_before_section", true, "top=1\r\n\r\n[S]\r\nk=2\r\n",
       {R("", "top"), R("S", "top"), W("", "top", "5"), W("", "other", "6"), R("", "other"),
        R("", "top"), R("S", "k")}},
      {"no_keys_before_section", true, "[S]\r\nk=2\r\n",
       {R("", "k"), W("", "first", "1"), R("", "first"), R("S", "k")}},
      {"values_with_equals", true, "[S]\r\nurl=a=b=c\r\nk = = x\r\n",
       {R("S", "url"), R("S", "k"), W("S", "url", "x=y"), R("S", "url")}},
      {"quotes", true,
       "[Q]\r\nq1=\"\r\nq2=\"abc\r\nq3='abc\"\r\nq4='s'\r\nq5=\"\"\r\nq6=\"  in  \"\r\n",
       {R("Q", "q1"), R("Q", "q2"), R("Q", "q3"), R("Q", "q4"), R("Q", "q5"), R("Q", "q6"),
        R("Q", "none", "\"dq\""), R("Q", "none", "  dq  "), R("Q", "none", "   "),
        R("Q", "none", " \"q\" "), R("Q", "none", "")}},
      {"section_lines", true,
       "[ Other ]\r\nk=3\r\n  [B] junk\r\ny=2\r\n=empty\r\n[C\r\nz=3\r\n[a]b]\r\nw=4\r\n",
       {R("Other", "k"), R("B", "y"), R("B", ""), R("B", "z"), R("B", "[C"), R("C", "z"),
        R("a]b", "w"), W("Other", "k2", "n"), W("a]b", "w", "5"), R("a]b", "w")}},
      {"no_file", false, "",
       {R("S", "k", "dflt"), W("S", "k", "v"), W("S", "k2", "v2"), R("S", "k"), R("S", "k2")}},
      {"empty_file", true, "", {R("S", "k"), W("S", "k", "v"), R("S", "k")}},
      {"long_value", true, "[S]\r\nlong=" + std::string(3000, 'a') + "\r\n",
       {R("S", "long"), W("S", "mid", std::string(2047, 'b')), R("S", "mid"),
        W("S", "over", std::string(2100, 'c')), R("S", "over")}},
      {"header_only_section", true, "[A]\r\n[B]\r\nb=1\r\n",
       {W("A", "a", "1"), R("A", "a"), R("B", "b")}},
      {"blank_lines_end_section", true, "[A]\r\nx=1\r\n\r\n\r\n[B]\r\ny=2\r\n",
       {W("A", "z", "2"), R("A", "z"), R("B", "y")}},
      {"odd_blanks", true, "[S]\r\nk=\tv\x1a\r\nt =\t x \t\r\n",
       {R("S", "k"), R("S", "t")}},
      {"high_bytes", true, "[S]\r\nname=caf\xe9 \xa4\xa4\r\n",
       {R("S", "name"), W("S", "name2", "\xb5\xa5"), R("S", "name2")}},
      {"same_value", true, "[S]\r\nk = 1\r\n", {W("S", "k", "1"), R("S", "k")}},
      {"written_values", true, "[Sec]\r\nKey=1\r\n",
       {W("SEC", "KEY", "2"), R("sec", "key"), W("Sec", "pad", "  padded  "), R("Sec", "pad"),
        W("Sec", "quoted", "\"q\""), R("Sec", "quoted"), W("Sec", "empty", ""),
        R("Sec", "empty")}},
  };
  return corpus;
}

std::string iniLogicalView(std::string_view s) {
  auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' ||
           c == '\x1a';
  };
  auto trim = [&](std::string_view v) {
    while (!v.empty() && blank(v.front())) v.remove_prefix(1);
    while (!v.empty() && blank(v.back())) v.remove_suffix(1);
    return v;
  };
  std::string out;
  size_t pos = 0;
  while (pos < s.size()) {
    size_t brk = s.find_first_of("\r\n", pos);
    size_t end = brk == std::string_view::npos ? s.size() : brk + 1;
    std::string_view line = trim(s.substr(pos, end - pos));
    pos = end;
    if (line.empty()) continue;
    size_t close = line.rfind(']');
    size_t eq = line.find('=');
    if (line.front() == '[' && close != std::string_view::npos) {
      out += "[" + std::string(trim(line.substr(1, close - 1))) + "]";
    } else if (eq != std::string_view::npos) {
      out += std::string(trim(line.substr(0, eq))) + "=" + std::string(trim(line.substr(eq + 1)));
    } else {
      out += line;
    }
    out += "\r\n";
  }
  return out;
}

void layOutCorpus(const std::string& dir) {
  for (const IniCase& c : iniCorpus()) {
    std::string path = join(dir, c.name + ".ini");
    std::filesystem::remove(path);
    if (c.exists) writeBytes(path, c.initial);
  }
}

std::vector<std::vector<std::string>> runCorpus(const std::string& dir, const ReadFn& read,
                                                const WriteFn& write) {
  std::vector<std::vector<std::string>> answers;
  for (const IniCase& c : iniCorpus()) {
    std::string path = join(dir, c.name + ".ini");
    std::vector<std::string> a;
    for (const IniOp& op : c.ops) {
      if (op.kind == 'R') {
        a.push_back(read(path, op.section, op.key, op.text));
      } else {
        a.push_back(write(path, op.section, op.key, op.text) ? "1" : "0");
      }
    }
    answers.push_back(std::move(a));
  }
  return answers;
}

std::vector<std::vector<std::string>> runOurCorpus(const std::string& dir) {
  return runCorpus(
      dir,
      [](const std::string& f, const std::string& s, const std::string& k, const std::string& d) {
        return station::profile_store::readFile(f, s, k, d);
      },
      [](const std::string& f, const std::string& s, const std::string& k, const std::string& v) {
        return station::profile_store::writeFile(f, s, k, v);
      });
}

}  // namespace station_files_test
