// A windowing double: keeps the state of windows and controls, plays back scripted events
// (the main window's close box once they run out) and records what was shown.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/gui.h"

namespace brisko::testing {

struct FakeControl {
  int window = 0;
  platform::ControlSetup setup;
  std::string text;
  bool checked = false;
  bool enabled = true;
  std::vector<std::string> entries;
  int selected = -1;
  std::vector<std::string> lines;  // rich text, each prefixed "*" when bold and underlined
};

class FakeGui : public platform::Gui {
 public:
  // Failures to simulate.
  bool iconAvailable = true;
  std::set<std::string> failing;  // "window", "tooltips", "menu", "status bar"

  std::map<int, platform::WindowSetup> windows;
  std::map<int, bool> windowEnabled;
  std::map<int, FakeControl> controls;
  std::vector<platform::ControlSetup> creationOrder;  // as created, kept after closing
  std::map<int, std::string> toolTips;
  std::vector<platform::MenuTitle> menu;
  std::vector<int> statusWidths;
  std::string statusFields[2];
  int focusedControl = 0;
  int repaints = 0;
  int treeRefreshes = 0;
  std::vector<std::string> dialogs;  // "title|filter"
  std::string dialogAnswer;
  std::deque<platform::GuiEvent> events;
  int polls = 0;
  // Run before each scripted event is handed out (to tick boxes, fill the source field).
  std::function<void(const platform::GuiEvent&)> beforeEvent;
  int textWidthPerCharacter = 6;

  FakeControl& control(int number) { return controls.at(number); }

  bool loadResources() override { return iconAvailable; }
  void releaseResources() override {}
  bool openWindow(const platform::WindowSetup& setup) override {
    if (failing.count("window") && setup.number == 0) return false;
    closeWindow(setup.number);
    windows[setup.number] = setup;
    windowEnabled[setup.number] = true;
    return true;
  }
  void closeWindow(int window) override {
    windows.erase(window);
    std::erase_if(controls, [window](const auto& entry) { return entry.second.window == window; });
  }
  bool hasWindow(int window) const { return windows.count(window) != 0; }
  void setWindowEnabled(int window, bool enabled) override { windowEnabled[window] = enabled; }
  void repaintWindow(int) override { ++repaints; }
  bool createToolTips(int, int, const std::string&) override { return !failing.count("tooltips"); }
  void addToolTip(int control, const std::string& text) override { toolTips[control] = text; }
  bool createMenu(int, const std::vector<platform::MenuTitle>& titles) override {
    menu = titles;
    return !failing.count("menu");
  }
  bool createStatusBar(int, const std::vector<int>& widths) override {
    statusWidths = widths;
    return !failing.count("status bar");
  }
  void setStatusField(int window, int field, const std::string& text) override {
    if (hasWindow(window) && !statusWidths.empty()) statusFields[field] = text;
  }
  void createControl(int window, const platform::ControlSetup& setup) override {
    FakeControl made;
    made.window = window;
    made.setup = setup;
    made.text = setup.text;
    controls[setup.number] = made;
    creationOrder.push_back(setup);
  }
  int textWidth(int, const std::string& text) const override {
    return static_cast<int>(text.size()) * textWidthPerCharacter;
  }
  void setText(int control, const std::string& text) override { controls[control].text = text; }
  std::string text(int control) const override {
    const auto found = controls.find(control);
    return found == controls.end() ? std::string() : found->second.text;
  }
  void setChecked(int control, bool checked) override { controls[control].checked = checked; }
  bool isChecked(int control) const override {
    const auto found = controls.find(control);
    return found != controls.end() && found->second.checked;
  }
  void setEnabled(int control, bool enabled) override {
    if (controls.count(control)) controls[control].enabled = enabled;
  }
  void setFocus(int control) override { focusedControl = control; }
  void addListEntry(int control, const std::string& text) override {
    controls[control].entries.push_back(text);
  }
  void selectListEntry(int control, int index) override { controls[control].selected = index; }
  int selectedListEntry(int control) const override { return controls.at(control).selected; }
  std::string folderTreePath(int control) const override { return text(control); }
  void setFolderTreePath(int control, const std::string& folder) override {
    controls[control].text = folder;
  }
  void refreshFolderTree(int) override { ++treeRefreshes; }
  void setRichTextFormat(int, const platform::RichTextFormat& format) override {
    richFormat_ = format;
  }
  void addRichTextLine(int control, const std::string& text) override {
    const bool emphasised = richFormat_.bold && richFormat_.underline && richFormat_.blue == 255;
    controls[control].lines.push_back((emphasised ? "*" : "") + text);
  }
  std::vector<std::string> messages;  // "title|text"
  void messageBox(const std::string& title, const std::string& text, platform::GuiIcon) override {
    messages.push_back(title + "|" + text);
  }
  std::string openFileDialog(const std::string& title, const std::string&,
                             const std::string& filter, int) override {
    dialogs.push_back(title + "|" + filter);
    return dialogAnswer;
  }
  platform::GuiEvent waitEvent() override {
    if (events.empty()) return {platform::GuiEventKind::close, 0, 0};
    const platform::GuiEvent event = events.front();
    events.pop_front();
    if (beforeEvent) beforeEvent(event);
    return event;
  }
  std::optional<platform::GuiEvent> pollEvent() override {
    ++polls;
    return std::nullopt;
  }

 private:
  platform::RichTextFormat richFormat_;
};

}  // namespace brisko::testing
