// A rule run of 200 texts of about 20 KB and 10 rules against a compiled
// no-op program standing in for the style scripts, next to the floor it
// cannot beat: 2,001 bare starts of the same program (one content run and
// 200 x 10 style requests), each with a pipe read and a wait. The ratio
// between the two is what the run itself costs on top of the process starts:
// reading the rules, finding the scripts, matching and passing the lists.
// Two rule files: one whose rules never match the empty string, and one in
// which two of the ten, `.*` and `\s*`, can (`\s*` at almost every character).

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <utility>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/rule_run.h"
#include "engine/script_bridge.h"
#include "runtime/application.h"
#include "runtime/folder_item.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kTexts = 200;
constexpr int kRules = 10;

constexpr size_t kTextBytes = 20 * 1024;

// One content run per rule run: a shell script is cheap enough there.
const char kContentScript[] = "#!/bin/sh\nexec cat \"${0%/*}/../inventory.txt\"\n";

void Write(const fs::path& path, const std::string& bytes, bool executable = false) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out.close();
  if (executable) fs::permissions(path, fs::perms::owner_all);
}

std::string Inventory() {
  std::string s;
  for (int i = 1; i <= kTexts; ++i) {
    if (i > 1) s += "<t@ke>";
    s += std::to_string(i) + "/" + std::to_string(1000 + i) + ":";
    const size_t start = s.size();
    for (int n = 1; s.size() - start < kTextBytes; ++n) {
      s += "Chapter " + std::to_string(n) + "\r";
      s += "The quick brown fox jumps over the lazy dog, " + std::to_string(n % 97) +
           " times in " + std::to_string(1900 + n) + ".\r";
      s += "Note: see page " + std::to_string(n * 3) + " (and the index) for more on foxes.\r";
    }
  }
  return s;
}

std::string RuleFile(bool emptyMatches) {
  const char* patterns[kRules] = {"^Chapter", "\\d+",   "fox(es)?", "^Note:", "\\(.*?\\)",
                                  "\\bthe\\b", "lazy",  "dog",      "\\.$",   "(?-i)[A-Z]\\w+"};
  if (emptyMatches) {
    patterns[5] = ".*";  // both character rules
    patterns[7] = "\\s*";
  }
  std::string s;
  for (int j = 0; j < kRules; ++j) {
    s += std::string(patterns[j]) + "\tStyle" + std::to_string(j) + (j % 2 == 0 ? "\tp" : "") +
         "\n";
  }
  return s;
}

const char* const kRuleFiles[] = {"rules.txt", "empty-matches.txt"};

// A throw-away bundle with no-op scripts, registered as the application.
class BenchBundle {
 public:
  BenchBundle() {
    std::string pattern = (fs::temp_directory_path() / "sorvane-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    fs::create_directories(root_ / "bin");
    fs::create_directories(root_ / "Resources");
    fs::create_directories(root_ / "Verodavuda");
    Write(root_ / "bin/sorvane", "");
    Write(root_ / "Resources/getcontents.scpt", kContentScript, true);
    for (const char* name : {"activeAi.scpt", "applyCS.scpt", "applyPS.scpt"}) {
      fs::copy_file(SORVANE_NOOP_SCRIPT, root_ / "Resources" / name);
    }
    for (int emptyMatches = 0; emptyMatches < 2; ++emptyMatches) {
      Write(root_ / "Verodavuda" / kRuleFiles[emptyMatches], RuleFile(emptyMatches != 0));
    }
    Write(root_ / "inventory.txt", Inventory());
    auto app = std::make_shared<rt::Application>();
    app->SetExecutablePathForTesting((root_ / "bin/sorvane").string());
    rt::RuntimeRegisterAppObject(app);
    rt::SetApplicationFolderForTesting(root_.string());
    engine::SetClearingFlagSource([] { return std::optional<bool>(true); });
  }
  ~BenchBundle() {
    engine::SetClearingFlagSource(nullptr);
    rt::SetApplicationFolderForTesting("");
    rt::RuntimeRegisterAppObject(nullptr);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  BenchBundle(const BenchBundle&) = delete;
  BenchBundle& operator=(const BenchBundle&) = delete;
  std::string NoOpScript() const { return (root_ / "Resources/applyCS.scpt").string(); }

 private:
  fs::path root_;
};

BenchBundle* g_bundle = nullptr;

// One start of the script the way any runner must do it at the least.
void BareRun(const std::string& script) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  std::string path = script;
  char* argv[] = {path.data(), nullptr};
  pid_t pid = 0;
  const int e = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (e != 0) {
    close(fds[0]);
    throw std::runtime_error("posix_spawn failed");
  }
  char buffer[4096];
  while (read(fds[0], buffer, sizeof buffer) > 0) {
  }
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Each repetition times one rule run and right after it the bare starts, so
// that both see the same load on the machine; the rule run's time is the one
// reported, and main compares the pairs.
// (rule run, bare starts) in seconds, for each rule file.
std::vector<std::pair<double, double>> g_pairs[2];

// The argument picks the rule file: 1 for the one with empty matches.
void BM_RuleRunThenBareStarts(benchmark::State& state) {
  const std::string script = g_bundle->NoOpScript();
  const auto file = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    engine::MainScpt(kRuleFiles[file]);
    const auto between = std::chrono::steady_clock::now();
    for (int i = 0; i < 1 + kTexts * kRules; ++i) BareRun(script);
    const auto end = std::chrono::steady_clock::now();
    g_pairs[file].emplace_back(Seconds(between - start), Seconds(end - between));
    state.SetIterationTime(Seconds(between - start));
  }
}

BENCHMARK(BM_RuleRunThenBareStarts)
    ->ArgName("empty_matches")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(7);

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  BenchBundle bundle;
  g_bundle = &bundle;
  benchmark::RunSpecifiedBenchmarks();
  for (size_t file = 0; file < 2; ++file) {
    if (g_pairs[file].empty()) continue;
    std::vector<double> runs, bares, ratios;
    for (const auto& [run, bare] : g_pairs[file]) {
      runs.push_back(run);
      bares.push_back(bare);
      ratios.push_back(run / bare);
    }
    std::printf("%s: median of %zu pairs: rule run %.1f ms, bare starts %.1f ms, ratio %.3f\n",
                kRuleFiles[file], g_pairs[file].size(), Median(runs) * 1e3, Median(bares) * 1e3,
                Median(ratios));
  }
  g_bundle = nullptr;
  benchmark::Shutdown();
  return 0;
}
