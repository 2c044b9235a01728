// Stand-ins for the window and the profile in the application logic's tests:
// they remember what was shown and stored, and give back what a test set.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/run/app_dialogs.h"
#include "app/run/download_view.h"
#include "app/run/profile.h"
#include "isp/link/link_outputs.h"

namespace fw::test {

// A profile in memory. A test can hold its lock as another program would, and
// make the writability check or the writes fail with a reason.
class MemoryProfile final : public Profile {
 public:
  int ReadInt(std::string_view key, int fallback) override {
    std::lock_guard lock(mutex_);
    const auto it = ints.find(std::string(key));
    return it == ints.end() ? fallback : it->second;
  }
  std::optional<std::vector<std::uint8_t>> ReadBytes(std::string_view key) override {
    std::lock_guard lock(mutex_);
    const auto it = bytes.find(std::string(key));
    if (it == bytes.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::string> ReadText(std::string_view key) override {
    std::lock_guard lock(mutex_);
    const auto it = texts.find(std::string(key));
    if (it == texts.end()) return std::nullopt;
    return it->second;
  }
  ProfileLockResult Lock(const std::function<bool()>& keep_waiting, std::string& reason) override {
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        if (!lock_failure.empty()) {
          reason = lock_failure;
          return ProfileLockResult::kFailed;
        }
        if (!held_elsewhere && !held) {
          held = true;
          ++locks_taken;
          return ProfileLockResult::kTaken;
        }
      }
      if (!keep_waiting()) return ProfileLockResult::kGaveUp;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  void Unlock() override {
    std::lock_guard lock(mutex_);
    held = false;
  }
  bool CheckWritable(std::string& reason) override {
    std::lock_guard lock(mutex_);
    reason = check_failure;
    return check_failure.empty();
  }
  bool Write(const ProfileChanges& changes, std::string& reason) override {
    std::lock_guard lock(mutex_);
    writes_while_locked += held ? 1 : 0;
    ++writes;
    if (!write_failure.empty()) {
      reason = write_failure;
      return false;
    }
    for (const auto& [key, value] : changes.ints) ints[key] = value;
    for (const auto& [key, value] : changes.bytes) bytes[key] = value;
    for (const auto& [key, value] : changes.texts) {
      if (value.empty()) {
        texts.erase(key);
      } else {
        texts[key] = value;
      }
    }
    return true;
  }
  std::string Location() const override { return "/profile/App.ini"; }

  bool Held() {
    std::lock_guard lock(mutex_);
    return held;
  }

  std::map<std::string, int> ints;
  std::map<std::string, std::vector<std::uint8_t>> bytes;
  std::map<std::string, std::string> texts;
  std::atomic<bool> held_elsewhere{false};
  std::string lock_failure;
  std::string check_failure;
  std::string write_failure;
  int locks_taken = 0;
  int writes = 0;
  int writes_while_locked = 0;

 private:
  std::mutex mutex_;
  bool held = false;
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
  void ShowRunStatus(const RunStatus& status) override {
    std::lock_guard lock(mutex_);
    statuses.push_back(status);
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
  std::vector<RunStatus> Statuses() {
    std::lock_guard lock(mutex_);
    return statuses;
  }

 private:
  std::mutex mutex_;
  std::string edits[2];
  std::vector<bool> busy_changes;
  std::vector<std::uint32_t> pass_counters;
  std::vector<RunStatus> statuses;
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
