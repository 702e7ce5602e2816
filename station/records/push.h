// Giving the records to a shared PostgreSQL database that many stations fill. A record's id
// is its key there, so pushing again adds nothing; a push that was cut off goes on from the
// last batch the server confirmed, as long as the server still holds that batch.
#pragma once

#include "station/records/source.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace station::records {

struct PushResult {
  bool ok = false;
  int64_t sent = 0;    // records handed to the server
  int64_t added = 0;   // of them, new there
  std::string error;
  // Records the server would not take (a damaged row): "id: the server's reason". The
  // others are pushed all the same; these are offered again by every later push.
  std::vector<std::string> refused;
};

struct PushOptions {
  size_t batch = 5000;  // records per server transaction
  int timeoutSeconds = 10;  // for connecting and for each answer of the server
  bool all = false;     // every record again, whatever the marks say
};

// `url`: a libpq connection string or postgresql:// URL.
PushResult pushRecords(const Sources& sources, const std::string& url,
                       const PushOptions& options = {});

// The table the records go to.
inline constexpr const char* kSharedTable = "production_records";

}  // namespace station::records
