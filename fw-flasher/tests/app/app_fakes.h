// Stand-ins for the window and the profile in the application logic's tests:
// they remember what was shown and stored, and give back what a test set.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/app_dialogs.h"
#include "app/download_view.h"
#include "app/profile.h"
#include "isp/link/link_outputs.h"

namespace fw::test {

class MemoryProfile final : public Profile {
 public:
  int ReadInt(std::string_view key, int fallback) override {
    std::lock_guard lock(mutex_);
    const auto it = ints.find(std::string(key));
    return it == ints.end() ? fallback : it->second;
  }
  void WriteInt(std::string_view key, int value) override {
    std::lock_guard lock(mutex_);
    ints[std::string(key)] = value;
  }
  std::optional<std::vector<std::uint8_t>> ReadBytes(std::string_view key) override {
    std::lock_guard lock(mutex_);
    const auto it = bytes.find(std::string(key));
    if (it == bytes.end()) return std::nullopt;
    return it->second;
  }
  void WriteBytes(std::string_view key, const std::vector<std::uint8_t>& value) override {
    std::lock_guard lock(mutex_);
    bytes[std::string(key)] = value;
  }

  std::map<std::string, int> ints;
  std::map<std::string, std::vector<std::uint8_t>> bytes;

 private:
  std::mutex mutex_;
};

class FakeView final : public DownloadView {
 public:
  void SetBusy(bool busy) override {
    std::lock_guard lock(mutex_);
    busy_changes.push_back(busy);
  }
  void ShowPassCounter(std::uint32_t count) override {
    std::lock_guard lock(mutex_);
    pass_counters.push_back(count);
  }
  std::string SerialText(SerialEdit edit) override {
    std::lock_guard lock(mutex_);
    return edits[static_cast<int>(edit)];
  }
  void ShowSerialText(SerialEdit edit, std::string_view text) override {
    std::lock_guard lock(mutex_);
    edits[static_cast<int>(edit)] = std::string(text);
  }
  std::optional<PortEntry> SelectedPort() override {
    std::lock_guard lock(mutex_);
    return port;
  }

  void SetPort(std::optional<PortEntry> entry) {
    std::lock_guard lock(mutex_);
    port = std::move(entry);
  }
  std::string Edit(SerialEdit edit) {
    std::lock_guard lock(mutex_);
    return edits[static_cast<int>(edit)];
  }
  std::vector<bool> BusyChanges() {
    std::lock_guard lock(mutex_);
    return busy_changes;
  }
  std::vector<std::uint32_t> PassCounters() {
    std::lock_guard lock(mutex_);
    return pass_counters;
  }

 private:
  std::mutex mutex_;
  std::string edits[2];
  std::vector<bool> busy_changes;
  std::vector<std::uint32_t> pass_counters;
  std::optional<PortEntry> port;
};

// Answers every question with a fixed answer and remembers what it was shown.
class ScriptedDialogs final : public AppDialogs {
 public:
  explicit ScriptedDialogs(bool answer = false) : answer_(answer) {}
  bool AskYesNo(std::string_view text, std::string_view caption) override {
    std::lock_guard lock(mutex_);
    questions.push_back(std::string(caption) + ": " + std::string(text));
    return answer_;
  }
  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override {
    std::lock_guard lock(mutex_);
    messages.push_back(std::string(caption) + ": " + std::string(text));
    icons.push_back(icon);
  }
  std::vector<std::string> Messages() {
    std::lock_guard lock(mutex_);
    return messages;
  }
  std::vector<MessageIcon> Icons() {
    std::lock_guard lock(mutex_);
    return icons;
  }
  std::vector<std::string> Questions() {
    std::lock_guard lock(mutex_);
    return questions;
  }

 private:
  std::mutex mutex_;
  bool answer_;
  std::vector<std::string> questions;
  std::vector<std::string> messages;
  std::vector<MessageIcon> icons;
};

// A log the worker writes while the test reads it.
class LockedLog final : public LogSink {
 public:
  void Clear() override {
    std::lock_guard lock(mutex_);
    text_.clear();
  }
  void Append(std::string_view t) override {
    std::lock_guard lock(mutex_);
    text_.append(t);
  }
  std::string Text() {
    std::lock_guard lock(mutex_);
    return text_;
  }

 private:
  std::mutex mutex_;
  std::string text_;
};

}  // namespace fw::test
