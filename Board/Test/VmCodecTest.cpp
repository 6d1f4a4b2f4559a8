// The VM serial codec: frames as OpenIPMI's simulator sends and accepts them
// (the byte strings below were captured from it), escaping, and what happens
// to damaged input.
#include <gtest/gtest.h>

#include <variant>

#include "Board/VmCodec.h"

namespace {

using board::vm::Frame;
using board::vm::FrameDecoder;
using board::vm::Message;
using Bytes = std::vector<uint8_t>;

std::vector<Frame> DecodeAll(const Bytes& wire) {
  FrameDecoder decoder;
  decoder.Feed(wire);
  std::vector<Frame> frames;
  while (auto frame = decoder.Next()) frames.push_back(*frame);
  return frames;
}

Message ParseOk(const Frame& frame) {
  auto parsed = board::vm::ParseMessage(frame);
  EXPECT_TRUE(std::holds_alternative<Message>(parsed)) << std::get<std::string>(parsed);
  return std::holds_alternative<Message>(parsed) ? std::get<Message>(parsed) : Message{};
}

TEST(VmCodec, RequestsEncodeAsTheSimulatorAcceptsThem) {
  struct Case {
    const char* what;
    Message message;
    Bytes wire;
  };
  const Case cases[] = {
      {"plain", {0x3C, 0x06, 0, 0x01, {}}, {0x3C, 0x18, 0x01, 0xAB, 0xA0}},
      {"sequence 0xA0 escaped", {0xA0, 0x06, 0, 0x01, {}}, {0xAA, 0xB0, 0x18, 0x01, 0x47, 0xA0}},
      {"sequence 0xA1 escaped", {0xA1, 0x06, 0, 0x01, {}}, {0xAA, 0xB1, 0x18, 0x01, 0x46, 0xA0}},
      {"sequence 0xAA escaped", {0xAA, 0x06, 0, 0x01, {}}, {0xAA, 0xBA, 0x18, 0x01, 0x3D, 0xA0}},
      {"checksum 0xAA escaped", {0x3D, 0x06, 0, 0x01, {}}, {0x3D, 0x18, 0x01, 0xAA, 0xBA, 0xA0}},
      {"LUN in the low bits", {0x01, 0x3C, 2, 0x05, {0x32}}, {0x01, 0xF2, 0x05, 0x32, 0xD6, 0xA0}},
      {"data escaped",
       {0x10, 0x0A, 0, 0x44, {0, 0, 2, 0, 0, 0, 0, 0x21, 0, 4, 0x0C, 0xFD, 0x6F, 0xA0, 0xAA, 0xA1}},
       {0x10, 0x28, 0x44, 0, 0, 2, 0, 0, 0, 0, 0x21, 0, 4, 0x0C, 0xFD, 0x6F, 0xAA, 0xB0, 0xAA, 0xBA, 0xAA, 0xB1, 0xFA,
        0xA0}},
  };
  for (const auto& c : cases) EXPECT_EQ(board::vm::EncodeMessage(c.message), c.wire) << c.what;
}

TEST(VmCodec, RepliesOfTheSimulatorDecode) {
  // Get Device ID answered under sequence 0xA0, an Add SEL Entry reply, and
  // Get SEL Entry returning a record whose event data are the three special bytes.
  const Bytes wire = {0xAA, 0xB0, 0x1C, 0x01, 0x00, 0x00, 0x03, 0x09, 0x08, 0x02, 0x9F, 0x91, 0x12, 0x00, 0x02, 0x0F,
                      0x00, 0x00, 0x00, 0x00, 0xDA, 0xA0,  //
                      0x10, 0x2C, 0x44, 0x00, 0x01, 0x00, 0x7F, 0xA0,  //
                      0x11, 0x2C, 0x43, 0x00, 0xFF, 0xFF, 0x01, 0x00, 0x02, 0x8A, 0x02, 0x00, 0x00, 0x21, 0x00,
                      0x04, 0x0C, 0xFD, 0x6F, 0xAA, 0xB0, 0xAA, 0xBA, 0xAA, 0xB1, 0x6B, 0xA0};
  auto frames = DecodeAll(wire);
  ASSERT_EQ(frames.size(), 3u);

  Message deviceId = ParseOk(frames[0]);
  EXPECT_EQ(deviceId.sequence, 0xA0);
  EXPECT_EQ(deviceId.netFn, 0x07);
  EXPECT_EQ(deviceId.command, 0x01);
  ASSERT_EQ(deviceId.data.size(), 16u);
  EXPECT_EQ(deviceId.data[0], 0x00);  // completion code

  Message added = ParseOk(frames[1]);
  EXPECT_EQ(added.netFn, 0x0B);
  EXPECT_EQ(added.data, (Bytes{0x00, 0x01, 0x00}));

  Message entry = ParseOk(frames[2]);
  ASSERT_EQ(entry.data.size(), 19u);
  EXPECT_EQ((Bytes(entry.data.end() - 3, entry.data.end())), (Bytes{0xA0, 0xAA, 0xA1}));
}

TEST(VmCodec, EveryByteValueRoundTripsWhereverItStands) {
  for (unsigned value = 0; value < 256; ++value) {
    auto byte = static_cast<uint8_t>(value);
    Message message{byte, static_cast<uint8_t>(byte >> 2), static_cast<uint8_t>(byte & 3), byte, {byte, 0x00, byte}};
    Bytes wire = board::vm::EncodeMessage(message);
    // Only the last byte ends the frame; no special byte appears unescaped.
    for (size_t i = 0; i + 1 < wire.size(); ++i) {
      EXPECT_NE(wire[i], 0xA0) << value;
      EXPECT_NE(wire[i], 0xA1) << value;
      if (wire[i] == 0xAA) EXPECT_TRUE(i + 1 < wire.size() - 1 && (wire[i + 1] & 0x10)) << value;
    }
    auto frames = DecodeAll(wire);
    ASSERT_EQ(frames.size(), 1u) << value;
    Message back = ParseOk(frames[0]);
    EXPECT_EQ(back.sequence, message.sequence);
    EXPECT_EQ(back.netFn, message.netFn);
    EXPECT_EQ(back.lun, message.lun);
    EXPECT_EQ(back.command, message.command);
    EXPECT_EQ(back.data, message.data);
  }
}

TEST(VmCodec, FramesComeOutTheSameHoweverTheBytesArrive) {
  // The greeting (version 1, then a control message without attention), then a reply.
  Bytes wire = {0xFF, 0x01, 0xA1, 0x00, 0xA1};
  Bytes reply = board::vm::EncodeMessage({0xAA, 0x0B, 0, 0x44, {0x00, 0xA0, 0x00}});
  wire.insert(wire.end(), reply.begin(), reply.end());

  FrameDecoder decoder;
  std::vector<Frame> frames;
  for (uint8_t byte : wire) {
    decoder.Feed(Bytes{byte});
    while (auto frame = decoder.Next()) frames.push_back(*frame);
  }
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].kind, Frame::Kind::Control);
  EXPECT_EQ(frames[0].bytes, (Bytes{0xFF, 0x01}));
  EXPECT_EQ(frames[1].kind, Frame::Kind::Control);
  EXPECT_EQ(ParseOk(frames[2]).data, (Bytes{0x00, 0xA0, 0x00}));
}

