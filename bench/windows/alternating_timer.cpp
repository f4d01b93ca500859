// kelvane-bench-alternating RUNS -- COMMAND_A... -- COMMAND_B...
// Runs two commands one after the other RUNS times (A, B, A, B, ...) with standard
// output and standard error sent to /dev/null, and prints the median wall time of each
// in milliseconds as "median_a median_b". Alternating keeps a machine whose load drifts
// during the run from favouring whichever command happened to run in the quiet part.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Wall time of one run in milliseconds; exits the benchmark if the command fails.
double timeOnce(const std::vector<char*>& argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0]);
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> first;
    std::vector<char*> second;
    int separators = 0;
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) == "--") {
            ++separators;
        } else {
            (separators == 1 ? first : second).push_back(argv[i]);
        }
    }
    const int runs = argc > 1 ? std::atoi(argv[1]) : 0;
    if (runs < 1 || separators != 2 || first.empty() || second.empty()) {
        std::fprintf(stderr, "usage: %s RUNS -- COMMAND_A... -- COMMAND_B...\n", argv[0]);
        return 2;
    }
    first.push_back(nullptr);
    second.push_back(nullptr);
    for (int i = 0; i < 10; ++i) {
        timeOnce(first);
        timeOnce(second);
    }
    std::vector<double> firstTimes;
    std::vector<double> secondTimes;
    for (int i = 0; i < runs; ++i) {
        firstTimes.push_back(timeOnce(first));
        secondTimes.push_back(timeOnce(second));
    }
    std::printf("%.3f %.3f\n", median(firstTimes), median(secondTimes));
    return 0;
}
