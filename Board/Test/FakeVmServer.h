// A stand-in for the simulator's VM serial port in tests that need exact
// control of what comes back: each accepted connection runs the next
// session of a script on a thread of its own.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <thread>
#include <variant>
#include <vector>

#include "Board/IpmiSimLink.h"
#include "Board/VmCodec.h"

namespace boardtest {

// One accepted connection, as the script sees it.
class VmPeer {
 public:
  explicit VmPeer(int fd) : fd_(fd) {}

  // The next request, or none when the link closed or nothing came within 5 s.
  std::optional<board::vm::Message> Receive() {
    while (auto frame = ReceiveFrame()) {
      auto parsed = board::vm::ParseMessage(*frame);
      if (auto* message = std::get_if<board::vm::Message>(&parsed)) return *message;
    }
    return std::nullopt;
  }

  // The next frame of any kind (control messages too), or none as above.
  std::optional<board::vm::Frame> ReceiveFrame() {
    for (;;) {
      if (auto frame = decoder_.Next()) return frame;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) return std::nullopt;
      uint8_t buffer[256];
      ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) return std::nullopt;
      decoder_.Feed(std::span<const uint8_t>(buffer, static_cast<size_t>(got)));
    }
  }

  void Send(const std::vector<uint8_t>& bytes) {
    if (::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size()))
      throw std::runtime_error("fake server: send failed");
  }

  // The answer to request with completion code and data.
  void Reply(const board::vm::Message& request, std::vector<uint8_t> data, uint8_t sequenceDelta = 0) {
    board::vm::Message reply{static_cast<uint8_t>(request.sequence + sequenceDelta),
                             static_cast<uint8_t>(request.netFn | 1), request.lun, request.command, std::move(data)};
    Send(board::vm::EncodeMessage(reply));
  }

 private:
  int fd_;
  board::vm::FrameDecoder decoder_;
};

class FakeVmServer {
 public:
  using Session = std::function<void(VmPeer&)>;

  explicit FakeVmServer(std::vector<Session> sessions) : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.Get(), 4) != 0 ||
        ::getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("fake server: cannot listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, sessions = std::move(sessions)] {
      for (const auto& session : sessions) {
        pollfd p{listener_.Get(), POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) return;
        board::SocketFd connection(::accept(listener_.Get(), nullptr, nullptr));
        if (!connection.Valid()) return;
        VmPeer peer(connection.Get());
        const uint8_t greeting[] = {0xFF, 0x01, 0xA1};
        peer.Send({std::begin(greeting), std::end(greeting)});
        session(peer);
      }
    });
  }
  ~FakeVmServer() { thread_.join(); }
  FakeVmServer(const FakeVmServer&) = delete;
  FakeVmServer& operator=(const FakeVmServer&) = delete;

  board::Endpoint Where() const { return {"127.0.0.1", port_}; }

 private:
  board::SocketFd listener_;
  uint16_t port_ = 0;
  std::thread thread_;
};

// A loopback port that is bound but never listens: connecting is refused,
// and nothing else can take the port while this lives.
class RefusingPort {
 public:
  RefusingPort() : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(socket_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket_.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("cannot bind a loopback port");
    port_ = ntohs(address.sin_port);
  }
  uint16_t Port() const { return port_; }

 private:
  board::SocketFd socket_;
  uint16_t port_ = 0;
};

}  // namespace boardtest
