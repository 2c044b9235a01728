// Test doubles of the user interface of the device operations: they record what the
// operations show and answer questions from a prepared list.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "device/DeviceInterfaces.h"

namespace relay::testing {

struct TRecordingUi : device::IProgressView,
                      device::IPortView,
                      device::IDeviceDialogs,
                      device::IDeviceListener {
  struct TMessage {
    std::string title;
    std::string text;
    device::TMessageIcon icon;
  };

  void SetProgressMaximum(int maximum) override { progressMaximum = maximum; }
  void SetProgressPosition(int position) override {
    progress = position;
    progressTrail.push_back(position);
  }
  void SetProgressText(const std::string& text) override { progressText = text; }
  void ShowPortState(const std::string& c, bool boxes) override {
    caption = c;
    boxesEnabled = boxes;
  }
  bool Ask(const std::string& title, const std::string& text) override {
    questions.push_back(title + "|" + text);
    bool answer = defaultAnswer;
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
    return answer;
  }
  void Inform(const std::string& title, const std::string& text,
              device::TMessageIcon icon) override {
    messages.push_back({title, text, icon});
  }
  void CommandEnded(device::TDeviceCommand command, device::TDeviceOutcome outcome) override {
    ended.emplace_back(command, outcome);
  }

  bool EndedWith(device::TDeviceCommand command, device::TDeviceOutcome outcome) const {
    for (const auto& e : ended)
      if (e.first == command && e.second == outcome) return true;
    return false;
  }
  bool AnyEnded() const { return !ended.empty(); }

  int progressMaximum = 0;
  int progress = 0;
  std::vector<int> progressTrail;
  std::string progressText;
  std::string caption;
  bool boxesEnabled = true;
  std::deque<bool> answers;
  bool defaultAnswer = true;
  std::vector<std::string> questions;
  std::vector<TMessage> messages;
  std::vector<std::pair<device::TDeviceCommand, device::TDeviceOutcome>> ended;
};

}  // namespace relay::testing