TEST(VmCodec, DamagedFramesAreReportedAndTheNextFrameStillDecodes) {
  const Bytes good = board::vm::EncodeMessage({0x05, 0x07, 0, 0x01, {0x00}});
  struct Case {
    const char* what;
    Bytes damaged;
    bool broken;          // the decoder already rejects it
    const char* problem;  // what ParseMessage or the decoder says
  };
  const Case cases[] = {
      {"checksum off by one", {0x05, 0x1C, 0x01, 0x00, 0xDF, 0xA0}, false, "checksum mismatch"},
      {"too short", {0x05, 0x1C, 0xA0}, false, "too short"},
      {"escape of an ordinary byte", {0x05, 0xAA, 0x41, 0x01, 0x00, 0xDE, 0xA0}, true, "stands for no special byte"},
      {"escape right before the end", {0x05, 0x1C, 0xAA, 0xA0}, true, "before the end"},
      {"no end for too long", Bytes(400, 0x11), true, "longer than"},
  };
  for (const auto& c : cases) {
    Bytes wire = c.damaged;
    if (wire.back() != 0xA0) wire.push_back(0xA0);
    wire.insert(wire.end(), good.begin(), good.end());
    auto frames = DecodeAll(wire);
    ASSERT_EQ(frames.size(), 2u) << c.what;
    std::string problem = frames[0].problem;
    if (!c.broken) {
      auto parsed = board::vm::ParseMessage(frames[0]);
      ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.what;
      problem = std::get<std::string>(parsed);
    }
    EXPECT_EQ(frames[0].kind == Frame::Kind::Broken, c.broken) << c.what;
    EXPECT_NE(problem.find(c.problem), std::string::npos) << c.what << ": " << problem;
    EXPECT_EQ(ParseOk(frames[1]).sequence, 0x05) << c.what;
  }
}

}  // namespace
