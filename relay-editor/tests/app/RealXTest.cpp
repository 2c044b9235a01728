// The editors under a real X server (Xvfb): each is marked transient for the main
// window (WM_TRANSIENT_FOR), which is what makes a window manager keep it above the
// main window and raise it with it. Where a window manager is installed, it runs
// too, and raising the main window (as a click on it does) leaves the open editor
// above it, also after a failure box. Skipped where Xvfb or a window manager is
// missing.

#include "IO.h"
#include "ScriptedDialogs.h"
#include "Unit1.h"
#include "ptimes.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

// The session bus library that the X platform plugin loads keeps a buffer until
// the process ends; the leak checker (in sanitized builds) is told so.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace relay::app {
namespace {

std::optional<std::string> FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= folders.size()) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    const std::filesystem::path candidate =
        std::filesystem::path(folders.substr(start, end - start)) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = end + 1;
  }
  return std::nullopt;
}

pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
}

// A virtual X server on a display of its own, with a window manager when asked.
class VirtualDisplay {
 public:
  bool Start(const std::string& xvfb) {
    for (int number = 91; number < 140; ++number) {
      if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)) ||
          std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock"))
        continue;
      name_ = ":" + std::to_string(number);
      server_ = Spawn({xvfb, name_, "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
      if (server_ <= 0) return false;
      for (int i = 0; i < 100; ++i) {  // up to 5 s for the server to take connections
        xcb_connection_t* c = xcb_connect(name_.c_str(), nullptr);
        const bool up = xcb_connection_has_error(c) == 0;
        xcb_disconnect(c);
        if (up) return true;
        ::usleep(50000);
      }
      Stop(server_);
      server_ = -1;
    }
    return false;
  }
  void StartWindowManager(const std::string& program) {
    ::setenv("DISPLAY", name_.c_str(), 1);
    manager_ = Spawn({program});
    ::usleep(500000);  // it takes over the screen
  }
  ~VirtualDisplay() {
    Stop(manager_);
    Stop(server_);
  }
  const std::string& Name() const { return name_; }
  bool HasManager() const { return manager_ > 0; }

 private:
  std::string name_;
  pid_t server_ = -1;
  pid_t manager_ = -1;
};

std::vector<xcb_window_t> WindowProperty(xcb_connection_t* c, xcb_window_t window,
                                         const char* atomName, xcb_atom_t type) {
  const auto atomCookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(atomName)), atomName);
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> atom(
      xcb_intern_atom_reply(c, atomCookie, nullptr), &free);
  if (!atom) return {};
  const auto cookie = xcb_get_property(c, 0, window, atom->atom, type, 0, 1024);
  std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> reply(
      xcb_get_property_reply(c, cookie, nullptr), &free);
  if (!reply || reply->format != 32) return {};
  const auto* values = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
  return {values, values + xcb_get_property_value_length(reply.get()) / 4};
}

const char* const kWindowManagers[] = {
    "openbox", "xfwm4", "metacity", "fluxbox", "icewm", "matchbox-window-manager", "jwm", "twm"};

class RealXTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto xvfb = FindProgram("Xvfb");
    if (!xvfb) GTEST_SKIP() << "Xvfb is not installed";
    display = std::make_unique<VirtualDisplay>();
    if (!display->Start(*xvfb)) GTEST_SKIP() << "no virtual X server could be started";
    ::setenv("DISPLAY", display->Name().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
  std::unique_ptr<VirtualDisplay> display;
};

// What a window manager needs to keep the editor above the main window.
TEST_F(RealXTest, TheEditorsAreTransientForTheMainWindow) {
  for (const char* manager : kWindowManagers)
    if (const auto path = FindProgram(manager)) {
      display->StartWindowManager(*path);
      break;
    }
  int argc = 1;
  char name[] = "relay_app_RealXTest";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QTemporaryDir folder;
  StartupOptions options;
  const std::string settings = (folder.path() + "/VYL_config.ini").toStdString();
  options.settings = {settings, settings};
  options.programFolder = folder.path().toStdString();
  ScriptedDialogs dialogs;
  TForm1 w(dialogs, options);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
  ASSERT_NE(x11, nullptr);
  xcb_connection_t* c = x11->connection();

  w.button(QStringLiteral("定时器"))->click();
  Ttimers* editor = w.timerEditor();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(editor));
  QTest::qWait(200);
  const auto transientFor = WindowProperty(c, static_cast<xcb_window_t>(editor->winId()),
                                           "WM_TRANSIENT_FOR", XCB_ATOM_WINDOW);
  ASSERT_EQ(transientFor.size(), 1u);
  EXPECT_EQ(transientFor[0], static_cast<xcb_window_t>(w.winId()));

  if (!display->HasManager()) GTEST_SKIP() << "no window manager is installed";
  // A failed store shows its box; then the main window is raised as a click on it
  // would. The window manager keeps the editor above it.
  editor->buttonForMode(1)->click();
  w.raise();
  w.activateWindow();
  QTest::qWait(500);
  xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  const auto stacking = WindowProperty(c, root, "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW);
  const auto at = [&](QWidget* widget) {
    return std::find(stacking.begin(), stacking.end(), static_cast<xcb_window_t>(widget->winId())) -
           stacking.begin();
  };
  ASSERT_LT(at(&w), static_cast<long>(stacking.size()));
  ASSERT_LT(at(editor), static_cast<long>(stacking.size()));
  EXPECT_GT(at(editor), at(&w)) << "the editor went behind the main window";
  editor->finish();
}

}  // namespace
}  // namespace relay::app
