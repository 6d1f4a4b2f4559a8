// A TCP link to OpenIPMI's BMC simulator on its "VM" serial interface: one
// request at a time, each reply matched to its request by sequence number.
// The link connects when it is first used and again after the connection was
// lost; a reply that does not come in time leaves the connection open (a late
// reply is recognised by its sequence number and dropped).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "VmCodec.h"

namespace board {

struct Endpoint {
  std::string host = "127.0.0.1";
  uint16_t port = 0;
  std::string ToString() const { return host + ":" + std::to_string(port); }
};

// An open socket, closed when it goes.
class SocketFd {
 public:
  SocketFd() = default;
  explicit SocketFd(int fd) : fd_(fd) {}
  SocketFd(SocketFd&& other) noexcept : fd_(other.Release()) {}
  SocketFd& operator=(SocketFd&& other) noexcept;
  SocketFd(const SocketFd&) = delete;
  SocketFd& operator=(const SocketFd&) = delete;
  ~SocketFd() { Close(); }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release();
  void Close();

 private:
  int fd_ = -1;
};

// Why an exchange got no reply.
enum class LinkFailure {
  NotReachable,    // nothing accepts connections there: the simulator is not running
  ConnectionLost,  // the connection broke or was closed before the reply came
  TimedOut,        // connected, but no matching reply in time
};

struct LinkReply {
  uint8_t completionCode = 0;
  std::vector<uint8_t> data;
};

struct LinkResult {
  std::optional<LinkReply> reply;
  LinkFailure failure = LinkFailure::TimedOut;  // when there is no reply
  std::string detail;                           // when there is no reply: what happened, for people
};

const char* LinkFailureName(LinkFailure failure);

class IpmiSimLink {
 public:
  IpmiSimLink(Endpoint endpoint, std::chrono::milliseconds replyTimeout);

  LinkResult Exchange(uint8_t netFn, uint8_t lun, uint8_t command, std::span<const uint8_t> data);

  const Endpoint& Where() const { return endpoint_; }
  std::chrono::milliseconds ReplyTimeout() const { return replyTimeout_; }
  // The sequence number the next request carries; it counts up from here.
  void SetNextSequence(uint8_t sequence) { sequence_ = sequence; }
  bool Connected() const { return socket_.Valid(); }
  unsigned Connections() const { return connections_; }
  // The protocol version the simulator announced on the current connection.
  std::optional<uint8_t> Version() const { return version_; }
  // Frames received that answered nothing asked (stale, garbled, unexpected).
  const std::vector<std::string>& Discarded() const { return discarded_; }

 private:
  using Clock = std::chrono::steady_clock;

  std::optional<std::string> Connect(Clock::time_point deadline);
  std::optional<std::string> SendAll(std::span<const uint8_t> bytes, Clock::time_point deadline);
  // A reply from the frames received so far, if one matches.
  std::optional<LinkReply> TakeMatching(const vm::Message& request);
  LinkResult Lost(std::string detail);

  Endpoint endpoint_;
  std::chrono::milliseconds replyTimeout_;
  SocketFd socket_;
  vm::FrameDecoder decoder_;
  uint8_t sequence_ = 1;
  unsigned connections_ = 0;
  std::optional<uint8_t> version_;
  std::vector<std::string> discarded_;
};

// The first exchange of a new link. ipmi_sim serves one serial connection at
// a time and resets a new one until it has seen the one before close, so a
// connection lost here is tried again, for about two seconds.
LinkResult FirstExchange(IpmiSimLink& link, uint8_t netFn, uint8_t lun, uint8_t command, std::span<const uint8_t> data);

}  // namespace board
