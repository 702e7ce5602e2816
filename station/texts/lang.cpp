#include "station/texts/lang.h"

#include "platform/profile_services.h"
#include "platform/system_language.h"
#include "station/texts/lang_file.h"

namespace station {

namespace {

struct Entry {
  const char* name;
  const char* key;
  const char* english;
};

const Entry kEntries[] = {
#define TARN_LANG_ENTRY(name, key, english) {#name, key, english},
    TARN_LANG_TEXTS(TARN_LANG_ENTRY)
#undef TARN_LANG_ENTRY
};
static_assert(std::size(kEntries) == kLangTextCount);

const Entry& entry(LangText id) { return kEntries[static_cast<std::size_t>(id)]; }

}  // namespace

std::optional<std::vector<std::string>> readLangSection(const std::string& path,
                                                        const std::string& section,
                                                        const std::vector<std::string>& keys) {
  if constexpr (platform::kHaveProfileServices) return platform::profileSection(path, section, keys);
#ifdef TARN_HAVE_INIPARSER
  return readIniparserSection(path, section, keys);
#else
  // Built without the library: the file is treated as unreadable, so English stays.
  return std::nullopt;
#endif
}

const char* langName(LangText id) { return entry(id).name; }
const char* langKey(LangText id) { return entry(id).key; }
const char* langEnglish(LangText id) { return entry(id).english; }

std::optional<LangText> langTextForKey(std::string_view key) {
  for (std::size_t i = 0; i < kLangTextCount; ++i) {
    if (kEntries[i].key && key == kEntries[i].key) return static_cast<LangText>(i);
  }
  return std::nullopt;
}

const char* langSection(std::uint16_t langId) {
  switch (langId) {
    case platform::kLangIdChinesePRC: return "Chinese (PRC)";
    case platform::kLangIdChineseTaiwan: return "Chinese (Taiwan)";
    default: return "English";
  }
}

platform::CodePage langCodePage(std::uint16_t langId) {
  switch (langId) {
    case platform::kLangIdChinesePRC: return platform::CodePage::Gbk;
    case platform::kLangIdChineseTaiwan: return platform::CodePage::Big5;
    default: return platform::CodePage::Latin1;
  }
}

LanguageTable::LanguageTable() : langId_(platform::kLangIdEnglishUS) {
  for (std::size_t i = 0; i < kLangTextCount; ++i) texts_[i] = kEntries[i].english;
}

bool LanguageTable::load(const std::string& path, std::uint16_t langId) {
  langId_ = langId;
  std::vector<std::string> keys;
  std::vector<std::size_t> slots;
  for (std::size_t i = 0; i < kLangTextCount; ++i) {
    if (!kEntries[i].key) continue;
    keys.emplace_back(kEntries[i].key);
    slots.push_back(i);
  }
  std::optional<std::vector<std::string>> values = readLangSection(path, langSection(langId), keys);
  if (!values) return false;
  for (std::size_t k = 0; k < slots.size(); ++k) texts_[slots[k]] = (*values)[k];
  texts_[static_cast<std::size_t>(LangText::BlankingCheckSetup)] =
      text(LangText::BlankingCheckStr) + text(LangText::SettingMsg);
  return true;
}

std::string LanguageTable::windowText(LangText id) const {
  return platform::toUtf8(text(id), langCodePage(langId_));
}

LanguageTable& languageTable() {
  static LanguageTable table;
  return table;
}

bool loadLanguageTable() {
  return languageTable().load(kLangIniPath, platform::systemDefaultLangId());
}

}  // namespace station
