// The link to the simulator and the transport PPI over it, against a fake
// VM serial port: reply matching, time-outs, lost connections and what the
// module gets for each.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "Board/IpmiSimBackend.h"
#include "Board/IpmiSimLink.h"
#include "FakeVmServer.h"

namespace {

using namespace std::chrono_literals;
using board::IpmiSimBackend;
using board::IpmiSimLink;
using board::LinkFailure;
using boardtest::FakeVmServer;
using boardtest::VmPeer;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kNetFnOem = 0x3C;
constexpr uint8_t kCmdForceDebug = 0x05;
const Bytes kForceDebug = {0x32};

TEST(IpmiSimLink, ReplyIsTheOneWithTheRequestsSequenceAndCommand) {
  FakeVmServer server({[](VmPeer& peer) {
    auto request = peer.Receive();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->netFn, kNetFnOem);
    EXPECT_EQ(request->command, kCmdForceDebug);
    EXPECT_EQ(request->data, kForceDebug);
    peer.Reply(*request, {0x00, 0x09}, static_cast<uint8_t>(-1));  // an older request's reply
    board::vm::Message otherCommand = *request;
    otherCommand.command = 0x06;
    peer.Reply(otherCommand, {0x00, 0x08});  // right sequence, not this command
    peer.Send({0x01, 0x02, 0x03, 0x04, 0xA0});  // garbled
    peer.Reply(*request, {0x00, 0x03});
    peer.Receive();  // hold the connection until the link is done
  }});
  IpmiSimLink link(server.Where(), 2000ms);
  auto result = link.Exchange(kNetFnOem, 0, kCmdForceDebug, kForceDebug);
  ASSERT_TRUE(result.reply) << result.detail;
  EXPECT_EQ(result.reply->completionCode, 0x00);
  EXPECT_EQ(result.reply->data, Bytes{0x03});
  EXPECT_EQ(link.Discarded().size(), 3u);
  EXPECT_EQ(link.Version(), 1);
}

TEST(IpmiSimLink, TimeOutKeepsTheConnectionAndTheLateReplyIsDropped) {
  FakeVmServer server({[](VmPeer& peer) {
    auto first = peer.Receive();
    auto second = peer.Receive();  // sent after the link gave up on the first
    ASSERT_TRUE(first && second);
    EXPECT_EQ(second->sequence, static_cast<uint8_t>(first->sequence + 1));
    peer.Reply(*first, {0x00, 0x01});
    peer.Reply(*second, {0x00, 0x02});
    peer.Receive();
  }});
  IpmiSimLink link(server.Where(), 200ms);
  auto first = link.Exchange(kNetFnOem, 0, kCmdForceDebug, kForceDebug);
  EXPECT_FALSE(first.reply);
  EXPECT_EQ(first.failure, LinkFailure::TimedOut);
  EXPECT_TRUE(link.Connected());
  auto second = link.Exchange(kNetFnOem, 0, kCmdForceDebug, kForceDebug);
  ASSERT_TRUE(second.reply) << second.detail;
  EXPECT_EQ(second.reply->data, Bytes{0x02});
  EXPECT_EQ(link.Connections(), 1u);
}

TEST(IpmiSimLink, LostConnectionFailsTheTryAndTheNextTryConnectsAgain) {
  FakeVmServer server({
      [](VmPeer& peer) { peer.Receive(); },  // closes without a reply
      [](VmPeer& peer) {
        auto request = peer.Receive();
        ASSERT_TRUE(request);
        peer.Reply(*request, {0x00, 0x02});
        peer.Receive();
      },
  });
  IpmiSimLink link(server.Where(), 2000ms);
  auto lost = link.Exchange(kNetFnOem, 0, kCmdForceDebug, kForceDebug);
  EXPECT_FALSE(lost.reply);
  EXPECT_EQ(lost.failure, LinkFailure::ConnectionLost);
  EXPECT_FALSE(link.Connected());
  auto again = link.Exchange(kNetFnOem, 0, kCmdForceDebug, kForceDebug);
  ASSERT_TRUE(again.reply) << again.detail;
  EXPECT_EQ(link.Connections(), 2u);
}

TEST(IpmiSimLink, NothingListeningIsNotReachable) {
  boardtest::RefusingPort nobody;
  IpmiSimLink link({"127.0.0.1", nobody.Port()}, 500ms);
  auto result = link.Exchange(kNetFnOem, 0, kCmdForceDebug, kForceDebug);
  EXPECT_FALSE(result.reply);
  EXPECT_EQ(result.failure, LinkFailure::NotReachable);
  EXPECT_NE(result.detail.find("Connection refused"), std::string::npos) << result.detail;
}

// What SendIpmiCommand hands the module for each outcome of the link.
TEST(IpmiSimBackend, ModuleGetsCompletionCodeAndPayloadOrAnErrorStatus) {
  auto server = std::make_unique<FakeVmServer>(std::vector<FakeVmServer::Session>{
      [](VmPeer& peer) {
        auto request = peer.Receive();
        peer.Reply(*request, {0xC1});  // refused: not an error at the transport
        request = peer.Receive();
        peer.Reply(*request, {0x00, 0x07, 0x08, 0x09});  // longer than the buffer
        peer.Receive();                                   // then the connection drops
      },
  });
  IpmiSimBackend backend(std::make_unique<IpmiSimLink>(server->Where(), 300ms), "fake");
  uint8_t request = 0x32;
  uint8_t response[2] = {0x55, 0x55};
  uint8_t length = sizeof response;
  EXPECT_EQ(backend.Handle(kNetFnOem, 0, kCmdForceDebug, &request, 1, response, &length), EFI_SUCCESS);
  EXPECT_EQ(length, 1);
  EXPECT_EQ(response[0], 0xC1);
  EXPECT_EQ(response[1], 0x55);  // untouched past the reply

  length = sizeof response;
  EXPECT_EQ(backend.Handle(kNetFnOem, 0, kCmdForceDebug, &request, 1, response, &length), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, 2);
  EXPECT_EQ(response[1], 0x07);

  length = sizeof response;
  EXPECT_EQ(backend.Handle(kNetFnOem, 0, kCmdForceDebug, &request, 1, response, &length), EFI_DEVICE_ERROR);
  EXPECT_EQ(length, sizeof response);  // nothing written on a failure

  server.reset();  // nothing listens any more
  EXPECT_EQ(backend.Handle(kNetFnOem, 0, kCmdForceDebug, &request, 1, response, &length), EFI_NO_RESPONSE);
  EXPECT_EQ(backend.Handle(kNetFnOem, 0, kCmdForceDebug, &request, 1, nullptr, &length), EFI_INVALID_PARAMETER);

  const auto& exchanges = backend.Exchanges();
  ASSERT_EQ(exchanges.size(), 5u);
  EXPECT_EQ(exchanges[0].response, Bytes{0xC1});
  EXPECT_NE(exchanges[2].transportNote.find("connection lost"), std::string::npos) << exchanges[2].transportNote;
  EXPECT_NE(exchanges[3].transportNote.find("not reachable"), std::string::npos) << exchanges[3].transportNote;
  EXPECT_EQ(IpmiSimBackend::StatusFor(LinkFailure::TimedOut), EFI_TIMEOUT);
}

}  // namespace
