#include "device/SPComm.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "device/CommThreads.h"
#include "device/SerialLine.h"

namespace relay::device {

namespace {

constexpr auto kStopWait = std::chrono::milliseconds(10'000);

void SignalFd(int fd) {
  const std::uint64_t one = 1;
  [[maybe_unused]] auto n = write(fd, &one, sizeof one);
}

// Joins the thread once `done` is set, waiting at most kStopWait; a thread that does not
// finish in time is let go (it keeps the shared state alive until it ends).
void StopThread(std::thread& t, const std::atomic<bool>& done) {
  if (!t.joinable()) return;
  const auto until = std::chrono::steady_clock::now() + kStopWait;
  while (!done && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (done)
    t.join();
  else
    t.detach();
}

// Opens the device for this program alone. Refuses a terminal that another program
// already holds in exclusive mode (that also stops a process with root rights) or
// holds locked; errno is then EBUSY.
int OpenExclusive(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  int exclusive = 0;
  if ((ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    errno = EBUSY;
    return -1;
  }
  ioctl(fd, TIOCEXCL);
  return fd;
}

// The second line of an error: the device and the system's reason, said so that the
// user knows what to do.
std::string Reason(const std::string& path, int error) {
  switch (error) {
    case EBUSY:
      return path + ": in use by another program";
    case EACCES:
    case EPERM: {
      // Serial devices belong to a group ("dialout" on most systems) whose members may
      // use them.
      struct stat device {};
      const group* owner = stat(path.c_str(), &device) == 0 ? getgrgid(device.st_gid) : nullptr;
      const std::string name = owner && device.st_gid != 0 ? owner->gr_name : "dialout";
      return path + ": permission denied: add the user to the " + name + " group";
    }
    default:
      return path + ": " + std::strerror(error);
  }
}

ECommsError PortError(const char* message, const std::string& reason) {
  return ECommsError(std::string(message) + "\n" + reason);
}

}  // namespace

std::string ResolvePortPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
      (name[2] == 'M' || name[2] == 'm')) {
    bool digits = true;
    for (std::size_t i = 3; i < name.size(); ++i)
      digits = digits && std::isdigit(static_cast<unsigned char>(name[i]));
    if (digits && name.size() <= 8) {
      const long n = std::stol(name.substr(3));
      if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
    }
  }
  return "/dev/" + name;
}

TComm::TComm(TCallQueue& ownerQueue) : queue_(ownerQueue), self_(std::make_shared<TComm*>(this)) {}

TComm::~TComm() {
  self_.reset();
  ClosePort();
}

void TComm::OpenPort() {
  if (shared_) throw ECommsError("This serial port already opened");

  auto s = std::make_shared<TCommShared>(queue_, self_);
  const std::string path = ResolvePortPath(commName_);
  s->portFd = OpenExclusive(path);
  if (s->portFd < 0) throw PortError("Error opening serial port", Reason(path, errno));
  // A file that is no terminal cannot take the serial settings.
  if (!isatty(s->portFd)) throw PortError("Cannot setup comm buffer", path + ": not a serial port");

  tcflush(s->portFd, TCIOFLUSH);
  s->sendEmpty = true;
  s->Store(line_, timeouts_);
  if (!ApplyLineSettings(s->portFd, line_))
    throw PortError("Cannot setup comm state", path + ": the device does not take the line " +
                                                   "settings at " + std::to_string(line_.BaudRate) +
                                                   " baud");

  s->closeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  s->workFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (s->closeFd < 0 || s->workFd < 0) throw ECommsError("Unable to create event");

  try {
    reader_ = std::thread(RunReadThread, s);
  } catch (const std::system_error&) {
    throw ECommsError("Unable to create read thread");
  }
  try {
    writer_ = std::thread(RunWriteThread, s);
  } catch (const std::system_error&) {
    SignalFd(s->closeFd);
    StopThread(reader_, s->readerDone);
    throw ECommsError("Unable to create write thread");
  }
  shared_ = std::move(s);
}

void TComm::StopThreads() {
  SignalFd(shared_->closeFd);
  tcflush(shared_->portFd, TCIFLUSH);
  StopThread(reader_, shared_->readerDone);
  {
    std::lock_guard lock(shared_->sendMutex);
    // Blocks still waiting are dropped; bytes already sent stay sent.
    if (!shared_->sendEmpty || OutputPending(shared_->portFd)) tcflush(shared_->portFd, TCOFLUSH);
    shared_->sendQueue.clear();
    shared_->sendEmpty = true;
  }
  StopThread(writer_, shared_->writerDone);
}

void TComm::ClosePort() {
  if (!shared_) return;
  StopThreads();
  shared_.reset();  // closes the port once no thread holds it
}

bool TComm::WriteData(const std::uint8_t* data, std::size_t count) {
  if (!shared_ || count == 0 || count > 65535 || data == nullptr) return false;
  {
    std::lock_guard lock(shared_->sendMutex);
    shared_->sendQueue.emplace_back(data, data + count);
    shared_->sendEmpty = false;
  }
  SignalFd(shared_->workFd);
  return true;
}

bool TComm::SendDataEmpty() const {
  if (!shared_) return true;
  std::lock_guard lock(shared_->sendMutex);
  return shared_->sendEmpty;
}

void TComm::SetLineSettings(const TCommLineSettings& settings) {
  line_ = settings;
  if (shared_) {
    shared_->Store(line_, timeouts_);
    if (!ApplyLineSettings(shared_->portFd, line_)) throw ECommsError("Cannot setup comm state");
  }
}

void TComm::SetTimeouts(const TCommTimeouts& timeouts) {
  timeouts_ = timeouts;
  if (shared_) shared_->Store(line_, timeouts_);
}

}  // namespace relay::device
