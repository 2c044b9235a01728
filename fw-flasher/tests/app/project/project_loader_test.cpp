// Finding the project behind a program or in a file given by the user: the
// trailer, its CRC, the scrambling, and the two start-up errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <random>

#include "app/project/project_embedding.h"
#include "app/project/project_loader.h"
#include "target/board/project_scramble.h"
#include "tests/support/container_builder.h"
#include "tests/support/temp_folder.h"

namespace fw {
namespace {

using test::Bytes;
using test::Container;
using test::Payload;

// The trailer written out by hand: magic, block length, CRC-32 of the block.
Bytes Trailer(const Bytes& stored, std::uint32_t length, std::uint32_t crc) {
  Bytes t = {'F', 'W', 'P', 'R', 'O', 'J', 0x1A, 0x01};
  for (int i = 0; i < 4; ++i) t.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
  for (int i = 0; i < 4; ++i) t.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
  (void)stored;
  return t;
}

std::uint32_t ZlibCrc(const Bytes& b) {
  return static_cast<std::uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size())));
}

Bytes Scrambled(Bytes b) {
  ScrambleProjectBytes(b.data(), b.size());
  return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

const Bytes kProgram = {0x7F, 'E', 'L', 'F', 2, 1, 1, 0, 0xAA, 0xBB};

Bytes SampleContainer() {
  return Container()
      .Record(21, Payload().U8(1))
      .Record(252, Payload().Text("CH").Text("Flasher"))
      .Record(255, Bytes{0x02, 0x00, 0x30})
      .bytes();
}

class ProjectLoaderTest : public test::TempFolderTest {
 protected:
  std::filesystem::path Write(const std::string& name, const Bytes& bytes) {
    return TempFolderTest::Write(name, std::string(bytes.begin(), bytes.end()));
  }
};

void ExpectProject(const ProjectLoadResult& r) {
  ASSERT_TRUE(r.project.has_value()) << r.message_id << " " << r.reason;
  EXPECT_TRUE(r.project->program_variant);
  EXPECT_EQ(r.project->String(1), "Flasher");
  EXPECT_EQ(r.project->code_block, (Bytes{0x02, 0x00, 0x30}));
}

void ExpectRefused(const ProjectLoadResult& r, int message_id) {
  EXPECT_FALSE(r.project.has_value());
  EXPECT_EQ(r.message_id, message_id) << r.reason;
  EXPECT_FALSE(r.reason.empty());
}

TEST_F(ProjectLoaderTest, ProgramWithItsProjectBehindIt) {
  const Bytes stored = Scrambled(SampleContainer());
  const Bytes file =
      Concat({kProgram, stored,
              Trailer(stored, static_cast<std::uint32_t>(stored.size()), ZlibCrc(stored))});
  ExpectProject(LoadProjectFromProgram(Write("flasher", file)));
  ExpectProject(LoadProjectFile(Write("flasher", file)));
}

TEST_F(ProjectLoaderTest, FlashersWithoutSoundProjectDataAreRefused) {
  const Bytes stored = Scrambled(SampleContainer());
  const auto length = static_cast<std::uint32_t>(stored.size());
  Bytes wrong_magic = SampleContainer();
  wrong_magic[2] = 'X';
  const Bytes stored_wrong_magic = Scrambled(wrong_magic);
  Bytes flipped = stored;
  flipped[5] ^= 0x40;

  struct Case {
    const char* name;
    Bytes file;
    int message;
  } cases[] = {
      {"no trailer", kProgram, kMsgFileVerificationFailed},
      {"empty file", {}, kMsgFileVerificationFailed},
      {"bad CRC", Concat({kProgram, flipped, Trailer(flipped, length, ZlibCrc(stored))}),
       kMsgFileVerificationFailed},
      {"length beyond the file", Concat({stored, Trailer(stored, length + 1000, ZlibCrc(stored))}),
       kMsgFileVerificationFailed},
      {"length near 4 GiB", Concat({stored, Trailer(stored, 0xFFFFFFF0, ZlibCrc(stored))}),
       kMsgFileVerificationFailed},
      {"wrong magic after unscrambling",
       Concat({kProgram, stored_wrong_magic,
               Trailer(stored_wrong_magic, length, ZlibCrc(stored_wrong_magic))}),
       kMsgFileDamaged},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ExpectRefused(LoadProjectFromProgram(Write("flasher", k.file)), k.message);
  }
  ExpectRefused(LoadProjectFromProgram(dir_ / "missing"), kMsgFileVerificationFailed);
}

TEST_F(ProjectLoaderTest, RefusedValuesEndTheProgramWithMessage4001) {
  const Bytes container = Container().Record(255, Bytes{0x02}).Record(253, Bytes(300, 1)).bytes();
  const Bytes stored = Scrambled(container);
  const Bytes file =
      Concat({kProgram, stored,
              Trailer(stored, static_cast<std::uint32_t>(stored.size()), ZlibCrc(stored))});
  ExpectRefused(LoadProjectFromProgram(Write("flasher", file)), kMsgFileDamaged);
}

TEST_F(ProjectLoaderTest, BareBlocksScrambledOrNot) {
  ExpectProject(LoadProjectFile(Write("plain.blk", SampleContainer())));
  ExpectProject(LoadProjectFile(Write("stored.blk", Scrambled(SampleContainer()))));
  ExpectRefused(LoadProjectFile(Write("other.blk", Bytes{1, 2, 3, 4, 5})), kMsgFileDamaged);
  ExpectRefused(LoadProjectFile(Write("empty.blk", Bytes{})), kMsgFileDamaged);
  ExpectRefused(LoadProjectFile(Write("program", kProgram)), kMsgFileVerificationFailed);
  ExpectRefused(LoadProjectFile(dir_ / "missing"), kMsgFileVerificationFailed);
}

TEST_F(ProjectLoaderTest, ABlockCutShortIsDamaged) {
  Bytes cut = SampleContainer();
  cut.resize(cut.size() - 2);  // inside the code block
  const Bytes stored = Scrambled(cut);
  for (const ProjectLoadResult& r :
       {LoadProjectFile(Write("plain.blk", cut)), LoadProjectFile(Write("stored.blk", stored)),
        LoadProjectFromProgram(
            Write("flasher", Concat({kProgram, stored,
                                     Trailer(stored, static_cast<std::uint32_t>(stored.size()),
                                             ZlibCrc(stored))})))}) {
    ExpectRefused(r, kMsgFileDamaged);
    EXPECT_NE(r.reason.find("declares 3 payload bytes, but only 1 follow"), std::string::npos)
        << r.reason;
  }
}

// A FIFO would hold the program until something writes into it, and a device
// may never end: only regular files are read.
TEST_F(ProjectLoaderTest, WhatIsNoRegularFileIsRefusedAtOnce) {
  const std::filesystem::path fifo = dir_ / "project.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(dir_ / "folder");
  for (const std::filesystem::path& path : {fifo, std::filesystem::path("/dev/null"),
                                            std::filesystem::path("/dev/zero"), dir_ / "folder"}) {
    SCOPED_TRACE(path.string());
    auto loading = std::async(std::launch::async, [path] { return LoadProjectFile(path); });
    if (loading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      // Let the reader go, so that the test ends.
      const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) ::close(writer);
      ADD_FAILURE() << "the loader waits on " << path;
    }
    const ProjectLoadResult r = loading.get();
    ExpectRefused(r, kMsgFileVerificationFailed);
    EXPECT_NE(r.reason.find("no regular file"), std::string::npos) << r.reason;
  }
}

