// The relay between a virtual machine's external BMC device and the BMC
// simulator, with a fake machine on one side and a fake simulator on the
// other: who answers what, control messages in both directions, a simulator
// that is not there, and a machine that connects again.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <thread>

#include "Board/VmBmcRelay.h"
#include "FakeVmServer.h"

namespace {

using board::RelayAnswerer;
using board::VmBmcRelay;
using boardtest::FakeVmServer;
using boardtest::RefusingPort;
using boardtest::VmPeer;
using board::vm::Frame;
using board::vm::Message;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kNetFnOem = 0x3C;
constexpr uint8_t kCmdForceDebug = 0x05;
constexpr uint8_t kNetFnStorage = 0x0A;
constexpr uint8_t kCmdAddSelEntry = 0x44;
constexpr uint8_t kCapabilities = 0x08;
constexpr uint8_t kAttention = 0x01;

// The virtual machine's side: a connection to the relay.
class FakeMachine {
 public:
  explicit FakeMachine(const board::Endpoint& relay) : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(relay.port);
    ::inet_pton(AF_INET, relay.host.c_str(), &address.sin_addr);
    if (::connect(socket_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
      throw std::runtime_error("cannot connect to the relay");
    peer_.emplace(socket_.Get());
  }
  VmPeer& Peer() { return *peer_; }
  void Send(const Message& request) { peer_->Send(board::vm::EncodeMessage(request)); }
  void Close() { socket_.Close(); }

 private:
  board::SocketFd socket_;
  std::optional<VmPeer> peer_;
};

board::Bmc ScriptForcing(uint8_t level, unsigned times) {
  board::Bmc script;
  for (unsigned i = 0; i < times; ++i)
    script.Queue(kNetFnOem, kCmdForceDebug, board::BmcAnswer::Complete(0x00, {level}));
  return script;
}

// Polls a snapshot until it holds, for up to five seconds.
template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

Bytes ControlBytes(const std::optional<Frame>& frame) {
  return frame && frame->kind == Frame::Kind::Control ? frame->bytes : Bytes{0xEE};
}

TEST(VmBmcRelay, ScriptAnswersInFrontAndTheSimulatorGetsTheRest) {
  FakeVmServer simulator({[](VmPeer& peer) {
    // The script answered the first force-debug try; the second and the SEL
    // record come here.
    auto forceDebug = peer.Receive();
    ASSERT_TRUE(forceDebug);
    EXPECT_EQ(forceDebug->netFn, kNetFnOem);
    EXPECT_EQ(forceDebug->command, kCmdForceDebug);
    EXPECT_EQ(forceDebug->sequence, 2);
    peer.Reply(*forceDebug, {0xC1});
    auto addSel = peer.Receive();
    ASSERT_TRUE(addSel);
    EXPECT_EQ(addSel->data, Bytes(16, 0x5A));
    peer.Reply(*addSel, {0x00, 0x07, 0x00});
    peer.Receive();  // until the machine goes
  }});
  VmBmcRelay relay(ScriptForcing(2, 1), simulator.Where());
  FakeMachine machine(relay.Listening());
  EXPECT_EQ(ControlBytes(machine.Peer().ReceiveFrame()), (Bytes{0xFF, 0x01})) << "the simulator's greeting";

  machine.Send({1, kNetFnOem, 0, kCmdForceDebug, {0x32}});
  auto scripted = machine.Peer().Receive();
  ASSERT_TRUE(scripted);
  EXPECT_EQ(scripted->sequence, 1);
  EXPECT_EQ(scripted->netFn, kNetFnOem | 1);
  EXPECT_EQ(scripted->command, kCmdForceDebug);
  EXPECT_EQ(scripted->data, (Bytes{0x00, 0x02}));

  machine.Send({2, kNetFnOem, 0, kCmdForceDebug, {0x32}});
  auto refused = machine.Peer().Receive();
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->sequence, 2);
  EXPECT_EQ(refused->data, Bytes{0xC1});

  machine.Send({3, kNetFnStorage, 0, kCmdAddSelEntry, Bytes(16, 0x5A)});
  auto added = machine.Peer().Receive();
  ASSERT_TRUE(added);
  EXPECT_EQ(added->data, (Bytes{0x00, 0x07, 0x00}));
  machine.Close();

  relay.Stop();
  auto requests = relay.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].answeredBy, RelayAnswerer::Script);
  EXPECT_EQ(requests[1].answeredBy, RelayAnswerer::Simulator);
  EXPECT_EQ(requests[2].answeredBy, RelayAnswerer::Simulator);
  for (const auto& request : requests) ASSERT_TRUE(request.reply);
  EXPECT_EQ(requests[2].reply->data, (Bytes{0x00, 0x07, 0x00}));
  EXPECT_TRUE(relay.Problems().empty()) << relay.Problems().front();
}

