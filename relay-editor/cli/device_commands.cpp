#include "device_commands.h"

#include <unistd.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "device/CallQueue.h"
#include "device/DeviceOperations.h"
#include "device/SPComm.h"
#include "model/ProgramList.h"
#include "model/ProjectFile.h"

namespace relay::cli {
namespace {

using namespace std::chrono_literals;
using device::TDeviceCommand;
using device::TDeviceOutcome;

struct PortOptions {
  std::string port;
  int baud = 9600;
  int address = 255;
  int timeoutMs = 2000;
};

void AddPortOptions(CLI::App* command, PortOptions& o) {
  command->add_option("--port", o.port, "serial port: a path, a name under /dev, or COMn")
      ->required();
  command->add_option("--baud", o.baud, "baud rate (default 9600)")->check(CLI::Range(1, 4000000));
  command->add_option("--address", o.address, "module address 0 to 255 (default 255)")
      ->check(CLI::Range(0, 255));
  command->add_option("--timeout", o.timeoutMs, "ms to wait for each answer (default 2000)")
      ->check(CLI::Range(1, 600000));
}

// The terminal side of a device command: progress and notes on stderr, the questions
// answered from the command line, the end of the command recorded.
class TerminalSession : public device::IProgressView,
                        public device::IDeviceDialogs,
                        public device::IDeviceListener {
 public:
  TerminalSession(Streams& streams, bool restart)
      : streams_(streams), restart_(restart), tty_(isatty(2)) {}

  void SetProgressMaximum(int maximum) override { maximum_ = maximum; }
  void SetProgressPosition(int position) override {
    if (tty_) {
      streams_.err << "\r块 " << position << " / " << maximum_ << std::flush;
      pendingLine_ = true;
    } else if (position == 1 || position % 8 == 0) {
      streams_.err << "块 " << position << " / " << maximum_ << '\n';
    }
  }
  bool Ask(const std::string&, const std::string& text) override {
    // The erase question is the command itself; a restart only with --restart.
    const bool yes = text == device::texts::kConfirmErase || restart_;
    EndLine();
    streams_.err << Trimmed(text) << (yes ? " → 是" : " → 否") << '\n';
    return yes;
  }
  void Inform(const std::string& title, const std::string& text,
              device::TMessageIcon icon) override {
    EndLine();
    if (icon == device::TMessageIcon::Error)
      failure_ = text;  // main prints it
    else
      streams_.err << title << text << '\n';
  }
  void CommandEnded(TDeviceCommand command, TDeviceOutcome outcome) override {
    if (!ended_ && command == expected_) ended_ = outcome;
  }

  void Expect(TDeviceCommand command) {
    expected_ = command;
    ended_.reset();
  }
  const std::optional<TDeviceOutcome>& Ended() const { return ended_; }
  const std::string& Failure() const { return failure_; }
  void EndLine() {
    if (pendingLine_) streams_.err << '\n';
    pendingLine_ = false;
  }

 private:
  static std::string Trimmed(const std::string& text) {
    const auto start = text.find_first_not_of(' ');
    return start == std::string::npos ? text : text.substr(start);
  }

  Streams& streams_;
  bool restart_;
  bool tty_;
  bool pendingLine_ = false;
  int maximum_ = 32;
  TDeviceCommand expected_ = TDeviceCommand::Read;
  std::optional<TDeviceOutcome> ended_;
  std::string failure_;
};

// One conversation with the controller: opens the port, runs a command to its end and
// closes the port again.
class DeviceSession {
 public:
  DeviceSession(const PortOptions& options, Streams& streams, bool restart)
      : options_(options),
        terminal_(streams, restart),
        comm_(queue_),
        ops_(comm_, queue_, list_, terminal_, terminal_, nullptr, &terminal_) {
    ops_.SetModuleAddress(options.address);
    ops_.SetAnswerTimeout(std::chrono::milliseconds(options.timeoutMs));
    try {
      ops_.PressPortButton(options.port, std::to_string(options.baud));
    } catch (const std::exception& e) {
      throw Refused("无法打开串口 " + options.port + "：" + e.what());
    }
  }
  ~DeviceSession() {
    if (ops_.PortOpen()) ops_.PressPortButton("", "");
  }

  model::ProgramList& List() { return list_; }
  device::TDeviceOperations& Operations() { return ops_; }

