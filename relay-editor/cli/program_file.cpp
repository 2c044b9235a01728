#include "program_file.h"

#include <ostream>

#include "device/DeviceImage.h"
#include "device/ProgramCheck.h"
#include "model/Instruction.h"
#include "model/Optimiser.h"
#include "model/ProjectFile.h"

namespace relay::cli {

model::ProgramList LoadProgram(const std::string& path) {
  model::ProgramList list;
  const model::FileResult result = model::LoadProjectFile(path, list);
  if (!result) throw Refused(result.message);
  if (const auto bad = device::FirstEntryNotHexText(list.HexTexts()))
    throw Refused(path + " 第 " + std::to_string(*bad + 1) +
                  " 行不是指令的十六进制数据（每个字节两位十六进制数字，字节之间一个空格），"
                  "这个文件不是指令程序");
  return list;
}

namespace {

// Loaded, trimmed and optimised as asked, and within the sector capacity.
model::ProgramList PrepareProgram(const std::string& path, bool optimise, bool trim,
                                  std::ostream& notes) {
  model::ProgramList list = LoadProgram(path);
  // Trimmed first and optimised after, in the editor's order: the trim question comes
  // when the file is loaded, the optimiser runs when the program is written.
  const int loaded = list.Renumber();
  if (trim && loaded > model::kSectorCapacity) {
    const std::size_t before = list.Size();
    list.TrimToCapacity();
    notes << "--trim：删除了超出扇区容量的第 " << list.Size() + 1 << " 到第 " << before
          << " 条指令（" << before - list.Size() << " 条，" << loaded - list.Total()
          << " 字节），清单现为 " << list.Total() << " / " << model::kSectorCapacity << " 字节\n";
  }
  if (optimise) model::Optimise(list);
  const int total = list.Renumber();
  if (total > model::kSectorCapacity)
    throw Refused(path + " 的清单共 " + std::to_string(total) + " 字节，超出扇区容量 " +
                  std::to_string(model::kSectorCapacity) +
                  " 字节；用 --trim 删除末尾放不下的指令后再写入");
  return list;
}

}  // namespace

model::ProgramList LoadProgramToWrite(const std::string& path, bool optimise, bool trim,
                                      std::ostream& notes) {
  model::ProgramList list = PrepareProgram(path, optimise, trim, notes);
  if (const auto problem = device::FirstProgramProblem(list.HexTexts()))
    throw Refused(path + "：" + device::ProblemMessage(*problem));
  return list;
}

model::ProgramList LoadProgramToCompare(const std::string& path, bool optimise, bool trim,
                                        std::ostream& notes) {
  model::ProgramList list = PrepareProgram(path, optimise, trim, notes);
  for (const device::EntryProblem& problem : device::ProgramProblems(list.HexTexts()))
    notes << "警告：" << path << " 第 " << problem.index + 1 << " 条指令写入时会被拒绝："
          << device::ProblemSummary(problem) << '\n';
  return list;
}

}  // namespace relay::cli
