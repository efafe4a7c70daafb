// Runs the fuzz target where libFuzzer is not available: every corpus file as
// is, then a fixed number of seeded mutations of each (bytes changed, inserted,
// removed, sizes set to edge values, the file cut), so a bounded run explores
// the same kind of damage a fuzzer would.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR [MUTATIONS_PER_FILE]\n", argv[0]);
    return 2;
  }
  const long perFile = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 2000;
  std::vector<std::vector<uint8_t>> corpus;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
    std::ifstream in(entry.path(), std::ios::binary);
    corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (corpus.empty()) {
    std::fprintf(stderr, "%s: empty corpus\n", argv[1]);
    return 2;
  }
  std::mt19937_64 rng(20261205);
  long runs = 0;
  for (const auto& seed : corpus) {
    LLVMFuzzerTestOneInput(seed.data(), seed.size());
    ++runs;
    for (long i = 0; i < perFile; ++i) {
      std::vector<uint8_t> b = seed;
      int edits = 1 + int(rng() % 4);
      for (int e = 0; e < edits && !b.empty(); ++e) {
        size_t at = rng() % b.size();
        switch (rng() % 6) {
          case 0: b[at] = uint8_t(rng()); break;
          case 1: b[at] ^= uint8_t(1u << (rng() % 8)); break;
          case 2: b.insert(b.begin() + long(at), uint8_t(rng())); break;
          case 3: b.erase(b.begin() + long(at)); break;
          case 4: {  // a 32-bit field set to an edge value
            static const uint32_t edge[] = {0, 1, 7, 8, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x10000};
            uint32_t v = edge[rng() % 8];
            for (int k = 0; k < 4 && at + k < b.size(); ++k) b[at + k] = uint8_t(v >> (24 - 8 * k));
            break;
          }
          default: b.resize(at); break;
        }
      }
      LLVMFuzzerTestOneInput(b.data(), b.size());
      ++runs;
    }
  }
  std::printf("%ld inputs run\n", runs);
  return 0;
}
