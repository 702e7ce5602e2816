// station_iniprobe SCRIPT ANSWERS
// Each script line is one request, every field hex-encoded after an "x" so that any byte
// can pass:  R xFILE xSECTION xKEY xDEFAULT   or   W xFILE xSECTION xKEY xVALUE
// Each answer line is "R x<hex of the text read>" or "W 1" / "W 0".
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int nibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool unhex(const std::string& token, std::string& out) {
  if (token.empty() || token[0] != 'x' || token.size() % 2 == 0) return false;
  out.clear();
  for (size_t i = 1; i + 1 < token.size(); i += 2) {
    int hi = nibble(token[i]), lo = nibble(token[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

std::string hex(const char* p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s = "x";
  for (size_t i = 0; i < n; ++i) {
    unsigned char b = static_cast<unsigned char>(p[i]);
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= line.size()) {
    size_t sp = line.find(' ', start);
    if (sp == std::string::npos) sp = line.size();
    if (sp > start) parts.push_back(line.substr(start, sp - start));
    start = sp + 1;
  }
  return parts;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: station_iniprobe SCRIPT ANSWERS\n");
    return 2;
  }
  std::FILE* in = std::fopen(argv[1], "rb");
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!in || !out) return 2;
  std::string line;
  int c;
  int lineNo = 0;
  while ((c = std::fgetc(in)) != EOF || !line.empty()) {
    if (c != '\n' && c != EOF) {
      line += static_cast<char>(c);
      continue;
    }
    ++lineNo;
    std::vector<std::string> f = split(line);
    line.clear();
    std::string file, section, key, text;
    if (f.size() != 5 || !unhex(f[1], file) || !unhex(f[2], section) || !unhex(f[3], key) ||
        !unhex(f[4], text)) {
      std::fprintf(stderr, "station_iniprobe: bad request on line %d\n", lineNo);
      return 2;
    }
    if (f[0] == "R") {
      char buf[2048];
      DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), text.c_str(), buf,
                                         sizeof buf, file.c_str());
      std::fprintf(out, "R %s\n", hex(buf, n).c_str());
    } else if (f[0] == "W") {
      BOOL ok = WritePrivateProfileStringA(section.c_str(), key.c_str(), text.c_str(),
                                           file.c_str());
      std::fprintf(out, "W %d\n", ok ? 1 : 0);
    } else {
      std::fprintf(stderr, "station_iniprobe: unknown request on line %d\n", lineNo);
      return 2;
    }
    if (c == EOF) break;
  }
  std::fclose(in);
  return std::fclose(out) == 0 ? 0 : 1;
}
