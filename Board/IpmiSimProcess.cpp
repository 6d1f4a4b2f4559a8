#include "IpmiSimProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "BoardError.h"

namespace board {

namespace {
using namespace std::chrono_literals;
constexpr auto kStartTimeout = 10s;
constexpr auto kStopGrace = 2s;
constexpr int kLaunchTries = 5;
constexpr const char* kProgram = "ipmi_sim";

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  if (!out) throw BoardError("cannot write " + path.string());
}

// The serial port accepts a connection and greets on it. The greeting is read
// before closing: a connection that vanishes unread makes the simulator's
// write of its greeting fail.
bool SerialGreets(const Endpoint& serial) {
  SocketFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(serial.port);
  if (!fd.Valid() || ::inet_pton(AF_INET, serial.host.c_str(), &address.sin_addr) != 1) return false;
  if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
  pollfd p{fd.Get(), POLLIN, 0};
  uint8_t greeting[16];
  return ::poll(&p, 1, 1000) == 1 && ::recv(fd.Get(), greeting, sizeof greeting, 0) > 0;
}
}  // namespace

uint16_t FreeLoopbackPort(int type) {
  SocketFd fd(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (!fd.Valid() || ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw BoardError(std::string("cannot find a free loopback port: ") + std::strerror(errno));
  return ntohs(address.sin_port);
}

std::unique_ptr<IpmiSimProcess> IpmiSimProcess::Start(IpmiSimConfig config) {
  std::string pattern = (std::filesystem::temp_directory_path() / "board-boot-ipmi-sim.XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw BoardError("cannot create a folder for the simulator's configuration: " + std::string(std::strerror(errno)));
  std::unique_ptr<IpmiSimProcess> process(new IpmiSimProcess(std::move(config), pattern));

  // Ports are free when picked but may be taken before the simulator binds
  // them: then it exits at once, and new ones are picked.
  std::string problem;
  for (int attempt = 0; attempt < kLaunchTries; ++attempt) {
    process->config_.serialPort = FreeLoopbackPort(SOCK_STREAM);
    process->config_.lanPort = FreeLoopbackPort(SOCK_DGRAM);
    WriteFile(process->folder_ / "lan.conf", LanConfText(process->config_));
    WriteFile(process->folder_ / "bmc.emu", EmuCommandsText(process->config_));
    bool busy = false;
    problem = process->Launch(busy);
    if (problem.empty()) return process;
    if (!busy) break;
  }
  throw BoardError("ipmi_sim did not start: " + problem);
}

std::string IpmiSimProcess::Launch(bool& busy) {
  std::string lanConf = (folder_ / "lan.conf").string();
  std::string emu = (folder_ / "bmc.emu").string();
  std::string log = (folder_ / "ipmi_sim.log").string();
  const char* argv[] = {kProgram, "-n", "-p", "-c", lanConf.c_str(), "-f", emu.c_str(), nullptr};
  int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (logFd < 0) return "cannot create " + log + ": " + std::strerror(errno);
  pid_t parent = ::getpid();

  reaped_ = false;
  pid_ = ::fork();
  if (pid_ < 0) {
    ::close(logFd);
    return std::string("fork: ") + std::strerror(errno);
  }
  if (pid_ == 0) {
    // Only async-signal-safe calls until exec.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(126);
    // Inherited across exec: a board that drops its connection mid-reply
    // must not kill the simulator.
    ::signal(SIGPIPE, SIG_IGN);
    ::dup2(logFd, STDOUT_FILENO);
    ::dup2(logFd, STDERR_FILENO);
    int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) ::dup2(null, STDIN_FILENO);
    ::execvp(kProgram, const_cast<char* const*>(argv));
    const char message[] = "ipmi_sim: cannot execute it (is the openipmi package installed?)\n";
    [[maybe_unused]] auto ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(127);
  }
  ::close(logFd);

  auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!Running()) {
      std::string text = Log();
      busy = text.find("Address already in use") != std::string::npos;
      pid_ = -1;
      return "it exited at once: " + text;
    }
    if (SerialGreets(Serial())) return {};
    std::this_thread::sleep_for(10ms);
  }
  Stop();
  return "its serial port " + Serial().ToString() + " did not open within 10 s: " + Log();
}

bool IpmiSimProcess::Running() const {
  if (pid_ <= 0 || reaped_) return false;
  int status = 0;
  pid_t done = ::waitpid(pid_, &status, WNOHANG);
  if (done == pid_ || (done < 0 && errno == ECHILD)) reaped_ = true;
  return !reaped_;
}

void IpmiSimProcess::Stop() {
  if (!Running()) return;
  ::kill(pid_, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + kStopGrace;
  while (Running() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
  if (Running()) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    reaped_ = true;
  }
}

IpmiSimProcess::~IpmiSimProcess() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string IpmiSimProcess::Log() const {
  std::ifstream in(folder_ / "ipmi_sim.log");
  std::stringstream text;
  text << in.rdbuf();
  std::string log = text.str();
  while (!log.empty() && (log.back() == '\n' || log.back() == ' ')) log.pop_back();
  return log.empty() ? "(it printed nothing)" : log;
}

std::string IpmiSimProcess::IpmitoolOptions() const {
  // Cipher suite 3 named: the simulator does not list its suites, and asking costs ipmitool seconds.
  return "-I lanplus -C 3 -H " + config_.address + " -p " + std::to_string(config_.lanPort) + " -U " + config_.user +
         " -P " + config_.password;
}

}  // namespace board
