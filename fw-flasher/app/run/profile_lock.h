// The profile's lock held for one unit of work: taken before the counters are
// read, released once the advanced counters are written (or the work ended
// without them). A program that finds it held waits for the other program.
#pragma once

#include <functional>
#include <string>

#include "app/run/profile.h"

namespace fw {

class ProfileLock {
 public:
  explicit ProfileLock(Profile& profile) : profile_(profile) {}
  ~ProfileLock() { Release(); }
  ProfileLock(const ProfileLock&) = delete;
  ProfileLock& operator=(const ProfileLock&) = delete;

  // Takes the lock; keep_waiting as for Profile::Lock.
  ProfileLockResult Take(const std::function<bool()>& keep_waiting, std::string& reason);
  void Release();
  bool held() const { return held_; }

 private:
  Profile& profile_;
  bool held_ = false;
};

}  // namespace fw