  // Starts the command and drains the queue until it has ended. Throws Refused when
  // it did not come to a good end.
  void Run(TDeviceCommand command, void (device::TDeviceOperations::*start)()) {
    terminal_.Expect(command);
    (ops_.*start)();
    // Every step has its own time-out; this bound only guards against a stuck loop.
    const auto limit = std::chrono::steady_clock::now() +
                       (kBlocks + 2) * (std::chrono::milliseconds(options_.timeoutMs) + 1s);
    while (!terminal_.Ended() && std::chrono::steady_clock::now() < limit)
      queue_.WaitAndDrain(100ms);
    terminal_.EndLine();
    FinishSending();
    if (!terminal_.Ended()) throw Refused("设备操作没有结束");
    switch (*terminal_.Ended()) {
      case TDeviceOutcome::Done:
        return;
      case TDeviceOutcome::NoAnswer:
        throw Refused(terminal_.Failure());
      case TDeviceOutcome::NothingToWrite:
        throw Refused(device::texts::kNoInstructions);
      case TDeviceOutcome::NotSent:
        throw Refused("串口没有打开，没有发送任何数据");
      case TDeviceOutcome::Declined:
        throw Refused("操作放弃！");
    }
  }

 private:
  static constexpr int kBlocks = 32;

  // Frames still queued (the restart) go out before the port is closed.
  void FinishSending() {
    const auto limit = std::chrono::steady_clock::now() + 2s;
    while (!comm_.SendDataEmpty() && std::chrono::steady_clock::now() < limit)
      queue_.WaitAndDrain(10ms);
    queue_.Drain();
  }

  PortOptions options_;
  TerminalSession terminal_;
  device::TCallQueue queue_;
  device::TComm comm_;
  model::ProgramList list_;
  device::TDeviceOperations ops_;
};

}  // namespace

void AddDeviceCommands(CLI::App& app, Streams& streams) {
  struct Options {
    PortOptions port;
    std::string file;
    bool optimise = false;
    bool restart = false;
  };

  {
    auto o = std::make_shared<Options>();
    CLI::App* write =
        app.add_subcommand("write", "Write a project file's program into the controller");
    write->add_option("FILE", o->file, "project file (.vyl)")->required();
    write->add_flag("--optimise", o->optimise, "optimise the program before writing");
    write->add_flag("--restart", o->restart, "restart the controller after writing");
    AddPortOptions(write, o->port);
    write->callback([o, &streams] {
      model::ProgramList loaded;
      const model::FileResult result = model::LoadProjectFile(o->file, loaded);
      if (!result) throw Refused(result.message);
      DeviceSession session(o->port, streams, o->restart);
      session.List().AppendAll(loaded.HexTexts());
      session.Operations().SetOptimiseBeforeWrite(o->optimise);
      if (!o->optimise && session.List().Renumber() > 512)
        streams.err << "注意：清单共 " << session.List().Total()
                    << " 字节，超出扇区容量 512 字节，放不下的指令不会写入\n";
      session.Run(TDeviceCommand::Write, &device::TDeviceOperations::WriteAll);
      streams.err << "已写入 " << session.List().Size() << " 条指令\n";
    });
  }
  {
    auto o = std::make_shared<Options>();
    CLI::App* read =
        app.add_subcommand("read", "Read the controller's program into a project file");
    read->add_option("-o,--output", o->file, "project file to write (.vyl)")->required();
    AddPortOptions(read, o->port);
    read->callback([o, &streams] {
      DeviceSession session(o->port, streams, false);
      session.Run(TDeviceCommand::Read, &device::TDeviceOperations::ReadFromDevice);
      const model::FileResult result = model::SaveProjectFile(o->file, session.List());
      if (!result) throw Refused(result.message);
      streams.err << "已读取 " << session.List().Size() << " 条指令到 " << o->file << '\n';
    });
  }
  {
    auto o = std::make_shared<Options>();
    CLI::App* erase = app.add_subcommand("erase", "Erase the controller's program sector");
    erase->add_flag("--restart", o->restart, "restart the controller after erasing");
    AddPortOptions(erase, o->port);
    erase->callback([o, &streams] {
      DeviceSession session(o->port, streams, o->restart);
      session.Run(TDeviceCommand::Erase, &device::TDeviceOperations::EraseSector);
    });
  }
  {
    auto o = std::make_shared<Options>();
    CLI::App* restart = app.add_subcommand("restart", "Restart the controller");
    AddPortOptions(restart, o->port);
    restart->callback([o, &streams] {
      DeviceSession session(o->port, streams, false);
      session.Run(TDeviceCommand::Restart, &device::TDeviceOperations::Restart);
      streams.err << "已发送重启命令\n";
    });
  }
}

}  // namespace relay::cli
