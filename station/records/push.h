// Giving the records to a shared PostgreSQL database that many stations fill. A record's id
// is its key there, so pushing again adds nothing; a push that was cut off goes on from the
// last batch the server confirmed.
#pragma once

#include "station/records/source.h"

#include <cstdint>
#include <functional>
#include <string>

namespace station::records {

struct PushResult {
  bool ok = false;
  int64_t sent = 0;    // records handed to the server
  int64_t added = 0;   // of them, new there
  std::string error;
};

struct PushOptions {
  size_t batch = 5000;  // records per server transaction
};

// `url`: a libpq connection string or postgresql:// URL.
PushResult pushRecords(const Sources& sources, const std::string& url,
                       const PushOptions& options = {});

// The table the records go to.
inline constexpr const char* kSharedTable = "production_records";

}  // namespace station::records
