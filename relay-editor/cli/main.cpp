// relay-cli: the relay controller's program model without a window.
#include <CLI/CLI.hpp>

#include <iostream>

#include "cli_support.h"
#include "device_commands.h"
#include "interrupt_signals.h"
#include "model_commands.h"
#include "version/Version.h"

int main(int argc, char** argv) {
  CLI::App app{
      "relay-cli: encode, describe, list and optimise the relay controller's program, and write, "
      "verify, read, erase or restart the controller"};
  // At most one command; an unknown word then reads "not expected" and names
  // itself, and no command at all is checked below.
  app.require_subcommand(0, 1);
  app.set_version_flag("--version", relay::version::VersionLine("relay-cli"));

  relay::cli::Streams streams{std::cout, std::cerr};
  relay::cli::AddModelCommands(app, streams);
  relay::cli::AddDeviceCommands(app, streams);

  try {
    app.parse(argc, argv);
    if (app.get_subcommands().empty()) throw CLI::RequiredError("A command (subcommand)");
  } catch (const CLI::ParseError& e) {
    // Help is a "parse error" with exit code 0.
    return app.exit(e) == 0 ? relay::cli::kExitOk : relay::cli::kExitUsage;
  } catch (const relay::cli::Refused& e) {
    std::cout.flush();
    std::cerr << "relay-cli: " << e.what() << '\n';
    return relay::cli::kExitRefused;
  } catch (const relay::cli::Interrupted& e) {
    std::cout.flush();
    std::cerr << "\nrelay-cli: " << e.what() << '\n' << std::flush;
    relay::cli::EndBySignal(e.Signal());
  }
  return relay::cli::kExitOk;
}
