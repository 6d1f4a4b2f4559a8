// fuzz-seeds OUT BOARD...: writes OUT/HARNESS/NAME, the seed of each
// harness made from each board file (NAME is the file's name without .yaml).
#include <filesystem>
#include <fstream>
#include <iostream>

#include "BoardFile.h"
#include "Harnesses.h"

namespace {
using Seeder = std::vector<uint8_t> (*)(const boardboot::BoardDescription&);
struct Harness {
  const char* name;
  Seeder seed;
};
constexpr Harness kHarnesses[] = {{"WarningLog", fuzz::WarningLogSeed},
                                  {"Variables", fuzz::VariablesSeed},
                                  {"BmcAnswers", fuzz::BmcAnswersSeed},
                                  {"HobList", fuzz::HobListSeed}};
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: fuzz-seeds OUT BOARD...\n";
    return 1;
  }
  const std::filesystem::path out = argv[1];
  try {
    for (int i = 2; i < argc; ++i) {
      const std::filesystem::path boardFile = argv[i];
      const boardboot::BoardDescription description = boardboot::LoadBoardFile(boardFile.string());
      for (const auto& harness : kHarnesses) {
        const std::vector<uint8_t> seed = harness.seed(description);
        std::filesystem::create_directories(out / harness.name);
        std::ofstream file(out / harness.name / boardFile.stem(), std::ios::binary);
        file.write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
        if (!file) throw std::runtime_error("cannot write " + (out / harness.name / boardFile.stem()).string());
      }
    }
  } catch (const std::exception& error) {
    std::cerr << "fuzz-seeds: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
