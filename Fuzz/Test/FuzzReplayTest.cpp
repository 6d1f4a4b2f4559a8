// Every seed of the corpus and every saved finding, run through its
// harness's checks in the ordinary builds (a broken promise aborts with its
// message, after the input's name).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "Harnesses.h"

namespace {

using Runner = void (*)(std::span<const uint8_t>);

size_t ReplayAll(const std::string& harness, Runner run) {
  size_t replayed = 0;
  for (const char* kind : {"Corpus", "Regressions"}) {
    const std::filesystem::path folder = std::filesystem::path(FUZZ_INPUT_DIR) / kind / harness;
    if (!std::filesystem::exists(folder)) continue;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
      std::ifstream in(file.path(), std::ios::binary);
      const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      std::cerr << "replaying " << file.path().string() << "\n";
      run(bytes);
      ++replayed;
    }
  }
  return replayed;
}

TEST(FuzzReplay, WarningLog) { EXPECT_GT(ReplayAll("WarningLog", fuzz::RunWarningLog), 0u); }
TEST(FuzzReplay, Variables) { EXPECT_GT(ReplayAll("Variables", fuzz::RunVariables), 0u); }
TEST(FuzzReplay, BmcAnswers) { EXPECT_GT(ReplayAll("BmcAnswers", fuzz::RunBmcAnswers), 0u); }
TEST(FuzzReplay, HobList) { EXPECT_GT(ReplayAll("HobList", fuzz::RunHobList), 0u); }

}  // namespace
