#include "VmBmcRelay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>
#include <variant>

#include "BoardError.h"

namespace board {

namespace {
// What the relay says on a new connection when no simulator stands behind it:
// the version control message, as the simulator greets.
constexpr uint8_t kProtocolVersion = 1;
constexpr int kConnectTimeoutMs = 2000;

std::string ErrnoText() { return std::strerror(errno); }

// A peer that stops reading must not hold the relay's thread (and Stop()) for ever.
void LimitSendTime(const SocketFd& socket) {
  const timeval limit{2, 0};
  ::setsockopt(socket.Get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

// A blocking TCP connection to an IPv4 loopback-style endpoint, or why not.
std::variant<SocketFd, std::string> ConnectTo(const Endpoint& where) {
  SocketFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(where.port);
  if (!fd.Valid()) return "socket: " + ErrnoText();
  if (::inet_pton(AF_INET, where.host.c_str(), &address.sin_addr) != 1) return "not an IPv4 address: " + where.host;
  if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS) return ErrnoText();
    pollfd p{fd.Get(), POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    if (::poll(&p, 1, kConnectTimeoutMs) <= 0) return std::string("no connection within 2 s");
    if (::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
      return std::string(std::strerror(error != 0 ? error : errno));
  }
  // Back to blocking: the relay's messages are small and its peers local.
  ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

vm::Message ReplyTo(const vm::Message& request, uint8_t completionCode, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> data(1 + payload.size());
  data[0] = completionCode;
  std::copy(payload.begin(), payload.end(), data.begin() + 1);
  return {request.sequence, static_cast<uint8_t>(request.netFn | 1), request.lun, request.command, std::move(data)};
}
}  // namespace

const char* RelayAnswererName(RelayAnswerer answerer) {
  switch (answerer) {
    case RelayAnswerer::Script: return "script";
    case RelayAnswerer::Simulator: return "ipmi_sim";
    case RelayAnswerer::Board: return "board BMC";
    case RelayAnswerer::Nobody: return "nobody";
  }
  return "?";
}

VmBmcRelay::VmBmcRelay(Bmc script, std::optional<Endpoint> simulator)
    : script_(std::move(script)), simulator_(std::move(simulator)) {
  listener_ = SocketFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (!listener_.Valid() || ::bind(listener_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_.Get(), 2) != 0 ||
      ::getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw BoardError("the BMC relay cannot listen on the loopback address: " + ErrnoText());
  port_ = ntohs(address.sin_port);
  wake_ = SocketFd(::eventfd(0, EFD_CLOEXEC));
  if (!wake_.Valid()) throw BoardError("the BMC relay cannot create its eventfd: " + ErrnoText());
  thread_ = std::thread([this] { Run(); });
}

VmBmcRelay::~VmBmcRelay() { Stop(); }

void VmBmcRelay::Stop() {
  if (!thread_.joinable()) return;
  const uint64_t one = 1;
  [[maybe_unused]] auto written = ::write(wake_.Get(), &one, sizeof one);
  thread_.join();
  machine_.Close();
  simulatorLink_.Close();
  listener_.Close();
}

std::vector<RelayedRequest> VmBmcRelay::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<RelayedControl> VmBmcRelay::Controls() const {
  std::lock_guard lock(mutex_);
  return controls_;
}

std::vector<std::string> VmBmcRelay::Problems() const {
  std::lock_guard lock(mutex_);
  return problems_;
}

unsigned VmBmcRelay::MachineConnections() const {
  std::lock_guard lock(mutex_);
  return machineConnections_;
}

void VmBmcRelay::Problem(std::string text) {
  std::lock_guard lock(mutex_);
  problems_.push_back(std::move(text));
}

void VmBmcRelay::Run() {
  uint8_t buffer[1024];
  for (;;) {
    // A second machine connection waits until the first one ends.
    pollfd watched[4] = {{wake_.Get(), POLLIN, 0},
                         {machine_.Valid() ? -1 : listener_.Get(), POLLIN, 0},
                         {machine_.Get(), POLLIN, 0},
                         {simulatorLink_.Get(), POLLIN, 0}};
    if (::poll(watched, 4, -1) < 0) {
      if (errno == EINTR) continue;
      Problem("poll: " + ErrnoText());
      return;
    }
    if (watched[0].revents != 0) return;
    if (watched[1].revents != 0) Accept();
    if (watched[2].revents != 0 && machine_.Valid()) {
      ssize_t got = ::recv(machine_.Get(), buffer, sizeof buffer, 0);
      if (got <= 0) CloseMachine(got == 0 ? "" : "receiving from the virtual machine: " + ErrnoText());
      else FromMachine(std::span<const uint8_t>(buffer, static_cast<size_t>(got)));
    }
    if (watched[3].revents != 0 && simulatorLink_.Valid()) {
      ssize_t got = ::recv(simulatorLink_.Get(), buffer, sizeof buffer, 0);
      if (got <= 0) CloseSimulator(got == 0 ? "the simulator closed the connection" : "receiving: " + ErrnoText());
      else FromSimulator(std::span<const uint8_t>(buffer, static_cast<size_t>(got)));
    }
  }
}

void VmBmcRelay::Accept() {
  SocketFd connection(::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!connection.Valid()) {
    Problem("accept: " + ErrnoText());
    return;
  }
  machine_ = std::move(connection);
  LimitSendTime(machine_);
  machineFrames_.Reset();
  {
    std::lock_guard lock(mutex_);
    ++machineConnections_;
  }
  if (!simulator_) {
    const uint8_t version[] = {vm::kControlVersion, kProtocolVersion};
    SendTo(machine_, vm::EncodeControl(version));
    return;
  }
  // The simulator greets the new connection; its greeting reaches the machine.
  auto connected = ConnectTo(*simulator_);
  if (auto* problem = std::get_if<std::string>(&connected)) {
    Problem("cannot reach the simulator at " + simulator_->ToString() + ": " + *problem);
    return;
  }
  simulatorLink_ = std::move(std::get<SocketFd>(connected));
  LimitSendTime(simulatorLink_);
  simulatorFrames_.Reset();
}

void VmBmcRelay::CloseMachine(const std::string& why) {
  if (!why.empty()) Problem(why);
  machine_.Close();
  // The simulator's connection belongs to the machine's: a new machine
  // connection starts from the simulator's greeting again.
  simulatorLink_.Close();
}

void VmBmcRelay::CloseSimulator(const std::string& why) {
  Problem(why);
  simulatorLink_.Close();
  std::lock_guard lock(mutex_);
  for (auto& record : requests_)
    if (record.answeredBy == RelayAnswerer::Simulator && !record.reply) {
      record.answeredBy = RelayAnswerer::Nobody;
      record.note = "forwarded; " + why + " before replying";
    }
}

bool VmBmcRelay::SendTo(SocketFd& socket, const std::vector<uint8_t>& bytes) {
  std::span<const uint8_t> left(bytes);
  while (!left.empty()) {
    ssize_t sent = ::send(socket.Get(), left.data(), left.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) {
      Problem("sending: " + ErrnoText());
      return false;
    }
    left = left.subspan(static_cast<size_t>(sent));
  }
  return true;
}

void VmBmcRelay::TakeFrames(std::span<const uint8_t> bytes, bool fromMachine,
                            const std::function<void(const vm::Message&)>& onMessage) {
  vm::FrameDecoder& frames = fromMachine ? machineFrames_ : simulatorFrames_;
  SocketFd& otherSide = fromMachine ? simulatorLink_ : machine_;
  const std::string from = fromMachine ? "the virtual machine" : "the simulator";
  frames.Feed(bytes);
  while (auto frame = frames.Next()) {
    if (frame->kind == vm::Frame::Kind::Broken) {
      Problem("broken frame from " + from + ": " + frame->problem);
      continue;
    }
    if (frame->kind == vm::Frame::Kind::Control) {
      RelayedControl control{fromMachine, frame->bytes, false};
      if (otherSide.Valid()) control.forwarded = SendTo(otherSide, vm::EncodeControl(frame->bytes));
      std::lock_guard lock(mutex_);
      controls_.push_back(std::move(control));
      continue;
    }
    auto parsed = vm::ParseMessage(*frame);
    if (auto* problem = std::get_if<std::string>(&parsed)) {
      Problem(std::string(fromMachine ? "garbled request from " : "garbled reply from ") + from + ": " + *problem);
      continue;
    }
    onMessage(std::get<vm::Message>(parsed));
  }
}

void VmBmcRelay::FromMachine(std::span<const uint8_t> bytes) {
  TakeFrames(bytes, true, [this](const vm::Message& request) { HandleRequest(request); });
}

void VmBmcRelay::HandleRequest(const vm::Message& request) {
  RelayedRequest record;
  record.at = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
  record.request = request;
  if (script_.HasScripted(request.netFn, request.command)) {
    AnswerFromBmc(record, true);
  } else if (!simulator_) {
    AnswerFromBmc(record, false);
  } else if (!simulatorLink_.Valid()) {
    record.note = "the simulator is not connected";
  } else if (SendTo(simulatorLink_, vm::EncodeMessage(request))) {
    record.answeredBy = RelayAnswerer::Simulator;  // the reply is matched when it comes
  } else {
    record.note = "could not be forwarded to the simulator";
  }
  std::lock_guard lock(mutex_);
  requests_.push_back(std::move(record));
}

void VmBmcRelay::AnswerFromBmc(RelayedRequest& record, bool scripted) {
  const vm::Message& request = record.request;
  uint8_t response[256];
  uint8_t length = 255;
  EFI_STATUS status = script_.Handle(request.netFn, request.lun, request.command, request.data.data(),
                                     static_cast<uint32_t>(request.data.size()), response, &length);
  const IpmiExchange& handled = script_.Exchanges().back();
  // A transport error or a "silent" answer has no form on the wire: the
  // machine gets nothing back and its interface gives up as it would.
  if (EFI_ERROR(status) || !handled.responseLength || *handled.responseLength == 0) {
    record.note = scripted ? "the script says: no answer" : "the board's BMC did not answer";
    return;
  }
  vm::Message reply = ReplyTo(request, response[0], std::vector<uint8_t>(response + 1, response + length));
  if (!machine_.Valid() || !SendTo(machine_, vm::EncodeMessage(reply))) {
    record.note = "the reply could not be sent";
    return;
  }
  record.answeredBy = scripted ? RelayAnswerer::Script : RelayAnswerer::Board;
  record.reply = std::move(reply);
}

void VmBmcRelay::FromSimulator(std::span<const uint8_t> bytes) {
  TakeFrames(bytes, false, [this](const vm::Message& reply) {
    RelayedRequest* pending = nullptr;
    {
      std::lock_guard lock(mutex_);
      for (auto at = requests_.rbegin(); at != requests_.rend() && pending == nullptr; ++at)
        if (at->answeredBy == RelayAnswerer::Simulator && !at->reply && at->request.sequence == reply.sequence)
          pending = &*at;
    }
    if (pending == nullptr) {
      Problem("a reply from the simulator answers no forwarded request (sequence " + std::to_string(reply.sequence) +
              "); passed on all the same");
    }
    bool sent = machine_.Valid() && SendTo(machine_, vm::EncodeMessage(reply));
    if (pending != nullptr) {
      std::lock_guard lock(mutex_);
      if (sent) pending->reply = reply;
      else {
        pending->answeredBy = RelayAnswerer::Nobody;
        pending->note = "the simulator's reply could not be passed on";
      }
    }
  });
}

}  // namespace board
