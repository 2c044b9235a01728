#include "app/run/profile_lock.h"

namespace fw {

ProfileLockResult ProfileLock::Take(const std::function<bool()>& keep_waiting,
                                    std::string& reason) {
  if (held_) return ProfileLockResult::kTaken;
  const ProfileLockResult result = profile_.Lock(keep_waiting, reason);
  held_ = result == ProfileLockResult::kTaken;
  return result;
}

void ProfileLock::Release() {
  if (!held_) return;
  profile_.Unlock();
  held_ = false;
}

}  // namespace fw
