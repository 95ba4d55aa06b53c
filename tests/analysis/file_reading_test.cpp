// Model files read whole as UTF-8 text, and the wording of the file functions'
// failures.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "analysis/driver.hpp"
#include "support/model_text.hpp"

namespace velk {
namespace {

// A file in a fresh temporary folder, removed with the folder.
class TempFile {
 public:
  explicit TempFile(const std::string& contents) {
    std::string pattern = (std::filesystem::temp_directory_path() / "velk-test-XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    path_ = folder_ + "/model.json";
    std::ofstream(path_, std::ios::binary) << contents;
  }
  ~TempFile() { std::filesystem::remove_all(folder_); }
  const std::string& path() const { return path_; }
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
  std::string path_;
};

TEST(ReadTextFile, GivesTheTextOrTheReasonItCannot) {
  const std::string text = "{\"name\":\"Tr\xC3\xA4ger \xE2\x86\x92 \xF0\x9F\x8F\x97\"}";
  const TempFile file(text);
  EXPECT_EQ(read_text_file(file.path()), text);

  EXPECT_EQ(read_text_file(file.folder() + "/absent.json").error(), "No such file or directory");
  EXPECT_EQ(read_text_file(file.folder()).error(), "Is a directory");
  EXPECT_EQ(read_text_file(file.path() + "/inside").error(), "Not a directory");
  EXPECT_EQ(read_text_file(std::string("model\0.json", 11)).error(),
            "file name contained an unexpected NUL byte");

  const TempFile empty("");
  EXPECT_EQ(read_text_file(empty.path()), "");
}

TEST(ReadTextFile, RejectsBytesThatAreNotUtf8) {
  const std::string invalid[] = {
      "\xFF",              // never a UTF-8 byte
      "abc\x80",           // continuation without a lead
      "\xC3",              // truncated sequence
      "\xC0\xAF",          // overlong slash
      "\xE0\x80\xAF",      // overlong three-byte form
      "\xED\xA0\x80",      // surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xE2\x82x",         // bad continuation
  };
  for (const std::string& bytes : invalid) {
    const TempFile file(bytes);
    const auto text = read_text_file(file.path());
    ASSERT_FALSE(text.has_value()) << bytes;
    EXPECT_EQ(text.error(), "stream did not contain valid UTF-8");
  }
  const TempFile edges("\x7F\xC2\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF");
  EXPECT_TRUE(read_text_file(edges.path()).has_value());
}

TEST(FileFunctions, WordTheirFailures) {
  const TempFile file("\xFE{}");
  const std::string absent = file.folder() + "/absent.json";

  EXPECT_EQ(calculate_from_file(absent).error(),
            "Failed to read JSON file '" + absent + "': No such file or directory");
  EXPECT_EQ(calculate_from_file(file.path()).error(),
            "Failed to read JSON file '" + file.path() + "': stream did not contain valid UTF-8");
  EXPECT_EQ(load_velk_from_file(absent).error(), "No such file or directory");
  EXPECT_EQ(load_velk_from_file(file.path()).error(), "stream did not contain valid UTF-8");

  // Parse failures: the reader's message alone, or wrapped by the driver.
  const TempFile empty_object("{}");
  EXPECT_EQ(load_velk_from_file(empty_object.path()).error(),
            "missing field `member_sets` at line 1 column 2");
  EXPECT_EQ(calculate_from_file(empty_object.path()).error(),
            "Bad JSON input: missing field `member_sets` at line 1 column 2");
}

TEST(FileFunctions, LoadWritesTheModelBackWithoutNormalising) {
  test_support::ModelText model;
  model.unit_settings = "{\"lengthUnit\":\"mm\"}";
  const TempFile file(model.text());

  const auto loaded = load_velk_from_file(file.path());
  ASSERT_TRUE(loaded.has_value()) << loaded.error();
  EXPECT_NE(loaded->find("\"end_node\":{\"id\":2,\"X\":1000.0,"), std::string::npos) << *loaded;
  // One pass normalises the spelling; a second one changes nothing.
  const TempFile again(*loaded);
  EXPECT_EQ(load_velk_from_file(again.path()), *loaded);

  const auto analysed = calculate_from_file(file.path());
  ASSERT_TRUE(analysed.has_value()) << analysed.error();
  EXPECT_NE(analysed->find("\"end_node\":{\"id\":2,\"X\":1.0,"), std::string::npos) << *analysed;
}

}  // namespace
}  // namespace velk
