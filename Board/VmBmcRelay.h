// The BMC a virtual machine's external BMC device (QEMU's ipmi-bmc-extern)
// talks to, built from two parts and speaking the VM serial codec on both
// sides: the answers a board file scripts, in front, and OpenIPMI's simulator
// behind it, which gets every request the script does not answer and every
// control message (version, capabilities, reset, attention) in both
// directions. Without a simulator the board's own BMC answers the rest (Add
// SEL Entry stored, anything else refused). The relay listens on a free
// loopback port and serves one virtual machine connection at a time, on a
// thread of its own; for each it opens its own connection to the simulator.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Bmc.h"
#include "IpmiSimLink.h"
#include "VmCodec.h"

namespace board {

// Who answered a request the virtual machine sent.
enum class RelayAnswerer {
  Script,     // the board file's scripted answer
  Simulator,  // forwarded to the simulator, which answered
  Board,      // the board's own BMC (no simulator behind the relay)
  Nobody,     // no reply went back (see the note)
};
const char* RelayAnswererName(RelayAnswerer answerer);

struct RelayedRequest {
  std::chrono::milliseconds at{0};  // since the relay started
  vm::Message request;
  RelayAnswerer answeredBy = RelayAnswerer::Nobody;
  std::optional<vm::Message> reply;  // as sent back to the virtual machine
  std::string note;                  // why nobody answered
};

struct RelayedControl {
  bool fromMachine = true;     // true: virtual machine to BMC
  std::vector<uint8_t> bytes;  // unescaped, end byte removed
  bool forwarded = false;      // passed on to the other side
};

class VmBmcRelay {
 public:
  // script: the scripted answers; simulator: where its VM serial interface
  // listens, or none. Throws BoardError when it cannot listen.
  VmBmcRelay(Bmc script, std::optional<Endpoint> simulator);
  ~VmBmcRelay();
  VmBmcRelay(const VmBmcRelay&) = delete;
  VmBmcRelay& operator=(const VmBmcRelay&) = delete;

  // Where the virtual machine connects.
  Endpoint Listening() const { return {"127.0.0.1", port_}; }
  // Ends the thread and closes every connection; idempotent.
  void Stop();

  // Snapshots, safe while the relay runs.
  std::vector<RelayedRequest> Requests() const;
  std::vector<RelayedControl> Controls() const;
  std::vector<std::string> Problems() const;  // broken frames, lost or refused connections
  unsigned MachineConnections() const;
  // The scripted BMC, with what it stored when no simulator stands behind;
  // read it only after Stop().
  const Bmc& Script() const { return script_; }

 private:
  void Run();
  void Accept();
  void FromMachine(std::span<const uint8_t> bytes);
  void FromSimulator(std::span<const uint8_t> bytes);
  // The frames among bytes from one side, in order: broken ones are said,
  // control messages passed to the other side and recorded, each message
  // handed to onMessage.
  void TakeFrames(std::span<const uint8_t> bytes, bool fromMachine,
                  const std::function<void(const vm::Message&)>& onMessage);
  void HandleRequest(const vm::Message& request);
  void AnswerFromBmc(RelayedRequest& record, bool scripted);
  void CloseMachine(const std::string& why);
  void CloseSimulator(const std::string& why);
  bool SendTo(SocketFd& socket, const std::vector<uint8_t>& bytes);
  void Problem(std::string text);

  Bmc script_;
  std::optional<Endpoint> simulator_;
  SocketFd listener_;
  SocketFd wake_;  // an eventfd: Stop() makes it readable
  SocketFd machine_;
  SocketFd simulatorLink_;
  vm::FrameDecoder machineFrames_;
  vm::FrameDecoder simulatorFrames_;
  uint16_t port_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();

  mutable std::mutex mutex_;  // guards what follows, which the snapshots copy
  std::vector<RelayedRequest> requests_;
  std::vector<RelayedControl> controls_;
  std::vector<std::string> problems_;
  unsigned machineConnections_ = 0;

  std::thread thread_;  // last: started once everything above exists
};

}  // namespace board
