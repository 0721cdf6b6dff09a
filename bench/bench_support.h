#pragma once

#include "app/tform1.h"

#include <QString>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <string>

// A temporary folder holding a read file and a write file of all 3000 entries under the
// window's default names. It is the current folder while it lives, so a window built in the
// meantime finds both files.
class BenchHueFolder {
public:
    BenchHueFolder();
    ~BenchHueFolder();
    std::string path(const char *name) const;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Builds the window in the current folder and shows it (offscreen), ready to paint.
std::unique_ptr<TForm1> ShowBenchForm();

// Time per iteration in seconds. CPU time counts every thread of the process, kernel time
// included; on a machine shared with other work it varies less than real time.
struct BenchTime {
    double realSeconds = 0;
    double cpuSeconds = 0;
};
// The best run of each benchmark that completed, by name.
using BenchTimes = std::map<std::string, BenchTime>;
// Prints figures derived from several benchmarks once all of them have run.
using BenchSummary = void (*)(const BenchTimes &times);

// Call from a namespace-scope initialiser; the return value only lets it run there.
bool RegisterBenchSummary(BenchSummary summary);
