// Tests of engine file names on a case-sensitive file system.
#include "platform/os/path.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/os/os_error.h"
#include "platform/os/system.h"

namespace {

TEST(FileName, NormalizingTurnsBackslashesIntoSlashesAndTrimsBlanks) {
  EXPECT_EQ(platform::NormalizeFileName("  data\\Kazu.DAT \t"), "data/Kazu.DAT");
  EXPECT_EQ(platform::NormalizeFileName("a b\\c d"), "a b/c d") << "inner blanks stay";
}

TEST(FileName, ComparisonIgnoresCaseBlanksAndSeparatorsButNotOtherBytes) {
  EXPECT_TRUE(platform::SameFileName(" DATA\\KAZU.dat", "data/kazu.DAT"));
  EXPECT_TRUE(platform::SameFileName("ÄÖÜ.dat", "äöü.DAT"));
  EXPECT_TRUE(platform::SameFileName("ＡＢ.dat", "ａｂ.dat"));
  EXPECT_TRUE(platform::SameFileName("ДАННЫЕ", "данные"));
  EXPECT_FALSE(platform::SameFileName("kazu1.dat", "kazu2.dat"));
  EXPECT_FALSE(platform::SameFileName("データ.dat", "デ-タ.dat"));
  // Malformed UTF-8 compares by its bytes and never reads past the end.
  EXPECT_FALSE(platform::SameFileName("a\xC3", "a\xC4"));
  EXPECT_TRUE(platform::SameFileName("A\xE3\x81", "a\xE3\x81"));
}

TEST(FileName, PartsOfANormalizedName) {
  EXPECT_EQ(platform::FileDirectory("/tmp/x/kazu.dat"), "/tmp/x");
  EXPECT_EQ(platform::FileDirectory("/kazu.dat"), "/");
  EXPECT_EQ(platform::FileDirectory("kazu.dat"), "");
  EXPECT_EQ(platform::FileBaseName("/tmp/x/kazu.dat"), "kazu.dat");
  EXPECT_EQ(platform::IncludeTrailingSeparator("/tmp"), "/tmp/");
  EXPECT_EQ(platform::IncludeTrailingSeparator("C\\tmp\\"), "C\\tmp\\");
  EXPECT_EQ(platform::IncludeTrailingSeparator(""), "");
}

TEST(FileName, ResolvingFindsTheOnDiskSpellingOfEveryComponent) {
  std::string dir = platform::TempDirectory() + "pebrio-path-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  std::filesystem::create_directory(dir + "/Data");
  std::ofstream(dir + "/Data/Kazu.DAT") << "x";
  std::ofstream(dir + "/Data/kazu.dat") << "y";

  EXPECT_EQ(platform::ResolveFileName(dir + "\\DATA\\KAZU.DAT"), dir + "/Data/Kazu.DAT")
      << "of two matches the first in byte order";
  EXPECT_EQ(platform::ResolveFileName(dir + "/data/kazu.dat"), dir + "/Data/kazu.dat")
      << "an exact spelling wins";
  EXPECT_EQ(platform::ResolveFileName(dir + "/data/New.DAT"), dir + "/Data/New.DAT")
      << "a missing file keeps its spelling in the real directory";
  EXPECT_EQ(platform::ResolveFileName(dir + "/nothere/X.dat"), dir + "/nothere/X.dat");

  errno = EBUSY;
  platform::ResolveFileName(dir + "/DATA/none");
  EXPECT_EQ(platform::LastOsError(), EBUSY) << "resolving keeps the last OS error";
  std::filesystem::remove_all(dir);
}

}  // namespace
