#include "measure.h"

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace bench {
namespace {

constexpr double kMsPerSecond = 1000.0;
constexpr double kNsPerMs = 1e6;
constexpr double kBytesPerKib = 1024.0;
constexpr double kBytesPerMb = 1e6;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Few digits for large values, more for small ones: every figure keeps about four.
std::string number(double value) {
    const double size = value < 0 ? -value : value;
    const int decimals = size >= 100 ? 1 : size >= 1 ? 2 : 3;
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// The value after "key:" on the first line of file that starts with key.
std::string fieldOf(const char *file, const std::string &key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) == 0) {
            const size_t colon = line.find(':');
            if (colon != std::string::npos) {
                const size_t start = line.find_first_not_of(" \t", colon + 1);
                return start == std::string::npos ? std::string() : line.substr(start);
            }
        }
    }
    return {};
}

} // namespace

double wallNowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double processCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * kMsPerSecond + static_cast<double>(now.tv_nsec) / kNsPerMs;
}

double peakResidentBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) * kBytesPerKib; // Linux gives KiB
}

double currentResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long totalPages = 0;
    long residentPages = 0;
    statm >> totalPages >> residentPages;
    return static_cast<double>(residentPages) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

std::optional<double> processCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) {
        return std::nullopt;
    }
    // The command name in parentheses may hold spaces; the fields count from its end.
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(stat.substr(nameEnd + 2));
    std::string field;
    // After the name: state (3) ... utime is field 14 and stime field 15 of the whole line.
    constexpr int kFieldsBeforeUtime = 11;
    for (int i = 0; i < kFieldsBeforeUtime; ++i) {
        fields >> field;
    }
    long long utime = 0;
    long long stime = 0;
    if (!(fields >> utime >> stime)) {
        return std::nullopt;
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::optional<ProcessRun> runProcess(const std::vector<std::string> &arguments) {
    std::vector<char *> argv;
    for (const std::string &argument : arguments) {
        argv.push_back(const_cast<char *>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const double start = wallNowMs();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv.front(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return std::nullopt;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) {
        return std::nullopt;
    }
    const auto ms = [](const timeval &time) {
        return static_cast<double>(time.tv_sec) * kMsPerSecond + static_cast<double>(time.tv_usec) / 1000.0;
    };
    return ProcessRun{wallNowMs() - start, ms(usage.ru_utime) + ms(usage.ru_stime), WEXITSTATUS(status)};
}

void printMachine() {
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    const int cores = sched_getaffinity(0, sizeof cpus, &cpus) == 0 ? CPU_COUNT(&cpus) : 0;
    const std::string model = fieldOf("/proc/cpuinfo", "model name");
    const std::string memory = fieldOf("/proc/meminfo", "MemTotal");
    std::ifstream loadFile("/proc/loadavg");
    double load1 = 0;
    double load5 = 0;
    loadFile >> load1 >> load5;
    const double memoryGib = std::stod(memory.empty() ? "0" : memory) / (kBytesPerKib * kBytesPerKib);
    std::printf("Machine: %d cores (nproc), CPU %s, %.1f GiB RAM; load average %.2f (1 min), %.2f (5 min)\n",
                cores, model.empty() ? "unknown" : model.c_str(), memoryGib, load1, load5);
}

bool printTable(const std::vector<Figure> &figures) {
    const char *const row = "%-44s %-5s %5s %10s %10s %10s %10s %7s  %-18s %s\n";
    std::printf(row, "Figure", "Unit", "Runs", "Median", "Min", "Max", "Floor", "Ratio", "Target", "Result");
    bool allMet = true;
    for (const Figure &figure : figures) {
        if (figure.runs.empty()) {
            std::printf(row, figure.name.c_str(), figure.unit.c_str(), "0", "-", "-", "-", "-", "-",
                        figure.target.c_str(), "not measured");
            allMet = allMet && !figure.limit;
            continue;
        }
        const double middle = median(figure.runs);
        const auto [least, most] = std::minmax_element(figure.runs.begin(), figure.runs.end());
        const std::string floorText = figure.floor ? number(*figure.floor) : "-";
        char ratio[16] = "-";
        if (figure.floor && *figure.floor > 0) {
            std::snprintf(ratio, sizeof ratio, "%.3f", middle / *figure.floor);
        }
        std::string result = "-";
        if (figure.limit) {
            const bool met = middle <= *figure.limit;
            allMet = allMet && met;
            result = met ? "met" : "MISSED";
        }
        std::printf(row, figure.name.c_str(), figure.unit.c_str(), std::to_string(figure.runs.size()).c_str(),
                    number(middle).c_str(), number(*least).c_str(), number(*most).c_str(), floorText.c_str(),
                    ratio, figure.target.c_str(), result.c_str());
    }
    std::fflush(stdout);
    return allMet;
}

double megabytes(double bytes) {
    return bytes / kBytesPerMb;
}

} // namespace bench
