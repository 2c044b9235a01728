// relay-sim: a simulated relay controller on a pseudo-terminal. Prints the path of the
// terminal to use as the serial port, then answers until SIGINT or SIGTERM.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "sim/RelaySim.h"
#include "version/Version.h"

namespace {

bool ParseHexBytes(const std::string& text, std::vector<std::uint8_t>& bytes) {
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c)))
      digits += c;
    else if (c != ' ' && c != ',')
      return false;
  }
  if (digits.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < digits.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"relay-sim: a simulated relay controller on a pseudo-terminal"};
  relay::sim::TRelaySimOptions options;
  int address = 255;
  std::string noise;
  std::string link;
  bool verbose = false;
  app.add_option("--address", address, "module address the controller answers to")
      ->check(CLI::Range(0, 255));
  app.add_option("--sector", options.sectorFile, "keep the 512-byte program sector in this file");
  app.add_option("--baud", options.baud, "pace the bytes like a line at this baud rate")
      ->check(CLI::Range(1, 4000000));
  app.add_option("--delay", options.delayMs, "answer this many ms late")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--split", options.splitPauseMs,
                 "send every answer in two chunks, this many ms apart")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--noise", noise, "hex bytes sent before every answer, e.g. \"00 13 7E\"");
  app.add_option("--corrupt", options.corruptAnswer, "give the n-th answer a wrong check byte")
      ->check(CLI::PositiveNumber);
  app.add_option("--silent-after", options.silentAfter, "stop answering after n answers")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--flip-byte", options.flipByte,
                 "store this sector byte (0-511) inverted, as a failing memory cell would")
      ->check(CLI::Range(0, 511));
  app.add_option("--link", link, "also make this symbolic link to the terminal");
  app.add_flag("-v,--verbose", verbose, "print every frame received and sent on stderr");
  app.set_version_flag("--version", relay::version::VersionLine("relay-sim"));
  CLI11_PARSE(app, argc, argv);

  options.address = static_cast<std::uint8_t>(address);
  if (!ParseHexBytes(noise, options.noise)) {
    std::cerr << "relay-sim: --noise takes hex bytes such as \"00 13 7E\"\n";
    return 2;
  }
  if (verbose) options.log = &std::cerr;

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
  if (signalFd < 0) {
    std::perror("relay-sim: signalfd");
    return 1;
  }

  try {
    relay::sim::TRelaySimulator sim(options);
    if (!link.empty()) {
      std::error_code ec;
      std::filesystem::remove(link, ec);
      std::filesystem::create_symlink(sim.SlavePath(), link);
    }
    std::cout << sim.SlavePath() << std::endl;
    sim.Run(signalFd);
    if (!link.empty()) {
      std::error_code ec;
      std::filesystem::remove(link, ec);
    }
  } catch (const std::exception& e) {
    std::cerr << "relay-sim: " << e.what() << '\n';
    close(signalFd);
    return 1;
  }
  close(signalFd);
  return 0;
}
