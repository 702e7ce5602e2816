// What every window front end must show, as one table for the Qt and the Win32 tests:
// the controls a disabled group takes with it, and every text a row cell must show whole
// (the row labels, each step's text, each failure's text) in the three languages.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "station/model/station_model.h"
#include "station/texts/lang.h"
#include "station/window/window_description.h"

namespace station::testing {

// Every element inside one of `groups` (through any depth of parents).
inline std::vector<std::string> membersOf(const WindowDesc& window, const std::vector<std::string>& groups) {
  std::vector<std::string> out;
  for (const ElementDesc& e : window.elements)
    for (const ElementDesc* p = window.find(e.parent); p; p = window.find(p->parent))
      if (std::find(groups.begin(), groups.end(), p->name) != groups.end()) {
        out.push_back(e.name);
        break;
      }
  return out;
}

// The languages of the station's lang.ini: the system language identifiers.
inline const std::uint16_t kLanguages[] = {0x0409, 0x0804, 0x0404};

struct CellText {
  std::string cell;  // the element
  std::string text;  // UTF-8, as the row shows it
};

// Every text a row's cells show during and after runs, for the table's language.
inline std::vector<CellText> rowTexts(const LanguageTable& lang) {
  auto t = [&](LangText id) { return lang.windowText(id); };
  const std::string fail = " " + t(LangText::FailMsg);
  std::vector<CellText> out;
  for (int row = 0; row < DEVICE_COUNT; ++row)
    out.push_back({rowCellName(RowCell::Label, row), t(LangText::DeviceStr) + " " + std::to_string(row + 1) + ": "});
  const std::string status = rowCellName(RowCell::Status, 0);
  for (LangText id : {LangText::WaitDeviceMsg, LangText::DevicePluginStr, LangText::SuccessMsg, LangText::UnresetMsg})
    out.push_back({status, t(id)});
  // Each step as it runs and as it fails.
  const LangText steps[] = {
      LangText::FlashWriteSetup, LangText::FSMWrite, LangText::FlashEnd, LangText::FlashCheckStr,
      LangText::FILEWriteStr, LangText::FwParityCheckStr, LangText::BadBlockStr, LangText::BlankingCheckSetup,
      LangText::BlankingChecking, LangText::ProgramWriteSetupStr, LangText::ProgramWriteStr,
      LangText::ProgramWriteEndStr, LangText::PreferWriteSetupStr, LangText::PreferWriteStr,
      LangText::PreferWriteEndStr, LangText::ISOWriteSetupStr, LangText::ISOWriteStr, LangText::ISOWriteEndStr,
      LangText::SetLabelStr, LangText::CopyFileMsg,
  };
  for (LangText id : steps) {
    out.push_back({status, t(id) + "..."});
    out.push_back({status, t(id) + fail});
  }
  for (const char* fs : {"FAT16...", "FAT32..."}) {
    out.push_back({status, t(LangText::FormatStr) + fs});
    out.push_back({status, t(LangText::FormatStr) + fs + fail});
  }
  // The chip-variant failures carry the variants (at their widest) instead of " fail".
  out.push_back({status, t(LangText::SDKBidErrorStr) + " 0"});
  out.push_back({status, t(LangText::ChipBidErrorStr) + "15"});
  out.push_back({status, t(LangText::SDKBidNoMatchStr) + " 254"});
  for (int row = 0; row < DEVICE_COUNT; ++row) out.push_back({rowCellName(RowCell::Port, row), "W:"});
  return out;
}

}  // namespace station::testing
