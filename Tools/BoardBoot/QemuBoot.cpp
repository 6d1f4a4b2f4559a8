#include "QemuBoot.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>
#include <vector>

#include "Board/BoardError.h"

namespace boardboot {
namespace {

using namespace std::chrono_literals;
constexpr auto kStopGrace = 2s;
constexpr auto kPoll = 100ms;
constexpr std::string_view kShellPrompt = "Shell> ";

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A temporary folder for the logs, removed with this object.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "board-boot-qemu.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
      throw board::BoardError(std::string("cannot create a folder for QEMU's logs: ") + std::strerror(errno));
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// QEMU as a child: stopped by its pid (SIGTERM, then SIGKILL) when this goes.
class QemuProcess {
 public:
  QemuProcess(const std::vector<std::string>& args, const std::filesystem::path& log) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (logFd < 0) throw board::BoardError("cannot create " + log.string() + ": " + std::strerror(errno));
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0) {
      ::close(logFd);
      throw board::BoardError(std::string("fork: ") + std::strerror(errno));
    }
    if (pid_ == 0) {
      // Only async-signal-safe calls until exec.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(126);
      ::dup2(logFd, STDOUT_FILENO);
      ::dup2(logFd, STDERR_FILENO);
      const int null = ::open("/dev/null", O_RDONLY);
      if (null >= 0) ::dup2(null, STDIN_FILENO);
      ::execvp(argv[0], argv.data());
      const char message[] = "cannot execute QEMU (is qemu-system-x86 installed?)\n";
      [[maybe_unused]] auto ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
      ::_exit(127);
    }
    ::close(logFd);
  }
  ~QemuProcess() { Stop(); }
  QemuProcess(const QemuProcess&) = delete;
  QemuProcess& operator=(const QemuProcess&) = delete;

  pid_t Pid() const { return pid_; }

  bool Running() {
    if (reaped_) return false;
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_ || (done < 0 && errno == ECHILD)) {
      reaped_ = true;
      exitStatus_ = status;
    }
    return !reaped_;
  }

  int ExitStatus() const { return exitStatus_; }

  void Stop() {
    if (!Running()) return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    while (Running() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
    if (Running()) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      reaped_ = true;
    }
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int exitStatus_ = 0;
};

std::vector<std::string> QemuArguments(const QemuOptions& options, const std::filesystem::path& folder) {
  std::vector<std::string> args{options.program,
          "-machine", "q35,smm=on,accel=tcg",
          "-m", "256",
          "-smp", std::to_string(options.processors),
          "-display", "none", "-monitor", "none", "-no-reboot", "-net", "none",
          "-global", "driver=cfi.pflash01,property=secure,value=on",
          "-drive", "if=pflash,format=raw,unit=0,readonly=on,file=" + options.codeImage.string(),
          "-drive", "if=pflash,format=raw,unit=1,file=" + options.variableStore.string(),
          "-debugcon", "file:" + (folder / "debug.log").string(), "-global", "isa-debugcon.iobase=0x402",
          "-serial", "file:" + (folder / "serial.log").string()};
  switch (options.bmc) {
    case QemuBmc::BuiltIn:
      args.insert(args.end(), {"-device", "ipmi-bmc-sim,id=bmc0", "-device", "isa-ipmi-kcs,bmc=bmc0"});
      break;
    case QemuBmc::External:
      // reconnect: QEMU 7.2 crashes when the connection opens while the
      // device is still being set up; this way it connects once running.
      args.insert(args.end(), {"-chardev",
                               "socket,id=ipmi0,host=" + options.externalBmc.host + ",port=" +
                                   std::to_string(options.externalBmc.port) + ",reconnect=1",
                               "-device", "ipmi-bmc-extern,id=bmc0,chardev=ipmi0", "-device", "isa-ipmi-kcs,bmc=bmc0"});
      break;
    case QemuBmc::None:
      break;
  }
  if (options.hostStructure) {
    const std::filesystem::path file = folder / "host-structure.bin";
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(options.hostStructure->data()),
              static_cast<std::streamsize>(options.hostStructure->size()));
    if (!out.flush()) throw board::BoardError("cannot write " + file.string());
    args.insert(args.end(), {"-fw_cfg", "name=" + std::string(kHostStructureFwCfgName) + ",file=" + file.string()});
  }
  if (!options.shellScript.empty()) {
    // The shell runs startup.nsh from the first file system it finds.
    const std::filesystem::path drive = folder / "drive";
    std::filesystem::create_directories(drive);
    std::filesystem::copy_file(options.shellScript, drive / "startup.nsh");
    args.insert(args.end(), {"-drive", "format=raw,file=fat:rw:" + drive.string()});
  }
  return args;
}

}  // namespace

QemuRun BootInQemu(const QemuOptions& options) {
  if (!std::filesystem::is_regular_file(options.codeImage))
    throw board::BoardError("no code image " + options.codeImage.string());
  if (!std::filesystem::exists(options.variableStore)) {
    std::error_code error;
    std::filesystem::copy_file(options.emptyStore, options.variableStore, error);
    if (error) throw board::BoardError("cannot create the variable store " + options.variableStore.string() +
                                       " from " + options.emptyStore.string() + ": " + error.message());
  }

  TempFolder folder;
  QemuRun run;
  const auto start = std::chrono::steady_clock::now();
  {
    QemuProcess qemu(QemuArguments(options, folder.Path()), folder.Path() / "qemu.log");
    run.qemuPid = qemu.Pid();
    const auto deadline = start + options.timeLimit;
    for (;;) {
      std::this_thread::sleep_for(kPoll);
      if (!qemu.Running()) {
        // It ended by itself: a reset (-no-reboot) or an error of its own.
        const std::string log = ReadText(folder.Path() / "qemu.log");
        if (!WIFEXITED(qemu.ExitStatus()) || WEXITSTATUS(qemu.ExitStatus()) != 0)
          throw board::BoardError("QEMU stopped: " + (log.empty() ? std::string("no message") : log));
        run.reset = true;
        run.exitStatus = WEXITSTATUS(qemu.ExitStatus());
        break;
      }
      if (ReadText(folder.Path() / "serial.log").find(kShellPrompt) != std::string::npos) {
        run.reachedShell = true;
        break;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        run.timedOut = true;
        break;
      }
    }
  }  // QEMU is stopped here
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.debugConsole = ReadText(folder.Path() / "debug.log");
  run.serial = ReadText(folder.Path() / "serial.log");
  return run;
}

}  // namespace boardboot
