// The production journal on arbitrary contents: reading never goes wrong; every record
// read is one that its JSON gives back unchanged; and a record appended after any tail,
// torn or not, is read back whole.
#include <cstdlib>
#include <string>

#include "fuzz/sandbox.h"
#include "station/records/journal.h"
#include "station/records/record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace station::records;
  const std::string path = fuzz::sandbox() + "/records.journal";
  fuzz::writeFile(path, data, size);
  size_t before = 0, bad = 0;
  bool read = forEachJournalRecord(path, [&](ProductionRecord&& r) {
    ++before;
    if (fromJson(toJson(r)) != r) std::abort();
    if (r.id.empty()) std::abort();
  }, &bad);
  if (!read) std::abort();

  ProductionRecord mark;
  mark.id = "fuzz-mark";
  mark.station = "fuzz";
  if (!appendJournalLine(path, toJson(mark))) std::abort();
  size_t after = 0;
  bool last = false;
  forEachJournalRecord(path, [&](ProductionRecord&& r) {
    ++after;
    last = r == mark;
  });
  if (!last || after != before + 1) std::abort();
  return 0;
}
