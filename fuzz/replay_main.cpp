// Runs a fuzz target over every file of the corpus folders given, once each:
// what CI does with the seed corpora (under AddressSanitizer in `make asan`),
// without libFuzzer. Exits non-zero when a folder is missing or empty; a
// crash or sanitizer report ends the run as it would the fuzzer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  size_t inputs = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(argv[i], ec))
      if (e.is_regular_file()) files.push_back(e.path());
    if (ec || files.empty()) {
      std::fprintf(stderr, "no corpus in %s\n", argv[i]);
      return 2;
    }
    for (const auto& f : files) {
      std::ifstream in(f, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), {});
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++inputs;
    }
  }
  std::printf("%zu inputs replayed\n", inputs);
  return 0;
}
