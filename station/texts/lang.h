// The table of every text the station shows: built-in English, filled again once at
// start-up from the section of misc/lang.ini that the system's language picks. Texts are
// kept as the file's bytes (Chinese sections in GBK or Big5); windowText() decodes them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/program_folder.h"
#include "platform/text_codec.h"

namespace station {

inline const std::string kLangIniPath = platform::miscPath("lang.ini");

// X(name, key in lang.ini or nullptr, English text), in the table's order. The entries
// without a key keep their English text; "Blanking Check Setup" is rebuilt after a load.
#define TARN_LANG_TEXTS(X)                                                  \
  X(TitleStr, "TitleStr", "MP3 Mass Production Tool")                       \
  X(PageStr, "PageStr", "Mass Production")                                  \
  X(DeviceStr, "DeviceStr", "Device")                                       \
  X(LabelStr, "LabelStr", "Label")                                          \
  X(SysPreCopyStr, "SysPreCopyStr", "System files and Pre-copy files:")     \
  X(FormatStr, "FormatStr", "Format")                                       \
  X(FlashWriteSetup, nullptr, "FLASH Write Setup")                          \
  X(FSMWrite, "FSMWrite", "FSM Writing")                                    \
  X(SettingMsg, "SettingMsg", "Setting")                                    \
  X(FILEWriteStr, "FILEWriteStr", "FILE Writing")                           \
  X(BadBlockStr, "BadBlockStr", "Bad Block Check")                          \
  X(BlankingCheckStr, "BlankingCheckStr", "Blanking Check")                 \
  X(BlankingCheckSetup, nullptr, "Blanking Check Setup")                    \
  X(BlankingChecking, nullptr, "Blanking Check")                            \
  X(ProgramWriteSetupStr, "ProgramWriteSetupStr", "Program Write Setup")    \
  X(ProgramWriteEndStr, "ProgramWriteEndStr", "Program Write End")          \
  X(ProgramWriteStr, "ProgramWriteStr", "Program Writing")                  \
  X(PreferWriteSetupStr, "PreferWriteSetupStr", "Prefer Write Setup")       \
  X(PreferWriteEndStr, "PreferWriteEndStr", "Prefer Write End")             \
  X(PreferWriteStr, "PreferWriteStr", "Prefer Writing")                     \
  X(ISOWriteSetupStr, "ISOWriteSetupStr", "ISO Write Setup")                \
  X(ISOWriteEndStr, "ISOWriteEndStr", "ISO Write End")                      \
  X(ISOWriteStr, "ISOWriteStr", "ISO Writing")                              \
  X(FlashEnd, nullptr, "FLASH End")                                         \
  X(AddFileStr, "AddFileStr", "Add files")                                  \
  X(RemoveStr, "RemoveStr", "Remove")                                       \
  X(LogStr, "LogStr", "Log")                                                \
  X(SelectFileStr, "SelectFileStr", "Select files")                         \
  X(StatusMsg, "StatusMsg", "Status")                                       \
  X(SuccessMsg, "SuccessMsg", "successful")                                 \
  X(FailMsg, "FailMsg", "fail")                                             \
  X(ExceedLimitMsg, "ExceedLimitMsg", "Exceed the device limit!")           \
  X(TotalMsg, "TotalMsg", "Total")                                          \
  X(WaitDeviceMsg, "WaitDeviceMsg", "Waiting device...")                    \
  X(CopyFileMsg, "CopyFileMsg", "Copy Files")                               \
  X(VirtualCDROMStr, "VirtualCDROMStr", "Virtual CDROM")                    \
  X(FlashEraseStr, "FlashEraseStr", "Erase Flash")                          \
  X(MenuUpgradeStr, "MenuUpgradeStr", "Menual Upgrade Mode")                \
  X(MenuUpgradeStartStr, "MenuUpgradeStartStr", "Start Upgrade")           \
  X(DevicePluginStr, "DevicePluginStr", "device plugin")                    \
  X(BarFixedStr, "BarFixedStr", "Bar Fixed")                                \
  X(SystemAreaSizeStr, "SystemAreaSizeStr", "System Area Size")             \
  X(FixSystemAreaSizeStr, "FixSystemAreaSizeStr", "Fix System Area Size")   \
  X(SetLabelStr, "SetLabelStr", "Set Volume Label")                         \
  X(FlashCheckStr, "FlashCheckStr", "Flash Check")                          \
  X(FwParityCheckStr, "FwParityCheckStr", "FW Parity Check")                \
  X(FwUpgradeStr, "FwUpgradeStr", "Firmware Upgrade")                       \
  X(HubPortExeccdStr, "HubPortExeccdStr", "Exceed USB Port limitation")     \
  X(UnresetMsg, "UnresetMsg", "Unresetted device")                          \
  X(SDKBidErrorStr, "SDKBidErrorStr", "SDK bonding ID check fail")          \
  X(ChipBidErrorStr, "ChipBidErrorStr", "Chip bonding ID check fail")       \
  X(SDKBidNoMatchStr, "SDKBidNoMatchStr", "SDK bonding ID not match")       \
  X(ChkdskMsg, "ChkdskMsg", "Check Disk")                                   \
  X(StringReset, "StringReset", "Reset")                                    \
  X(FlashBrandStr, "FlashBrandStr", "Flash Brand")                          \
  X(FlashSerialStr, "FlashSerialStr", "Flash Serial")

enum class LangText : int {
#define TARN_LANG_ENUM(name, key, english) name,
  TARN_LANG_TEXTS(TARN_LANG_ENUM)
#undef TARN_LANG_ENUM
};

inline constexpr std::size_t kLangTextCount = 0
#define TARN_LANG_COUNT(name, key, english) +1
    TARN_LANG_TEXTS(TARN_LANG_COUNT)
#undef TARN_LANG_COUNT
    ;

// The entry's name in the table ("BlankingCheckSetup").
const char* langName(LangText id);
// The lang.ini key of an entry, or nullptr for the entries that have none.
const char* langKey(LangText id);
// The built-in English text.
const char* langEnglish(LangText id);
// The entry with this key (exact spelling), if any.
std::optional<LangText> langTextForKey(std::string_view key);

// "Chinese (PRC)" for 0x0804, "Chinese (Taiwan)" for 0x0404, "English" for the rest.
const char* langSection(std::uint16_t langId);
// The code page the section's texts are stored in.
platform::CodePage langCodePage(std::uint16_t langId);

class LanguageTable {
 public:
  LanguageTable();  // the built-in English texts

  // Takes every keyed text from the section for `langId` (empty where the section or the
  // key is missing). False, and the English texts kept, when the file cannot be read.
  bool load(const std::string& path, std::uint16_t langId);

  // The text's bytes as stored.
  const std::string& text(LangText id) const { return texts_[static_cast<std::size_t>(id)]; }
  // The text in UTF-8, decoded from the system's code page.
  std::string windowText(LangText id) const;

  std::uint16_t langId() const { return langId_; }

 private:
  std::array<std::string, kLangTextCount> texts_;
  std::uint16_t langId_;
};

// The process's table, read by the window and every production thread; filled once.
LanguageTable& languageTable();
// Loads the process's table from kLangIniPath for the system's language.
bool loadLanguageTable();

}  // namespace station
