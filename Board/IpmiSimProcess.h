// OpenIPMI's BMC simulator as a child process: its configuration written to a
// temporary folder, free loopback ports for its VM serial interface and its
// LAN channel, started with no console and no persistence, and stopped (by
// its process id) when this object goes. The child also gets a signal when
// the process that started it dies, so no simulator outlives its board.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>

#include "IpmiSimConfig.h"
#include "IpmiSimLink.h"

namespace board {

class IpmiSimProcess {
 public:
  // Throws BoardError when the simulator can't be started (not installed,
  // exits at once); its own messages are in the error. The death signal is
  // tied to the calling thread: start it from one that lives as long as the
  // simulator should (the main thread).
  static std::unique_ptr<IpmiSimProcess> Start(IpmiSimConfig config = {});
  ~IpmiSimProcess();
  IpmiSimProcess(const IpmiSimProcess&) = delete;
  IpmiSimProcess& operator=(const IpmiSimProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running() const;
  const IpmiSimConfig& Config() const { return config_; }
  Endpoint Serial() const { return {config_.address, config_.serialPort}; }
  Endpoint Lan() const { return {config_.address, config_.lanPort}; }
  const std::filesystem::path& Folder() const { return folder_; }
  // The ipmitool options that reach its LAN channel.
  std::string IpmitoolOptions() const;
  // Stops it: SIGTERM, then SIGKILL if it has not gone within two seconds.
  void Stop();

 private:
  IpmiSimProcess(IpmiSimConfig config, std::filesystem::path folder) : config_(std::move(config)), folder_(std::move(folder)) {}
  // Starts the child and waits until its serial port accepts connections.
  // Returns an empty string, or why it failed; busy is set when a port was taken.
  std::string Launch(bool& busy);
  std::string Log() const;

  IpmiSimConfig config_;
  std::filesystem::path folder_;
  pid_t pid_ = -1;
  mutable bool reaped_ = false;
};

// A port on the loopback address that nothing uses now (SOCK_STREAM or SOCK_DGRAM).
uint16_t FreeLoopbackPort(int type);

}  // namespace board
