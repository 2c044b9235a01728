// A pseudo-terminal for tests: the test holds the master side, the code under
// test opens the slave path like any serial port. Closing the master is how a
// test makes the device go away.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace fw::test {

class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name_, sizeof name_) != 0) {
      CloseMaster();
    }
  }
  ~PseudoTerminal() { CloseMaster(); }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool ok() const { return master_ >= 0; }
  int master() const { return master_; }
  const char* slave_path() const { return name_; }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  char name_[128] = {};
};

}  // namespace fw::test
