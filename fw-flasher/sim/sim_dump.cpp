#include "sim/sim_dump.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <span>

#include <nlohmann/json.hpp>

#include "sim/sim_text.h"

namespace fw::sim {
namespace {

nlohmann::json HexOrNull(const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty()) return nullptr;
  return HexText(bytes);
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
  const std::string temporary = path + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      error = temporary + ": cannot write";
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

std::string StateJson(const ChipMemory& memory, const std::string& chip_name, int line_rate) {
  nlohmann::json state;
  state["chip"] = chip_name;
  state["code_size"] = memory.flash.code_size();
  state["data_size"] = memory.flash.size() - memory.flash.code_size();
  state["downloads"] = memory.downloads;
  state["line_rate"] = line_rate;
  state["data_area"] = HexText(memory.flash.data_area());
  state["option_record"] = HexText(memory.options);
  state["option_write"] = HexOrNull(memory.option_write);
  state["user_key"] = HexOrNull(memory.user_key);
  nlohmann::json written = nlohmann::json::object();
  for (const auto& [position, byte] : memory.status_bytes) {
    written[std::to_string(position)] = HexByte(byte);
  }
  state["status_bytes"] = written;
  state["password"] = HexText(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(memory.password.data()), memory.password.size()));
  state["wrong_passwords"] = memory.wrong_passwords;
  state["locked"] = memory.locked;
  state["clock"] = memory.clock;
  state["trim"] = nullptr;
  if (memory.trim) {
    state["trim"] = {{"trim", memory.trim->trim},
                     {"range", memory.trim->range},
                     {"divider", memory.trim->divider},
                     {"locked_48mhz", memory.trim->locked_48mhz}};
  }
  return state.dump(2) + "\n";
}

}  // namespace fw::sim