TEST(VmBmcRelay, ControlMessagesPassBothWays) {
  FakeVmServer simulator({[](VmPeer& peer) {
    auto capabilities = peer.ReceiveFrame();
    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->kind, Frame::Kind::Control);
    // 0xA0 among the bytes: escaped on both legs, arrives as itself.
    EXPECT_EQ(capabilities->bytes, (Bytes{kCapabilities, 0xA0}));
    const uint8_t attention[] = {kAttention};
    peer.Send(board::vm::EncodeControl(attention));
    peer.Receive();
  }});
  VmBmcRelay relay(board::Bmc{}, simulator.Where());
  FakeMachine machine(relay.Listening());
  ASSERT_EQ(ControlBytes(machine.Peer().ReceiveFrame()), (Bytes{0xFF, 0x01}));
  const uint8_t capabilities[] = {kCapabilities, 0xA0};
  machine.Peer().Send(board::vm::EncodeControl(capabilities));
  EXPECT_EQ(ControlBytes(machine.Peer().ReceiveFrame()), Bytes{kAttention});
  machine.Close();
  relay.Stop();

  auto controls = relay.Controls();
  ASSERT_EQ(controls.size(), 3u);
  EXPECT_FALSE(controls[0].fromMachine);  // the greeting
  EXPECT_TRUE(controls[1].fromMachine);
  EXPECT_EQ(controls[1].bytes, (Bytes{kCapabilities, 0xA0}));
  EXPECT_FALSE(controls[2].fromMachine);
  for (const auto& control : controls) EXPECT_TRUE(control.forwarded);
}

TEST(VmBmcRelay, WithoutASimulatorTheBoardsBmcAnswers) {
  VmBmcRelay relay(board::Bmc{}, std::nullopt);
  FakeMachine machine(relay.Listening());
  EXPECT_EQ(ControlBytes(machine.Peer().ReceiveFrame()), (Bytes{0xFF, 0x01})) << "the relay greets as the simulator";

  machine.Send({9, kNetFnOem, 0, kCmdForceDebug, {0x32}});
  auto refused = machine.Peer().Receive();
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->data, Bytes{0xC1});
  Bytes record(16, 0x11);
  machine.Send({10, kNetFnStorage, 0, kCmdAddSelEntry, record});
  auto added = machine.Peer().Receive();
  ASSERT_TRUE(added);
  EXPECT_EQ(added->sequence, 10);
  EXPECT_EQ(added->data, (Bytes{0x00, 0x01, 0x00})) << "record ID 1";
  relay.Stop();
  for (const auto& request : relay.Requests()) EXPECT_EQ(request.answeredBy, RelayAnswerer::Board);
}

TEST(VmBmcRelay, AnUnreachableSimulatorLeavesOnlyTheScriptAnswering) {
  RefusingPort nothing;
  VmBmcRelay relay(ScriptForcing(3, 1), board::Endpoint{"127.0.0.1", nothing.Port()});
  FakeMachine machine(relay.Listening());
  machine.Send({1, kNetFnOem, 0, kCmdForceDebug, {0x32}});
  auto scripted = machine.Peer().Receive();
  ASSERT_TRUE(scripted);
  EXPECT_EQ(scripted->data, (Bytes{0x00, 0x03}));
  machine.Send({2, kNetFnStorage, 0, kCmdAddSelEntry, Bytes(16, 0)});
  ASSERT_TRUE(Eventually([&] { return relay.Requests().size() == 2; }));
  relay.Stop();
  auto requests = relay.Requests();
  EXPECT_EQ(requests[1].answeredBy, RelayAnswerer::Nobody);
  EXPECT_FALSE(requests[1].reply);
  EXPECT_EQ(requests[1].note, "the simulator is not connected");
  ASSERT_FALSE(relay.Problems().empty());
  EXPECT_NE(relay.Problems().front().find("cannot reach the simulator"), std::string::npos);
}

TEST(VmBmcRelay, ANewMachineConnectionGetsItsOwnSimulatorConnection) {
  auto session = [](VmPeer& peer) {
    auto request = peer.Receive();
    if (request) peer.Reply(*request, {0x00});
    peer.Receive();
  };
  FakeVmServer simulator({session, session});
  VmBmcRelay relay(board::Bmc{}, simulator.Where());
  for (int connection = 0; connection < 2; ++connection) {
    FakeMachine machine(relay.Listening());
    EXPECT_EQ(ControlBytes(machine.Peer().ReceiveFrame()), (Bytes{0xFF, 0x01})) << "connection " << connection;
    machine.Send({static_cast<uint8_t>(connection), 0x06, 0, 0x01, {}});
    auto reply = machine.Peer().Receive();
    ASSERT_TRUE(reply) << "connection " << connection;
    EXPECT_EQ(reply->sequence, connection);
    machine.Close();
    ASSERT_TRUE(Eventually([&] { return relay.MachineConnections() == static_cast<unsigned>(connection + 1); }));
  }
  relay.Stop();
  EXPECT_EQ(relay.Requests().size(), 2u);
}

TEST(VmBmcRelay, ASimulatorThatGoesAwayLeavesItsRequestUnansweredAndSaysSo) {
  FakeVmServer simulator({[](VmPeer& peer) {
    peer.Receive();  // takes the request and closes without replying
  }});
  VmBmcRelay relay(board::Bmc{}, simulator.Where());
  FakeMachine machine(relay.Listening());
  machine.Send({5, 0x06, 0, 0x01, {}});
  ASSERT_TRUE(Eventually([&] { return !relay.Problems().empty(); }));
  relay.Stop();
  auto requests = relay.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].answeredBy, RelayAnswerer::Nobody);
  EXPECT_FALSE(requests[0].reply);
  EXPECT_EQ(requests[0].note, "forwarded; the simulator closed the connection before replying");
  EXPECT_EQ(relay.Problems().front(), "the simulator closed the connection");
}

}  // namespace
