// Runs files (or every file in folders) through a fuzz target's entry point once each, so the
// committed corpus also runs as an ordinary test with any compiler. Exit status 0 when every input
// passed; a failing check aborts with its message.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size);

namespace {

void RunFile(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  const std::string Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(Bytes.data()), Bytes.size());
}

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc < 2) {
    std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", Argv[0]);
    return 2;
  }
  std::size_t Runs = 0;
  for (int I = 1; I < Argc; ++I) {
    const std::filesystem::path Arg = Argv[I];
    std::vector<std::filesystem::path> Files;
    if (std::filesystem::is_directory(Arg)) {
      for (const auto& E : std::filesystem::recursive_directory_iterator(Arg))
        if (E.is_regular_file()) Files.push_back(E.path());
    } else if (std::filesystem::is_regular_file(Arg)) {
      Files.push_back(Arg);
    } else {
      std::fprintf(stderr, "%s: no such file or folder\n", Argv[I]);
      return 2;
    }
    std::sort(Files.begin(), Files.end());
    for (const auto& F : Files) {
      RunFile(F);
      ++Runs;
    }
  }
  // An empty input is always worth a run.
  LLVMFuzzerTestOneInput(nullptr, 0);
  std::printf("%zu inputs replayed\n", Runs + 1);
  return 0;
}
