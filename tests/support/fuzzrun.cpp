#include "tests/support/fuzzrun.h"

#include <random>

namespace {

// One mutation: flip, insert, delete, duplicate a slice, or splice two seeds.
std::string mutate(const std::string& input, const std::vector<std::string>& seeds, std::mt19937& random) {
  std::string out = input;
  static const char kInteresting[] = "\0\n\r\"<>&=;%+/\\.:,{}[]*?\xff\xd0";
  int steps = 1 + static_cast<int>(random() % 4);
  for (int i = 0; i < steps; ++i) {
    size_t at = out.empty() ? 0 : random() % (out.size() + 1);
    switch (random() % 6) {
      case 0:
        if (!out.empty() && at < out.size()) out[at] = static_cast<char>(random());
        break;
      case 1: out.insert(at, 1, kInteresting[random() % (sizeof kInteresting - 1)]); break;
      case 2:
        if (at < out.size()) out.erase(at, 1 + random() % 8);
        break;
      case 3:
        if (!out.empty()) out.insert(at, out.substr(random() % out.size(), 1 + random() % 16));
        break;
      case 4: {
        const std::string& other = seeds[random() % seeds.size()];
        if (!other.empty()) out.insert(at, other.substr(random() % other.size(), 1 + random() % 32));
        break;
      }
      default:
        if (out.size() < 70000) out.append(out.substr(0, out.size() / 2));
        break;
    }
  }
  return out;
}

}  // namespace

size_t runFuzzBriefly(FuzzTarget target, const std::vector<std::string>& seeds, size_t mutations, unsigned randomSeed) {
  std::mt19937 random(randomSeed);
  size_t runs = 0;
  for (const std::string& seed : seeds) {
    target(reinterpret_cast<const uint8_t*>(seed.data()), seed.size());
    ++runs;
  }
  std::vector<std::string> pool = seeds.empty() ? std::vector<std::string>{""} : seeds;
  for (size_t i = 0; i < mutations; ++i) {
    std::string input = mutate(pool[random() % pool.size()], pool, random);
    target(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    ++runs;
    if (i % 64 == 0 && pool.size() < 256) pool.push_back(input);
  }
  return runs;
}
