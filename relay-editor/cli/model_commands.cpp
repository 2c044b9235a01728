#include "model_commands.h"

#include <memory>
#include <string>
#include <vector>

#include "device/ProgramCheck.h"
#include "model/Encoders.h"
#include "model/ListingText.h"
#include "model/Optimiser.h"
#include "model/ProgramList.h"
#include "model/ProjectFile.h"
#include "program_file.h"

namespace relay::cli {
namespace {

void PrintEncoded(const model::Encoded& encoded, Streams& streams) {
  if (!encoded.ok()) throw Refused(encoded.message);
  streams.out << encoded.hexText << '\n';
}

void AddEncodeCommands(CLI::App& app, Streams& streams) {
  CLI::App* encode = app.add_subcommand("encode", "Print the hex text of an Instruction");
  encode->require_subcommand(0, 1);
  encode->callback([encode] {
    if (encode->get_subcommands().empty())
      throw CLI::RequiredError("encode io|timer|loop|trigger (subcommand)");
  });

  struct Options {
    std::string action, channels, delay, count, pattern, hold = "0", outputMode = "0", output;
    bool hex = false;
  };
  // The callbacks run during parsing, while `app` (and so this) is alive.
  auto options = std::make_shared<Options>();

  CLI::App* io = encode->add_subcommand("io", "IO action: switch channels");
  io->add_option("--action", options->action, "open, close or toggle");
  io->add_option("--channels", options->channels, "channels 1 to 16, for example 1,16 or 1-4");
  io->callback([options, &streams] {
    model::IoActionFields fields;
    fields.action = ParseAction(options->action);
    fields.channels = ParseChannels(options->channels);
    PrintEncoded(model::EncodeIoAction(fields), streams);
  });

  CLI::App* timer = encode->add_subcommand("timer", "Timer: wait");
  timer->add_option("--delay", options->delay, "delay in units of 100 ms, 0 to 65535")->required();
  timer->callback([options, &streams] {
    const int delay = ParseNumber(options->delay, 0, 65535, "定时器的值");
    PrintEncoded(model::EncodeTimer({delay}), streams);
  });

  CLI::App* loop = encode->add_subcommand("loop", "Loop: repeat the program");
  loop->add_option("--count", options->count, "0 = stop, 1 to 65534 times, 65535 = for ever")
      ->required();
  loop->callback([options, &streams] {
    const int count = ParseNumber(options->count, 0, 65535, "循环次数");
    PrintEncoded(model::EncodeLoop({count}), streams);
  });

  CLI::App* trigger =
      encode->add_subcommand("trigger", "Serial trigger: react to bytes on the serial port");
  trigger->add_option("--action", options->action, "open, close or toggle");
  trigger->add_option("--channels", options->channels, "channels 1 to 16");
  trigger->add_option("--pattern", options->pattern,
                      "the received pattern (text, or hex bytes with --hex)");
  trigger->add_flag("--hex", options->hex, "the pattern is given as hex bytes");
  trigger->add_option("--hold", options->hold,
                      "hold time in units of 100 ms, 0 (for ever) to 4095");
  trigger->add_option("--output-mode", options->outputMode,
                      "0 no output, 1 same code, 2 hex output, 3 text output");
  trigger->add_option("--output", options->output,
                      "the answer: hex bytes in mode 2, text in mode 3");
  trigger->callback([options, trigger, &streams] {
    model::SerialTriggerFields fields;
    fields.action = ParseAction(options->action);
    fields.channels = ParseChannels(options->channels);
    fields.pattern = options->pattern;
    fields.patternIsHex = options->hex;
    fields.hold = options->hold;
    fields.outputMode = ParseNumber(options->outputMode, 0, 3, "串口输出方式");
    if (trigger->count("--output") > 0 && fields.outputMode != model::kOutputHex &&
        fields.outputMode != model::kOutputAscii)
      throw Refused("--output 只用于 --output-mode 2（HEX输出）或 3（ASCII输出）");
    fields.output = options->output;
    PrintEncoded(model::EncodeSerialTrigger(fields), streams);
  });
}

void AddDescribeCommand(CLI::App& app, Streams& streams) {
  auto bytes = std::make_shared<std::vector<std::string>>();
  CLI::App* describe = app.add_subcommand("describe", "Print the listing text of a hex text");
  describe->add_option("HEXTEXT", *bytes, "the hex text, quoted or as separate bytes")->required();
  describe->callback([bytes, &streams] {
    std::string text;
    for (const std::string& piece : *bytes) text += (text.empty() ? "" : " ") + piece;
    const std::string listing = model::ListingText(text);
    if (listing.empty()) throw Refused("'" + text + "' 不是可识别的指令");
    streams.out << listing << '\n';
  });
}

void AddListCommand(CLI::App& app, Streams& streams) {
  auto path = std::make_shared<std::string>();
  CLI::App* list =
      app.add_subcommand("list", "Print the entries of a project file and its capacity caption");
  list->add_option("FILE", *path, "project file (.vyl)")->required();
  list->callback([path, &streams] {
    const model::ProgramList program = LoadProgram(*path);
    // An entry that a write would refuse gets a fourth column saying why.
    const std::vector<device::EntryProblem> problems = device::ProgramProblems(program.HexTexts());
    auto problem = problems.begin();
    for (std::size_t i = 0; i < program.Size(); ++i) {
      const model::ProgramEntry& entry = program.Entries()[i];
      streams.out << entry.position << '\t' << entry.listingText << '\t' << entry.hexText;
      if (problem != problems.end() && problem->index == i)
        streams.out << "\t不能写入：" << device::ProblemSummary(*problem++);
      streams.out << '\n';
    }
    streams.out << program.CapacityCaption() << '\n';
  });
}

void AddOptimiseCommand(CLI::App& app, Streams& streams) {
  struct Paths {
    std::string in, out;
  };
  auto paths = std::make_shared<Paths>();
  CLI::App* optimise = app.add_subcommand("optimise", "Optimise the program of a project file");
  optimise->add_option("FILE", paths->in, "project file (.vyl)")->required();
  optimise->add_option("-o,--output", paths->out,
                       "where to write the result (default: FILE itself)");
  optimise->callback([paths, &streams] {
    model::ProgramList program = LoadProgram(paths->in);
    model::Optimise(program);
    const model::FileResult result =
        model::SaveProjectFile(paths->out.empty() ? paths->in : paths->out, program);
    if (!result) throw Refused(result.message);
    (void)streams;
  });
}

}  // namespace

void AddModelCommands(CLI::App& app, Streams& streams) {
  AddEncodeCommands(app, streams);
  AddDescribeCommand(app, streams);
  AddListCommand(app, streams);
  AddOptimiseCommand(app, streams);
}

}  // namespace relay::cli
