// fw-pack: makes a flasher for one product from a project description (JSON)
// and its images, or shows what a flasher or project block carries.
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "app/project/project_embedding.h"
#include "app/project/project_loader.h"
#include "app/project/project_parser.h"
#include "messages/message_table.h"
#include "pack/output_files.h"
#include "pack/project_from_json.h"
#include "pack/project_to_json.h"
#include "pack/project_writer.h"
#include "target/chips/chip_table.h"
#include "version/version.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
constexpr mode_t kFlasherMode = 0755;
constexpr mode_t kBlockMode = 0644;

int Refuse(const std::string& what) {
  std::cerr << "fw-pack: " << what << "\n";
  return kExitRefused;
}

// The message a flasher would show, on one line.
std::string OneLine(const char* text) {
  std::string line;
  for (const char* c = text; c != nullptr && *c != '\0'; ++c) {
    if (*c == '\r') continue;
    line += *c == '\n' ? ' ' : *c;
  }
  return line;
}

int Show(const std::string& file) {
  const fw::ProjectLoadResult loaded = fw::LoadProjectFile(file);
  if (!loaded.project)
    return Refuse(file + ": " + OneLine(fw::GetText(loaded.message_id, fw::kLanguageEnglish)) +
                  " (" + loaded.reason + ")");
  std::cout << fw::ProjectToJson(*loaded.project).dump(2) << "\n";
  return 0;
}

struct PackOptions {
  std::string description;
  std::string flasher;
  std::string flasher_template;
  std::string block;
  bool plain = false;
};

int WriteFlasher(const PackOptions& options, const std::vector<std::uint8_t>& stored) {
  const std::filesystem::path program = options.flasher_template.empty()
                                            ? fw::DefaultFlasherTemplate()
                                            : std::filesystem::path(options.flasher_template);
  if (program.empty()) return Refuse("no fw-flash beside fw-pack; name one with --template");
  std::string error;
  const auto bytes = fw::ReadWholeFile(program, error);
  if (!bytes) return Refuse("--template: " + error);
  const auto bare = fw::ProgramWithoutProject(*bytes, error);
  if (!bare) return Refuse("--template: " + program.string() + ": " + error);
  error = fw::WriteFileReplacing(options.flasher, fw::AppendProject(*bare, stored), kFlasherMode);
  if (!error.empty()) return Refuse(error);
  std::cout << "wrote " << options.flasher << " (" << program.string() << " with " << stored.size()
            << " bytes of project data)\n";
  return 0;
}

int Pack(const PackOptions& options) {
  fw::TerminalSecretInput secrets;
  fw::ProjectDescription description;
  try {
    description = fw::ReadProjectDescription(options.description, secrets);
  } catch (const fw::FieldError& e) {
    return Refuse(e.what());
  }
  for (const std::string& warning : description.warnings)
    std::cerr << "fw-pack: warning: " << warning << "\n";

  const std::vector<std::uint8_t> container = fw::WriteProjectContainer(description.project);
  // What fw-pack writes, the flasher must read back.
  const fw::ProjectParseResult check = fw::ParseProjectContainer(container);
  if (!check.project)
    return Refuse("the project data written does not read back: " + check.refusal);
  const std::vector<std::uint8_t> stored = fw::ScrambleContainer(container);

  if (!options.block.empty()) {
    const std::string error =
        fw::WriteFileReplacing(options.block, options.plain ? container : stored, kBlockMode);
    if (!error.empty()) return Refuse(error);
    std::cout << "wrote " << options.block << " (" << container.size() << " bytes, "
              << (options.plain ? "unscrambled" : "scrambled") << ")\n";
  }
  if (!options.flasher.empty()) return WriteFlasher(options, stored);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Makes a flasher for one product from a project description (JSON) and its images,\n"
      "or shows what a flasher or project block carries."};
  app.set_version_flag("--version", fw::version::VersionLine("fw-pack"));
  PackOptions options;
  std::string show;
  auto* description = app.add_option("project", options.description, "Project description (JSON)")
                          ->check(CLI::ExistingFile);
  auto* output =
      app.add_option("-o,--output", options.flasher, "Write a flasher program to this file");
  auto* from = app.add_option("--template", options.flasher_template,
                              "Flasher program to copy (default: fw-flash beside fw-pack)")
                   ->check(CLI::ExistingFile);
  auto* block =
      app.add_option("--block", options.block, "Write the bare project block to this file");
  auto* plain = app.add_flag("--plain", options.plain, "Write the block unscrambled");
  auto* show_option =
      app.add_option("--show", show, "Print what a flasher or block carries, as project JSON")
          ->check(CLI::ExistingFile);
  from->needs(output);
  plain->needs(block);
  show_option->excludes(description)->excludes(output)->excludes(block);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kExitUsage;
  }

  if (!show.empty()) return Show(show);
  if (options.description.empty() || (options.flasher.empty() && options.block.empty())) {
    std::cerr << "fw-pack: give a project description and -o FLASHER or --block FILE, "
                 "or --show FILE\n"
              << app.help();
    return kExitUsage;
  }
  return Pack(options);
}
