#pragma once
// Clocks, memory and CPU readings of the bench, and the table it prints.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace bench {

// Milliseconds of the steady clock (the monotonic clock every process shares).
double wallNowMs();
// Milliseconds of CPU time this process has used, all threads together.
double processCpuMs();
// The most this process has held resident so far, and what it holds now, in bytes.
double peakResidentBytes();
double currentResidentBytes();
double megabytes(double bytes); // 10^6 bytes
// Seconds of CPU time (user and system) process pid has used, from /proc/<pid>/stat.
std::optional<double> processCpuSeconds(pid_t pid);

// One run of a program (found on PATH) as a whole process, its standard output and error
// thrown away: the wall time from before its start to after its end, the CPU time the kernel
// accounted to it (user and system) and its exit status. Nothing when it could not start or
// ended on a signal.
struct ProcessRun {
    double wallMs = 0;
    double cpuMs = 0;
    int exitStatus = 0;
};
std::optional<ProcessRun> runProcess(const std::vector<std::string> &arguments);

// One row of the table. A figure meets its target when its median is at most limit.
struct Figure {
    std::string name;
    std::string unit;
    std::vector<double> runs;
    std::optional<double> floor;
    std::optional<double> limit;
    std::string target;
};

// Where the figures were taken: cores, CPU model, memory and the load at the time.
void printMachine();
// Prints the table; true when every figure that has a target meets it.
bool printTable(const std::vector<Figure> &figures);

} // namespace bench
