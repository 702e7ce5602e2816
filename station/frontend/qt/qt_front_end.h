// The Qt Widgets front end: makes the described controls as widgets (found by their
// object names) and sets them by name. Programmatic changes never come back as input;
// the operator's input goes to the given callbacks.
#pragma once

#include <QWidget>

class QTimer;

#include <functional>
#include <map>
#include <set>
#include <optional>
#include <string>
#include <vector>

#include "station/model/copy_list_edit.h"
#include "station/window/front_end.h"

namespace station {

// Stand-ins for the dialogs (tests answer them themselves); empty: the toolkit's.
struct QtDialogs {
  std::function<void(const ModalMessage&)> presenter;  // texts in UTF-8
  FileChooser chooser;
  std::function<std::optional<std::string>()> folderChooser;
  std::function<std::optional<std::string>()> packageChooser;
};

class QtFrontEnd : public FrontEnd {
 public:
  // `window`: the widget that becomes the description's Window element.
  QtFrontEnd(QWidget* window, QtDialogs dialogs = {});
  void setInputs(FrontEndInputs inputs) { inputs_ = std::move(inputs); }
  QWidget* widget(const std::string& name) const;

  void createControl(const ElementDesc& element) override;
  void setText(const std::string& name, const std::string& text) override;
  void setToolTip(const std::string& name, const std::string& text) override;
  void setColour(const std::string& name, TextColour colour) override;
  void setEnabled(const std::string& name, bool enabled) override;
  void setVisible(const std::string& name, bool visible) override;
  void setChecked(const std::string& name, bool checked) override;
  void setValue(const std::string& name, int value) override;
  void setItems(const std::string& name, const std::vector<std::string>& items,
                const std::vector<int>& selection) override;
  void setPicture(const std::string& name, const PictureRef& picture) override;
  void runOnWindowThread(std::function<void()> work, bool wait) override;
  void setTimer(const std::string& window, int intervalMs, std::function<void()> tick) override;
  void messageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
  std::optional<std::vector<std::string>> chooseFiles(const std::string& title) override;
  std::optional<std::string> chooseFolder() override;
  std::optional<std::string> choosePackage(const std::string& title) override;
  void closeWindow(const std::string& name) override;

 private:
  void connectInput(const ElementDesc& element, QWidget* widget);

  QWidget* window_;
  QtDialogs dialogs_;
  FrontEndInputs inputs_;
  std::map<std::string, QTimer*> timers_;
  std::map<std::string, QWidget*> widgets_;
  std::set<QWidget*> rowCells_;  // labels in the row font, drawn smaller to fit
};

}  // namespace station
