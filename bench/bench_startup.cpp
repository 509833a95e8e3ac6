// Start-up of the real program on the simulated machine: the time from
// spawning the executable to the main window's first paint, and the resident
// memory at that moment.
//   bench_startup [runs]        (default 20, plus one warm-up run not counted)
// Every run starts from a copy of the program folder without a settings file,
// on a simulated air of its own, with the offscreen platform.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "fixtures/TempDir.h"
#include "platform/SystemInfo.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr double kTargetMs = 300.0;
constexpr double kTargetMiB = 60.0;
constexpr int kRunLimitMs = 30000;
constexpr const char* kProgramFiles[] = {"kestrune", "libwireless.so", "update.dll"};

long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// The environment of this process with the program's variables set.
class ChildEnvironment {
 public:
  explicit ChildEnvironment(const fs::path& temp) {
    const std::vector<std::string> replaced = {"QT_QPA_PLATFORM", "KESTRUNE_PLATFORM", "KESTRUNE_SIM_AIR",
                                               "KESTRUNE_SIM_WIFI", "KESTRUNE_FIRST_PAINT_REPORT",
                                               "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS"};
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('='));
      if (std::find(replaced.begin(), replaced.end(), name) == replaced.end()) entries_.push_back(entry);
    }
    fs::create_directories(temp / "runtime");
    fs::permissions(temp / "runtime", fs::perms::owner_all);
    entries_.push_back("QT_QPA_PLATFORM=offscreen");
    entries_.push_back("KESTRUNE_PLATFORM=sim");
    entries_.push_back("KESTRUNE_SIM_AIR=" + (temp / "air").string());
    entries_.push_back("KESTRUNE_FIRST_PAINT_REPORT=1");
    entries_.push_back("XDG_RUNTIME_DIR=" + (temp / "runtime").string());
    entries_.push_back("DBUS_SESSION_BUS_ADDRESS=disabled:");
    for (auto& entry : entries_) pointers_.push_back(entry.data());
    pointers_.push_back(nullptr);
  }
  char** Get() { return pointers_.data(); }

 private:
  std::vector<std::string> entries_;
  std::vector<char*> pointers_;
};

struct Sample {
  double ms = 0;
  double mib = 0;
};

// Reads the child's output until the report line; empty when it does not come in time.
std::string ReadReport(int fd, long long deadlineNs) {
  std::string text;
  while (MonotonicNs() < deadlineNs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[512];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    const auto start = text.find("first-paint-ns=");
    if (start != std::string::npos && text.find('\n', start) != std::string::npos) return text.substr(start);
  }
  return {};
}

// Waits for the child to end; kills it when it does not in time. The exit status, or -1.
int Reap(pid_t pid, long long deadlineNs) {
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (r < 0) return -1;
    if (MonotonicNs() > deadlineNs) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string Tail(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

// The program's own diagnostics go to errors; they are shown when a run fails.
Sample RunOnce(const fs::path& program, ChildEnvironment& env, const fs::path& errors) {
  std::error_code ec;
  fs::remove(program.parent_path() / "setup.ini", ec);
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::string arg0 = program.string();
  char* argv[] = {arg0.data(), nullptr};
  pid_t pid = -1;
  const long long spawnedNs = MonotonicNs();
  const int rc = posix_spawn(&pid, arg0.c_str(), &actions, nullptr, argv, env.Get());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    throw std::runtime_error(std::string("cannot start the program: ") + std::strerror(rc));
  }
  const long long deadline = spawnedNs + kRunLimitMs * 1000000LL;
  const std::string report = ReadReport(out[0], deadline);
  const int status = Reap(pid, deadline);
  close(out[0]);
  long long paintNs = 0, rssKiB = 0;
  if (report.empty() || std::sscanf(report.c_str(), "first-paint-ns=%lld rss-kib=%lld", &paintNs, &rssKiB) != 2)
    throw std::runtime_error("the program did not report its first paint\n" + Tail(errors));
  if (status != 0) throw std::runtime_error("the program ended with status " + std::to_string(status) + "\n" + Tail(errors));
  return {static_cast<double>(paintNs - spawnedNs) / 1e6, static_cast<double>(rssKiB) / 1024.0};
}

struct Summary {
  double median, min, max;
};

Summary Summarise(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.front(), values.back()};
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 20;
  if (argc > 1) {
    runs = std::atoi(argv[1]);
    if (runs < 1) {
      std::fprintf(stderr, "usage: %s [runs]\n", argv[0]);
      return 2;
    }
  }
  try {
    TempDir temp("kestrune-bench-startup");
    // The program writes its settings beside itself: a copy keeps the build's folder as it is.
    const fs::path source = fs::path(kestrune::platform::DirectoryOf(kestrune::platform::RunningExecutablePath()));
    const fs::path app = temp.Path() / "app";
    fs::create_directories(app);
    for (const char* file : kProgramFiles) fs::copy_file(source / file, app / file);
    const fs::path program = app / "kestrune";
    ChildEnvironment env(temp.Path());

    std::printf("load average before: %s (%u cores)\n", LoadAverage().c_str(), std::thread::hardware_concurrency());
    const fs::path errors = temp.Path() / "stderr.txt";
    RunOnce(program, env, errors);  // warm-up: the files into the page cache
    std::vector<double> ms, mib;
    for (int i = 0; i < runs; ++i) {
      const Sample s = RunOnce(program, env, errors);
      ms.push_back(s.ms);
      mib.push_back(s.mib);
    }
    const Summary t = Summarise(ms);
    const Summary m = Summarise(mib);
    std::printf("runs: %d\n", runs);
    std::printf("first paint: median %.1f ms, min %.1f ms, max %.1f ms (target: median under %.0f ms) %s\n", t.median,
                t.min, t.max, kTargetMs, t.median < kTargetMs ? "met" : "MISSED");
    std::printf("resident memory: median %.1f MiB, min %.1f MiB, max %.1f MiB (target: under %.0f MiB) %s\n",
                m.median, m.min, m.max, kTargetMiB, m.max < kTargetMiB ? "met" : "MISSED");
    std::printf("load average after: %s\n", LoadAverage().c_str());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_startup: %s\n", e.what());
    return 1;
  }
}
