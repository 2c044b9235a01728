#include "device/ProgramCheck.h"

#include "model/HexText.h"
#include "model/Instruction.h"

namespace relay::device {

namespace {

constexpr const char* kNothingWritten = "没有写入任何数据！";

std::optional<EntryProblem> CheckOwnBytes(std::size_t index, const std::string& text) {
  if (!model::IsHexText(text)) return EntryProblem{index, EntryFault::NotHexText, {}};
  if (model::IsFiller(text)) return std::nullopt;  // judged by its place in the program
  const model::EntryWalk walk = model::WalkEntry(model::HexTextToBytes(text));
  switch (walk.end) {
    case model::WalkEnd::Whole:
      return std::nullopt;
    case model::WalkEnd::Cut:
      return EntryProblem{index, EntryFault::Cut, walk};
    case model::WalkEnd::EndInside:
      return EntryProblem{index, EntryFault::EndInside, walk};
  }
  return std::nullopt;
}

std::string Position(const EntryProblem& problem) { return std::to_string(problem.index + 1); }

}  // namespace

std::vector<EntryProblem> ProgramProblems(const std::vector<std::string>& hexTexts) {
  std::vector<EntryProblem> problems;
  // A filler ends the program where it stands; harmless only after the last
  // entry that holds an Instruction.
  std::optional<std::size_t> lastInstruction;
  for (std::size_t i = 0; i < hexTexts.size(); ++i)
    if (!model::IsFiller(hexTexts[i]) && model::ByteCount(hexTexts[i]) > 0) lastInstruction = i;
  for (std::size_t i = 0; i < hexTexts.size(); ++i) {
    if (model::IsFiller(hexTexts[i])) {
      if (lastInstruction && i < *lastInstruction)
        problems.push_back({i, EntryFault::FillerBeforeEnd, {}});
      continue;
    }
    if (auto problem = CheckOwnBytes(i, hexTexts[i])) problems.push_back(*problem);
  }
  return problems;
}

std::optional<EntryProblem> FirstProgramProblem(const std::vector<std::string>& hexTexts) {
  std::vector<EntryProblem> problems = ProgramProblems(hexTexts);
  if (problems.empty()) return std::nullopt;
  return problems.front();
}

std::string ProblemSummary(const EntryProblem& problem) {
  const model::EntryWalk& walk = problem.walk;
  switch (problem.fault) {
    case EntryFault::NotHexText:
      return "不是有效的十六进制数据（每个字节两位十六进制数字，字节之间一个空格）";
    case EntryFault::Cut:
      if (walk.needed == 0)
        return "字节数与指令种类不符：第 " + std::to_string(walk.offset + 1) +
               " 个字节起的串口类指令缺少长度字节";
      return "字节数与指令种类不符：第 " + std::to_string(walk.offset + 1) +
             " 个字节起的指令应有 " + std::to_string(walk.needed) + " 个字节";
    case EntryFault::EndInside:
      return "第 " + std::to_string(walk.offset + 1) +
             " 个字节是 FF，控制器读到 FF 就认为程序到此结束";
    case EntryFault::FillerBeforeEnd:
      return "无效指令（FF 填充）在最后一条指令之前，控制器读到它就认为程序到此结束";
  }
  return {};
}

std::string ProblemMessage(const EntryProblem& problem) {
  const std::string entry = "第 " + Position(problem) + " 条指令";
  switch (problem.fault) {
    case EntryFault::NotHexText:
      return entry + ProblemSummary(problem) + "，写入会使后面的指令错位。" + kNothingWritten;
    case EntryFault::Cut:
      return entry + "的" + ProblemSummary(problem) + "，写入会使后面的指令错位。" +
             kNothingWritten;
    case EntryFault::EndInside:
      return entry + "的" + ProblemSummary(problem) + "，后面的指令不会执行。" + kNothingWritten;
    case EntryFault::FillerBeforeEnd:
      return "第 " + Position(problem) + " 条是" + ProblemSummary(problem) +
             "，后面的指令不会执行。“优化指令”会删除无效指令。" + kNothingWritten;
  }
  return {};
}

}  // namespace relay::device
