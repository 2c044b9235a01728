#include "device_commands.h"

#include <algorithm>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "device/DeviceImage.h"
#include "device/Frames.h"
#include "device_session.h"
#include "model/HexText.h"
#include "model/ProjectFile.h"
#include "model/WholeFile.h"
#include "program_file.h"

namespace relay::cli {
namespace {

using device::TDeviceCommand;

constexpr int kBlockBytes = device::kSectorBytes / device::kBlockCount;

void AddPortOptions(CLI::App* command, PortOptions& o) {
  command->add_option("--port", o.port, "serial port: a path, a name under /dev, or COMn")
      ->required();
  command->add_option("--baud", o.baud, "baud rate (default 9600)")->check(CLI::Range(1, 4000000));
  command->add_option("--address", o.address, "module address 0 to 255 (default 255)")
      ->check(CLI::Range(0, 255));
  command->add_option("--timeout", o.timeoutMs, "ms to wait for each answer (default 2000)")
      ->check(CLI::Range(1, 600000));
}

struct ProgramOptions {
  std::string file;
  bool optimise = false;
  bool trim = false;
};

void AddProgramOptions(CLI::App* command, ProgramOptions& o) {
  command->add_option("FILE", o.file, "project file (.vyl)")->required();
  command->add_flag("--optimise", o.optimise, "optimise the program before writing");
  command->add_flag("--trim", o.trim,
                    "leave out the entries at the end that do not fit into the 512-byte sector");
}

std::string HexByte(std::uint8_t byte) { return model::BytesToHexText(std::span(&byte, 1)); }

// Reads the sector back and compares it byte for byte with the image that was (or
// would be) written. Comparing entries would not do: the walk over a read sector stops
// at the first kind byte FF, so a program with a filler inside reads back shorter.
void VerifySector(DeviceSession& session, const std::string& writtenImage, Streams& streams) {
  session.Run(TDeviceCommand::Read, &device::TDeviceOperations::ReadFromDevice);
  const std::vector<std::uint8_t> written = model::HexTextToBytes(writtenImage);
  const std::vector<std::uint8_t> read = model::HexTextToBytes(session.Operations().DeviceImage());
  const auto [w, r] = std::mismatch(written.begin(), written.end(), read.begin(), read.end());
  if (w == written.end() && r == read.end()) {
    streams.err << "校验通过：扇区 " << read.size() << " 字节与写入的数据一致\n";
    return;
  }
  const auto offset = static_cast<std::size_t>(w - written.begin());
  std::string detail = "扇区第 " + std::to_string(offset) + " 字节";
  if (w != written.end() && r != read.end())
    detail += "写入 " + HexByte(*w) + "，读回 " + HexByte(*r);
  throw Refused("校验失败：第 " + std::to_string(offset / kBlockBytes + 1) + " 块不同（" + detail +
                "）");
}

std::size_t EntriesWithBytes(const model::ProgramList& list) {
  return static_cast<std::size_t>(
      std::count_if(list.Entries().begin(), list.Entries().end(),
                    [](const model::ProgramEntry& e) { return model::ByteCount(e.hexText) > 0; }));
}

void WriteRawSector(const std::string& path, const std::string& image) {
  const std::vector<std::uint8_t> bytes = model::HexTextToBytes(image);
  const model::WriteResult written = model::WriteFileWhole(
      path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  if (!written) throw Refused(written.message);
}

void AddWriteCommand(CLI::App& app, Streams& streams) {
  struct Options {
    PortOptions port;
    ProgramOptions program;
    bool restart = false;
    bool verify = false;
  };
  auto o = std::make_shared<Options>();
  CLI::App* write =
      app.add_subcommand("write", "Write a project file's program into the controller");
  AddProgramOptions(write, o->program);
  write->add_flag("--verify", o->verify, "read the sector back and compare it byte for byte");
  write->add_flag("--restart", o->restart, "restart the controller after writing");
  AddPortOptions(write, o->port);
  write->callback([o, &streams] {
    const model::ProgramList program =
        LoadProgramToWrite(o->program.file, o->program.optimise, o->program.trim, streams.err);
    // With --verify the controller restarts only once the sector has been read back.
    DeviceSession session(o->port, streams, o->restart && !o->verify);
    session.List().AppendAll(program.HexTexts());
    session.Run(TDeviceCommand::Write, &device::TDeviceOperations::WriteAll);
    streams.err << "已写入 " << EntriesWithBytes(session.List()) << " 条指令（"
                << session.List().Total() << " 字节）\n";
    if (!o->verify) return;
    const std::string written = session.Operations().DeviceImage();
    VerifySector(session, written, streams);
    if (o->restart) {
      session.Run(TDeviceCommand::Restart, &device::TDeviceOperations::Restart);
      streams.err << "已发送重启命令\n";
    }
  });
}

void AddVerifyCommand(CLI::App& app, Streams& streams) {
  struct Options {
    PortOptions port;
    ProgramOptions program;
  };
  auto o = std::make_shared<Options>();
  CLI::App* verify = app.add_subcommand(
      "verify", "Compare the controller's sector with the image a write of the file sends");
  AddProgramOptions(verify, o->program);
  AddPortOptions(verify, o->port);
  verify->callback([o, &streams] {
    const model::ProgramList program =
        LoadProgramToCompare(o->program.file, o->program.optimise, o->program.trim, streams.err);
    if (program.Empty()) throw Refused(device::texts::kNoInstructions);
    DeviceSession session(o->port, streams, false);
    VerifySector(session, device::BuildDeviceImage(program.HexTexts()), streams);
  });
}

void AddReadCommand(CLI::App& app, Streams& streams) {
  struct Options {
    PortOptions port;
    std::string file;
    std::string image;
  };
  auto o = std::make_shared<Options>();
  CLI::App* read = app.add_subcommand("read", "Read the controller's program into a project file");
  read->add_option("-o,--output", o->file, "project file to write (.vyl)");
  read->add_option("--image", o->image, "file to receive the raw 512 sector bytes");
  AddPortOptions(read, o->port);
  read->callback([o, &streams] {
    if (o->file.empty() && o->image.empty()) throw CLI::RequiredError("-o,--output or --image");
    DeviceSession session(o->port, streams, false);
    session.Run(TDeviceCommand::Read, &device::TDeviceOperations::ReadFromDevice);
    if (!o->image.empty()) {
      WriteRawSector(o->image, session.Operations().DeviceImage());
      streams.err << "已读取扇区 " << device::kSectorBytes << " 字节到 " << o->image << '\n';
    }
    if (!o->file.empty()) {
      const model::FileResult result = model::SaveProjectFile(o->file, session.List());
      if (!result) throw Refused(result.message);
      streams.err << "已读取 " << session.List().Size() << " 条指令到 " << o->file << '\n';
    }
  });
}

void AddEraseCommand(CLI::App& app, Streams& streams) {
  struct Options {
    PortOptions port;
    bool restart = false;
  };
  auto o = std::make_shared<Options>();
  CLI::App* erase = app.add_subcommand("erase", "Erase the controller's program sector");
  erase->add_flag("--restart", o->restart, "restart the controller after erasing");
  AddPortOptions(erase, o->port);
  erase->callback([o, &streams] {
    DeviceSession session(o->port, streams, o->restart);
    session.Run(TDeviceCommand::Erase, &device::TDeviceOperations::EraseSector);
  });
}

void AddRestartCommand(CLI::App& app, Streams& streams) {
  auto o = std::make_shared<PortOptions>();
  CLI::App* restart = app.add_subcommand("restart", "Restart the controller");
  AddPortOptions(restart, *o);
  restart->callback([o, &streams] {
    DeviceSession session(*o, streams, false);
    session.Run(TDeviceCommand::Restart, &device::TDeviceOperations::Restart);
    streams.err << "已发送重启命令\n";
  });
}

}  // namespace

void AddDeviceCommands(CLI::App& app, Streams& streams) {
  AddWriteCommand(app, streams);
  AddVerifyCommand(app, streams);
  AddReadCommand(app, streams);
  AddEraseCommand(app, streams);
  AddRestartCommand(app, streams);
}

}  // namespace relay::cli
