// Runs the real executable from a folder of its own, with one of its
// neighbour files missing or broken, and checks that it refuses to start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QThread>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct RunResult {
  bool finished = false;
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};

// Whether the process has a handler for sig (its SigCgt mask in /proc).
bool CatchesSignal(pid_t pid, int sig) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigCgt:", 0) != 0) continue;
    const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
    return (mask >> (sig - 1)) & 1u;
  }
  return false;
}

// Runs exe with the simulated machine; onStarted (if given) runs with the
// child's pid while it runs.
RunResult RunProgram(const fs::path& exe, const std::function<void(pid_t)>& onStarted = {},
                     int timeoutMs = 20000) {
  RunResult result;
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return result;
  const std::string air = (exe.parent_path() / "air").string();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFd[1], 1);
    dup2(pipeFd[1], 2);
    close(pipeFd[0]);
    close(pipeFd[1]);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("KESTRUNE_PLATFORM", "sim", 1);
    setenv("KESTRUNE_SIM_AIR", air.c_str(), 1);
    execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFd[1]);
  if (onStarted) onStarted(pid);
  QElapsedTimer timer;
  timer.start();
  int status = 0;
  for (;;) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      result.finished = true;
      break;
    }
    if (timer.elapsed() > timeoutMs) {
      // It did not stop by itself: it came up, which is a failure here.
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    QThread::msleep(5);
  }
  char buf[4096];
  ssize_t n;
  while ((n = read(pipeFd[0], buf, sizeof buf)) > 0) result.output.append(buf, static_cast<std::size_t>(n));
  close(pipeFd[0]);
  if (result.finished && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

class ProcessStart : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path bin(KESTRUNE_BIN_DIR);
    ASSERT_TRUE(fs::exists(bin / "kestrune")) << "build the kestrune target first";
    exe_ = dir_.Path() / "kestrune";
    fs::copy_file(bin / "kestrune", exe_);
    fs::permissions(exe_, fs::perms::owner_all, fs::perm_options::add);
  }
  void CopyBeside(const fs::path& from, const char* name) { fs::copy_file(from, dir_.Path() / name); }
  void PutBrandingFile() { CopyBeside(fs::path(KESTRUNE_SOURCE_DIR) / "data" / "update.dll", "update.dll"); }
  void PutWirelessLibrary() { CopyBeside(fs::path(KESTRUNE_BIN_DIR) / "libwireless.so", "libwireless.so"); }

  testsupport::TempDir dir_;
  fs::path exe_;
};

}  // namespace

TEST_F(ProcessStart, MissingBrandingFileStopsBeforeAnyWindow) {
  PutWirelessLibrary();
  const RunResult r = RunProgram(exe_);
  ASSERT_TRUE(r.finished) << r.output;
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.output.find((dir_.Path() / "update.dll").string()), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(dir_.Path() / "setup.ini"));
}

TEST_F(ProcessStart, MissingWirelessLibraryStopsBeforeAnyWindow) {
  PutBrandingFile();
  const RunResult r = RunProgram(exe_);
  ASSERT_TRUE(r.finished) << r.output;
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.output.find("libwireless.so"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(dir_.Path() / "setup.ini"));
}

#ifdef KESTRUNE_FIXTURE_PARTIAL_WIRELESS
TEST_F(ProcessStart, WirelessLibraryLackingAFunctionStopsAndNamesIt) {
  PutBrandingFile();
  CopyBeside(KESTRUNE_FIXTURE_PARTIAL_WIRELESS, "libwireless.so");
  const RunResult r = RunProgram(exe_);
  ASSERT_TRUE(r.finished) << r.output;
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.output.find("libwireless.so"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("DeleteSsid"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(dir_.Path() / "setup.ini"));
}
#endif

TEST_F(ProcessStart, TerminationRequestEndsTheRunCleanly) {
  PutBrandingFile();
  PutWirelessLibrary();
  bool handled = false;
  const RunResult r = RunProgram(exe_, [&](pid_t pid) {
    // What a log-off sends; sent once the program is ready to take it.
    handled = testsupport::WaitFor([&] { return CatchesSignal(pid, SIGTERM); }, 10000);
    kill(pid, SIGTERM);
  });
  ASSERT_TRUE(handled);
  ASSERT_TRUE(r.finished) << r.output;
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const std::string settings = testsupport::ReadFile(dir_.Path() / "setup.ini");
  for (const char* key : {"AutoRun=0", "CheckForUpdates=0", "StartMinimized=0", "SSID=KESTRUNE", "Password=73914",
                          "SourceGUID=", "DestGUID="})
    EXPECT_NE(settings.find(std::string("\r\n") + key + "\r\n"), std::string::npos) << key << "\n" << settings;
}
