// Binds the station model to a front end through the window description: makes the
// controls, puts each change record on the elements that show what it carries (on the
// window thread, in the model's order), and turns the operator's input into the handlers
// the description names. It names no element itself; every front end renders through it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "station/model/startup.h"
#include "station/model/station_model.h"
#include "station/settings/prefer_package_page.h"
#include "station/window/front_end.h"
#include "station/window/window_description.h"

namespace station {

struct BinderDeps {
  // The Setting page (its logic and its hooks into FormShow and FormClose); without a
  // loader there is no Setting page logic (the headless station).
  PictureLoader loader;
  std::string newPackagePath;  // empty: the platform's default
  // The preview window's part: its Previews, its stop request and its close.
  std::function<void()> previewStartup, previewShutdown, stopPreview, closePreview;
  StartupHooks hooks;  // empty hooks are filled with the Setting page's
  bool driveInPortCell = false;  // a row without a known port shows its drive ("E:")
};

class Binder {
 public:
  Binder(StationModel& model, FrontEnd& frontEnd, BinderDeps deps = {});
  ~Binder();
  Binder(const Binder&) = delete;
  Binder& operator=(const Binder&) = delete;

  // Makes every control of `window` on the front end.
  void create(const WindowDesc& window);
  // Puts the whole model on the controls.
  void renderAll();
  // Changes and modal messages from now on reach the front end (changes queued to the
  // window thread, messages shown there while the asker waits).
  void attach();
  void detach();

  // One change record onto the controls (window thread).
  void apply(const Change& change);

  // The operator's input, by element name (window thread). An error that escapes a
  // handler is shown with its text and the window goes on.
  void clicked(const std::string& name);
  void toggled(const std::string& name, bool checked);
  void chosen(const std::string& name, int index);  // combo box item, track bar position
  void edited(const std::string& name, const std::string& text);
  void selected(const std::string& name, std::vector<int> selection);
  // FormShow and FormClose; false when the window must stay open.
  void shown();
  bool closing();

  // Called on the window thread after each change record has been put on the controls.
  void setAppliedListener(std::function<void(const Change&)> listener) { applied_ = std::move(listener); }

  void guarded(const std::function<void()>& handler);
  SettingPage* settingPage() { return page_.get(); }
  StationModel& model() { return model_; }
  const StartupHooks& hooks() const { return deps_.hooks; }

 private:
  struct Click {};
  using Input = std::variant<Click, bool, int, std::string, std::vector<int>>;

  const ElementDesc* find(const std::string& name) const;
  void input(const std::string& name, const Input& in);
  void handle(const ElementDesc& element, const Input& in);
  void applyTexts();
  // What the element shows and what its enabled state follows, when `change` carries it.
  void show(const ElementDesc& element, const Change& change);
  void follow(const ElementDesc& element, const Change& change);
  std::string portCellText(int row, const RowState& state) const;
  // The whole model as change records.
  std::vector<Change> modelState() const;
  void message(const std::string& text, const std::string& caption, MessageIcon icon);
  void makeSettingPage();
  std::string display(const std::string& bytes) const;

  StationModel& model_;
  FrontEnd& fe_;
  BinderDeps deps_;
  std::unique_ptr<SettingPage> page_;
  std::vector<const WindowDesc*> windows_;
  std::function<void(const Change&)> applied_;
  int listener_ = 0;
  bool attached_ = false;
};

// The operator's input on the front end's controls, handed to the binder's handlers.
FrontEndInputs inputsOf(Binder& binder);

// Makes every control of `window` on the front end, with the captions that come from
// no model value.
void createWindow(FrontEnd& frontEnd, const WindowDesc& window);

// Text conversions at the front-end boundary: paths in the system's spelling and the
// label's bytes to and from UTF-8.
std::string pathToUtf8(const std::string& path);
std::string labelToUtf8(const std::string& bytes);
// The operator's label in the label's bytes, capitals for letters; nothing when the
// volume cannot take it (a character without a spelling, more than 11 bytes).
std::optional<std::string> labelFromUtf8(const std::string& text);

}  // namespace station