TEST(ProjectScramblingTest, ScrambledFormNeverBeginsWithTheMagic) {
  // The loader tells a bare block's form by its first four bytes.
  std::mt19937 random(11);
  for (int i = 0; i < 50; ++i) {
    Bytes container = {'Q', 'M', 'V', 0};
    for (int n = 0; n < i; ++n) container.push_back(static_cast<std::uint8_t>(random()));
    const Bytes stored = ScrambleContainer(container);
    ASSERT_GE(stored.size(), 4u);
    EXPECT_FALSE(stored[0] == 'Q' && stored[1] == 'M' && stored[2] == 'V' && stored[3] == 0);
    EXPECT_EQ(UnscrambleContainer(stored), container);
  }
}

TEST(ProjectEmbeddingTest, AnEarlierProjectIsReplacedNotStacked) {
  const Bytes first = Scrambled(SampleContainer());
  const Bytes with_first = AppendProject(kProgram, first);
  EXPECT_EQ(with_first.size(), kProgram.size() + first.size() + 16);
  std::string error;
  const auto bare = ProgramWithoutProject(with_first, error);
  ASSERT_TRUE(bare.has_value()) << error;
  EXPECT_EQ(Bytes(bare->begin(), bare->end()), kProgram);

  const auto untouched = ProgramWithoutProject(kProgram, error);
  ASSERT_TRUE(untouched.has_value());
  EXPECT_EQ(untouched->size(), kProgram.size());

  Bytes damaged = with_first;
  damaged[damaged.size() - 6] = 0x7F;  // the length's high byte
  EXPECT_FALSE(ProgramWithoutProject(damaged, error).has_value());
  EXPECT_FALSE(error.empty());
}

TEST(ProjectLoaderOwnTest, ATestProgramCarriesNoProject) {
  ExpectRefused(LoadOwnProject(), kMsgFileVerificationFailed);
}

}  // namespace
}  // namespace fw
