// The Setting page's logic: frame folder choice and check, package choice, Apply, the FM
// and contrast handlers and Cancel. The page's values (folders, size, FM, language,
// contrast) live in the main window's settings; the page keeps only its own state: the
// two frame lists, the package path and the enabled states of its buttons. Window
// thread only.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "station/settings/frame_set.h"
#include "station/settings/prefer_package.h"
#include "station/settings/settings.h"

namespace station {

struct SettingPageDeps {
  // The window's settings values and their change (Edit1/2/4/6, ComboBox1/3, TrackBar1).
  std::function<Settings()> values;
  std::function<void(const Settings&)> setValues;
  std::function<void(const std::string&)> setEdit5;
  PictureLoader loader;
  // The folder dialog; nullopt when the operator cancels.
  std::function<std::optional<std::string>()> chooseFolder;
  // The package dialog, given its title; nullopt when the operator cancels.
  std::function<std::optional<std::string>()> choosePackage;
  // A modal message with an OK button; text and caption in UTF-8.
  std::function<void(const std::string& text, const std::string& caption)> message;
  std::function<void()> stopPreview;      // the preview's stop request
  std::function<void()> closeMainWindow;  // Cancel
  std::function<void()> closePreview;     // Cancel
  std::function<void()> pump;             // pending window messages, during a folder scan
  std::string newPackagePath = defaultNewPackagePath();
};

struct SettingPageState {
  std::string chosenPackage;    // Edit9
  bool startupPreview = true;   // Button2, the start-up Preview: enabled from creation
  bool shutdownPreview = true;  // Button5, the shutdown Preview
  bool applyEnabled = false;    // Button6, Apply
  bool operator==(const SettingPageState&) const = default;
};

// What a Preview or Play reads from the page.
struct PreviewSource {
  std::string startupFolder, shutdownFolder, chosenPackage;  // Edit2, Edit4, Edit9
  std::vector<std::string> startupList, shutdownList;
};

class SettingPage {
 public:
  // `initial`: the page's states as the window defines them.
  explicit SettingPage(SettingPageDeps deps, SettingPageState initial = {});

  void chooseStartupFolder() { chooseFolder(Animation::Startup); }
  void chooseShutdownFolder() { chooseFolder(Animation::Shutdown); }
  void chooseFolder(Animation animation);
  // FormShow: the stored folders checked again, without a dialog.
  void validateStoredFolders();
  void choosePackage();
  // The package dialog's answer: header into the page, the layout tests, Apply-enable.
  void selectPackage(const std::string& path);
  // Apply; no message on success.
  void apply();
  void setFm(int index);
  void setPlayerLanguage(int index);
  void setContrast(int position);
  void cancel();  // the Cancel button
  void releaseFrameLists();

  const SettingPageState& state() const { return state_; }
  const std::vector<std::string>& frameList(Animation a) const {
    return a == Animation::Startup ? startupList_ : shutdownList_;
  }
  PreviewSource previewSource() const;
  // Called after every change of the page's own state.
  void setListener(std::function<void()> listener) { listener_ = std::move(listener); }

 private:
  void checkSet(Animation animation, const std::string& folder);
  void applyEnableCheck();
  void changed();

  SettingPageDeps deps_;
  SettingPageState state_;
  std::vector<std::string> startupList_, shutdownList_;
  std::function<void()> listener_;
};

}  // namespace station
