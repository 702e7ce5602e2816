// Flash identification: the configuration table in misc/ whose stored identification
// matches the device's, and the flash name from misc/flash.ini for the slot's row.
#pragma once

#include "station/ops/run_reporter.h"

#include <cstdint>
#include <functional>
#include <string>

namespace station {

// Reads a profile (INI) value: path, section, key, default.
using ProfileLookup = std::function<std::string(const std::string&, const std::string&,
                                                const std::string&, const std::string&)>;

// Bytes 122..125 of a configuration table, first byte most significant; 0 when the file
// cannot be read or holds fewer than 128 bytes.
uint32_t storedFlashId(const std::string& path);

// Bit 7 of the last identification byte does not tell flashes apart.
bool flashIdMatches(uint32_t stored, uint32_t device);

// The name of the first *.txt file in `miscDir` (by name order; hidden entries and folders
// skipped) that matches, or "0". `pump` is called after each file read.
std::string findConfigTable(const std::string& miscDir, uint32_t flashId,
                            const std::function<void()>& pump = {});

// Whether the folder holds at least one table that names a flash identification.
bool haveConfigTables(const std::string& miscDir);

// The flash name a row shows: flash.ini's name for the table and chip count; else the name for
// one chip with " x <count>" appended; else "default".
std::string flashDisplayName(const ProfileLookup& lookup, const std::string& iniPath,
                             const std::string& table, uint32_t chipCount);

// The whole identification for one slot: finds the table, shows the flash name on the
// slot's row (cleared when the slot became free meanwhile) and gives the table's
// name or "0".
std::string identifyFlash(RunReporter& report, const std::string& miscDir, uint32_t flashId,
                          uint32_t chipCount, int slot, const ProfileLookup& lookup);

// The same, reading flash.ini with the station's profile-file reader.
std::string identifyFlash(RunReporter& report, const std::string& miscDir, uint32_t flashId,
                          uint32_t chipCount, int slot);

}  // namespace station
