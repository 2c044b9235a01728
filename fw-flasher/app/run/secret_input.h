// Passwords for a project: typed at a prompt or read from a file, never taken
// from the command line.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace fw {

class SecretInput {
 public:
  virtual ~SecretInput() = default;
  // The text typed for `prompt`; empty optional when the input has ended.
  virtual std::optional<std::string> Ask(const std::string& prompt) = 0;
};

// Asks on the terminal without echo (a new password a second time, to
// confirm); when standard input is no terminal, reads one line from it per
// question.
class TerminalSecretInput final : public SecretInput {
 public:
  // confirm: a password being set is typed twice; a login once.
  explicit TerminalSecretInput(bool confirm = true) : confirm_(confirm) {}
  std::optional<std::string> Ask(const std::string& prompt) override;

 private:
  bool confirm_;
};

// The first line of a password file, without its line end; empty optional when
// the file cannot be read.
std::optional<std::string> ReadSecretFile(const std::filesystem::path& path);

}  // namespace fw
