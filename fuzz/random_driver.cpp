// Runs a libFuzzer-style target without libFuzzer: random inputs and mutations of
// earlier inputs for a bounded time. Usage: <target> [--seconds=N] [--seed=N] [FILE...]
// Files named on the command line are run once each first (a corpus or a crash to replay).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::uint8_t> mutate(std::vector<std::uint8_t> input, std::mt19937_64& random) {
    // Bias towards bytes that matter to text formats: quotes, braces, escapes, UTF-8 lead bytes.
    static constexpr std::uint8_t kInteresting[] = {'"', '\\', '/', '{', '}', '[', ']', ':', ',', '0', '-',
                                                    'e', '.', 0x00, 0x1F, 0x7F, 0xC3, 0xE2, 0xF0, 0xFF};
    const int edits = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < edits; ++i) {
        const std::uint8_t byte = (random() % 2) ? kInteresting[random() % sizeof kInteresting]
                                                 : static_cast<std::uint8_t>(random());
        switch (random() % 3) {
            case 0:
                input.insert(input.begin() + static_cast<long>(input.empty() ? 0 : random() % (input.size() + 1)), byte);
                break;
            case 1:
                if (!input.empty()) input[random() % input.size()] = byte;
                break;
            default:
                if (!input.empty()) input.erase(input.begin() + static_cast<long>(random() % input.size()));
        }
    }
    if (input.size() > 4096) input.resize(4096);
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 10;
    std::uint64_t seed = std::random_device{}();
    std::vector<std::vector<std::uint8_t>> pool{{}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--seconds=", 0) == 0) {
            seconds = std::atof(arg.c_str() + 10);
        } else if (arg.rfind("--seed=", 0) == 0) {
            seed = std::strtoull(arg.c_str() + 7, nullptr, 10);
        } else {
            std::ifstream file(arg, std::ios::binary);
            std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            pool.push_back(std::move(bytes));
        }
    }
    std::printf("random_driver: seed %llu, %.1f s\n", static_cast<unsigned long long>(seed), seconds);
    // A failing input aborts the process, which would lose a buffered seed line.
    std::fflush(stdout);
    std::mt19937_64 random(seed);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    long runs = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        std::vector<std::uint8_t> input = mutate(pool[random() % pool.size()], random);
        LLVMFuzzerTestOneInput(input.data(), input.size());
        if (pool.size() < 256) {
            pool.push_back(std::move(input));
        } else {
            pool[random() % pool.size()] = std::move(input);
        }
        ++runs;
    }
    std::printf("random_driver: %ld runs, no failure\n", runs);
    return 0;
}
