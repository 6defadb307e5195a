#include "decode_figures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

namespace bench {
namespace {

constexpr int kPairs = 31;
constexpr int kFolderFiles = 1000;
constexpr int kFolderRuns = 3;
constexpr double kOneFileLimit = 1.5;     // veltrika / edid-decode, one EDID a process
constexpr double kFolderLimit = 1.0 / 20; // veltrika's one process / edid-decode once per file
constexpr double kLeastCpuMs = 0.001;     // below any process's CPU time: a ratio never divides by 0

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

std::vector<std::string> command(const char *program, const std::vector<std::string> &arguments) {
    std::vector<std::string> line{program};
    line.insert(line.end(), arguments.begin(), arguments.end());
    return line;
}

// The EDIDs of the repository's test data, by name.
QStringList repositoryEdids() {
    const QDir dir(QStringLiteral(EDID_CORPUS_DIR));
    QStringList files;
    for (const QString &name : dir.entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name)) {
        files << dir.filePath(name);
    }
    return files;
}

// 1,000 EDID files: the folder's first, or the repository's copied into `scratch` over and over.
std::vector<std::string> folderFiles(const QString &folder, const QTemporaryDir &scratch) {
    std::vector<std::string> files;
    if (!folder.isEmpty()) {
        const QDir dir(folder);
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            if (files.size() == kFolderFiles) {
                break;
            }
            files.push_back(dir.filePath(name).toStdString());
        }
        return files;
    }
    const QStringList edids = repositoryEdids();
    for (int i = 0; i < kFolderFiles && !edids.isEmpty(); ++i) {
        const QString copy = scratch.filePath(QStringLiteral("%1.bin").arg(i, 4, 10, QLatin1Char('0')));
        if (QFile::copy(edids[i % edids.size()], copy)) {
            files.push_back(copy.toStdString());
        }
    }
    return files;
}

// One EDID a process: veltrika, edid-decode and the process that only loads Qt Core, in
// turn on each of the repository's EDIDs, in an order that changes from pair to pair.
void oneFileFigures(std::vector<Figure> &figures) {
    Figure veltrika{"veltrika edid decode FILE, process, wall", "ms", {}, {}, {}, "-"};
    Figure oracle{"edid-decode FILE, process, wall", "ms", {}, {}, {}, "-"};
    Figure floor{"Process that only loads Qt Core, wall", "ms", {}, {}, {}, "-"};
    Figure ratio{"veltrika / edid-decode, one EDID, paired", "x", {}, {}, kOneFileLimit, "<= 1.5"};
    Figure cpuRatio{"veltrika / edid-decode, one EDID, CPU", "x", {}, {}, {}, "-"};
    std::vector<double> floorRatios;
    std::vector<double> floorCpuRatios;
    const QStringList files = repositoryEdids();
    for (int pair = 0; pair < kPairs && !files.isEmpty(); ++pair) {
        const std::string file = files[pair % files.size()].toStdString();
        const auto runVeltrika = [&] { return runProcess(command(VELTRIKA_PATH, {"edid", "decode", file})); };
        const auto runOracle = [&] { return runProcess(command("edid-decode", {file})); };
        std::optional<ProcessRun> ours;
        std::optional<ProcessRun> theirs;
        if (pair % 2 == 0) {
            ours = runVeltrika();
            theirs = runOracle();
        } else {
            theirs = runOracle();
            ours = runVeltrika();
        }
        const std::optional<ProcessRun> qtCore = runProcess(command(QT_CORE_FLOOR_PATH, {}));
        if (!ours || !theirs || !qtCore || ours->exitStatus != 0) {
            std::fprintf(stderr, "bench: a decode process of %s failed\n", file.c_str());
            continue;
        }
        veltrika.runs.push_back(ours->wallMs);
        oracle.runs.push_back(theirs->wallMs);
        floor.runs.push_back(qtCore->wallMs);
        ratio.runs.push_back(ours->wallMs / theirs->wallMs);
        cpuRatio.runs.push_back(ours->cpuMs / std::max(theirs->cpuMs, kLeastCpuMs));
        floorRatios.push_back(qtCore->wallMs / theirs->wallMs);
        floorCpuRatios.push_back(qtCore->cpuMs / std::max(theirs->cpuMs, kLeastCpuMs));
    }
    veltrika.floor = median(floor.runs);
    ratio.floor = median(floorRatios);
    cpuRatio.floor = median(floorCpuRatios);
    figures.insert(figures.end(), {veltrika, oracle, floor, ratio, cpuRatio});
}

// 1,000 EDIDs: veltrika in one process (JSON Lines, and text), edid-decode once per file.
void folderFigures(std::vector<Figure> &figures, const QString &folder) {
    Figure json{"1,000 EDIDs, veltrika --json, 1 process", "ms", {}, {}, {}, "-"};
    Figure text{"1,000 EDIDs, veltrika (text), 1 process", "ms", {}, {}, {}, "-"};
    Figure oracle{"1,000 EDIDs, edid-decode once per file", "ms", {}, {}, {}, "-"};
    Figure ratio{
        "1,000 EDIDs, veltrika --json / edid-decode", "x", {}, {}, kFolderLimit, "<= 0.05 (20x faster)"};
    const QTemporaryDir scratch;
    const std::vector<std::string> files = folderFiles(folder, scratch);
    std::vector<std::string> jsonLine = command(VELTRIKA_PATH, {"--json", "edid", "decode"});
    jsonLine.insert(jsonLine.end(), files.begin(), files.end());
    std::vector<std::string> textLine = command(VELTRIKA_PATH, {"edid", "decode"});
    textLine.insert(textLine.end(), files.begin(), files.end());
    for (int run = 0; run < kFolderRuns && files.size() == kFolderFiles; ++run) {
        const std::optional<ProcessRun> ours = runProcess(jsonLine);
        const std::optional<ProcessRun> ourText = runProcess(textLine);
        double theirs = 0;
        for (const std::string &file : files) {
            const std::optional<ProcessRun> one = runProcess(command("edid-decode", {file}));
            theirs += one ? one->wallMs : 0;
        }
        if (!ours || !ourText || theirs <= 0) {
            std::fprintf(stderr, "bench: a folder run failed\n");
            continue;
        }
        json.runs.push_back(ours->wallMs);
        text.runs.push_back(ourText->wallMs);
        oracle.runs.push_back(theirs);
        ratio.runs.push_back(ours->wallMs / theirs);
    }
    if (files.size() != kFolderFiles) {
        std::fprintf(stderr, "bench: %zu EDID files for the folder figures, %d wanted\n", files.size(),
                     kFolderFiles);
    }
    figures.insert(figures.end(), {json, text, oracle, ratio});
}

} // namespace

void decodeFigures(std::vector<Figure> &figures, const QString &folder) {
    oneFileFigures(figures);
    folderFigures(figures, folder);
}

} // namespace bench
