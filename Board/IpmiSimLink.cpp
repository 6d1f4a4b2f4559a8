#include "IpmiSimLink.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace board {

namespace {
using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

std::string ErrnoText(int error) { return std::strerror(error); }

std::string Hex(uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", byte);
  return text;
}
}  // namespace

SocketFd& SocketFd::operator=(SocketFd&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.Release();
  }
  return *this;
}

int SocketFd::Release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

void SocketFd::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

const char* LinkFailureName(LinkFailure failure) {
  switch (failure) {
    case LinkFailure::NotReachable: return "not reachable";
    case LinkFailure::ConnectionLost: return "connection lost";
    case LinkFailure::TimedOut: return "no reply in time";
  }
  return "?";
}

IpmiSimLink::IpmiSimLink(Endpoint endpoint, std::chrono::milliseconds replyTimeout)
    : endpoint_(std::move(endpoint)), replyTimeout_(replyTimeout) {}

std::optional<std::string> IpmiSimLink::Connect(Clock::time_point deadline) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::string port = std::to_string(endpoint_.port);
  if (int error = ::getaddrinfo(endpoint_.host.c_str(), port.c_str(), &hints, &found); error != 0)
    return "cannot resolve " + endpoint_.host + ": " + ::gai_strerror(error);

  std::string problem = "no address for " + endpoint_.host;
  for (addrinfo* at = found; at != nullptr; at = at->ai_next) {
    SocketFd fd(::socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, at->ai_protocol));
    if (!fd.Valid()) {
      problem = "socket: " + ErrnoText(errno);
      continue;
    }
    int error = 0;
    if (::connect(fd.Get(), at->ai_addr, at->ai_addrlen) != 0) {
      error = errno;
      if (error == EINPROGRESS) {
        pollfd p{fd.Get(), POLLOUT, 0};
        int ready = ::poll(&p, 1, MillisecondsLeft(deadline));
        socklen_t length = sizeof error;
        if (ready <= 0) error = ETIMEDOUT;
        else if (::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
      }
    }
    if (error == 0) {
      socket_ = std::move(fd);
      decoder_.Reset();
      version_.reset();
      ++connections_;
      ::freeaddrinfo(found);
      return std::nullopt;
    }
    problem = ErrnoText(error);
  }
  ::freeaddrinfo(found);
  return problem;
}

std::optional<std::string> IpmiSimLink::SendAll(std::span<const uint8_t> bytes, Clock::time_point deadline) {
  while (!bytes.empty()) {
    // MSG_NOSIGNAL: a peer that went away is an error status, not SIGPIPE.
    ssize_t sent = ::send(socket_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      bytes = bytes.subspan(static_cast<size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{socket_.Get(), POLLOUT, 0};
      if (::poll(&p, 1, MillisecondsLeft(deadline)) <= 0) return std::string("the request could not be sent in time");
      continue;
    }
    return "sending: " + ErrnoText(errno);
  }
  return std::nullopt;
}

std::optional<LinkReply> IpmiSimLink::TakeMatching(const vm::Message& request) {
  while (auto frame = decoder_.Next()) {
    if (frame->kind == vm::Frame::Kind::Control) {
      if (frame->bytes.size() == 2 && frame->bytes[0] == vm::kControlVersion) version_ = frame->bytes[1];
      continue;  // other control messages (attention, power) concern a host, not the PEI phase
    }
    if (frame->kind == vm::Frame::Kind::Broken) {
      discarded_.push_back("broken frame: " + frame->problem);
      continue;
    }
    auto parsed = vm::ParseMessage(*frame);
    if (auto* problem = std::get_if<std::string>(&parsed)) {
      discarded_.push_back("garbled message: " + *problem);
      continue;
    }
    const auto& reply = std::get<vm::Message>(parsed);
    if (reply.sequence != request.sequence) {
      discarded_.push_back("reply with sequence " + Hex(reply.sequence) + " while waiting for " + Hex(request.sequence));
      continue;
    }
    if (reply.netFn != (request.netFn | 1) || reply.command != request.command || reply.data.empty()) {
      discarded_.push_back("reply " + Hex(reply.sequence) + " does not answer NetFn " + Hex(request.netFn) +
                           " command " + Hex(request.command));
      continue;
    }
    return LinkReply{reply.data[0], std::vector<uint8_t>(reply.data.begin() + 1, reply.data.end())};
  }
  return std::nullopt;
}

LinkResult IpmiSimLink::Lost(std::string detail) {
  socket_.Close();
  decoder_.Reset();
  return {std::nullopt, LinkFailure::ConnectionLost, std::move(detail)};
}

LinkResult IpmiSimLink::Exchange(uint8_t netFn, uint8_t lun, uint8_t command, std::span<const uint8_t> data) {
  if (!socket_.Valid()) {
    if (auto problem = Connect(Clock::now() + replyTimeout_))
      return {std::nullopt, LinkFailure::NotReachable,
              "nothing accepts connections at " + endpoint_.ToString() + " (" + *problem + ")"};
  }

  vm::Message request{sequence_++, static_cast<uint8_t>(netFn & 0x3F), static_cast<uint8_t>(lun & 3), command,
                      std::vector<uint8_t>(data.begin(), data.end())};
  auto deadline = Clock::now() + replyTimeout_;
  if (auto problem = SendAll(vm::EncodeMessage(request), deadline)) return Lost(*problem);

  uint8_t buffer[512];
  for (;;) {
    if (auto reply = TakeMatching(request)) return {std::move(reply), LinkFailure::TimedOut, {}};
    pollfd p{socket_.Get(), POLLIN, 0};
    int ready = ::poll(&p, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return Lost("waiting for the reply: " + ErrnoText(errno));
    if (ready == 0)
      return {std::nullopt, LinkFailure::TimedOut,
              "no reply to sequence " + Hex(request.sequence) + " within " + std::to_string(replyTimeout_.count()) +
                  " ms"};
    ssize_t got = ::recv(socket_.Get(), buffer, sizeof buffer, 0);
    if (got == 0) return Lost("the simulator closed the connection before replying");
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return Lost("receiving: " + ErrnoText(errno));
    }
    decoder_.Feed(std::span<const uint8_t>(buffer, static_cast<size_t>(got)));
  }
}

LinkResult FirstExchange(IpmiSimLink& link, uint8_t netFn, uint8_t lun, uint8_t command, std::span<const uint8_t> data) {
  constexpr int kRetries = 40;
  constexpr auto kPause = std::chrono::milliseconds(50);
  LinkResult result = link.Exchange(netFn, lun, command, data);
  for (int retry = 0; retry < kRetries && !result.reply && result.failure == LinkFailure::ConnectionLost; ++retry) {
    std::this_thread::sleep_for(kPause);
    result = link.Exchange(netFn, lun, command, data);
  }
  return result;
}

}  // namespace board
