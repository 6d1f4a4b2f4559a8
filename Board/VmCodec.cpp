#include "VmCodec.h"

#include <cstdio>

namespace board::vm {

namespace {
bool IsSpecial(uint8_t byte) { return byte == kMessageEnd || byte == kControlEnd || byte == kEscape; }

std::string Hex(uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", byte);
  return text;
}

void PutEscaped(std::vector<uint8_t>& out, uint8_t byte) {
  if (IsSpecial(byte)) {
    out.push_back(kEscape);
    out.push_back(static_cast<uint8_t>(byte | kEscapeBit));
  } else {
    out.push_back(byte);
  }
}
}  // namespace

uint8_t Checksum(std::span<const uint8_t> bytes) {
  uint8_t sum = 0;
  for (uint8_t byte : bytes) sum = static_cast<uint8_t>(sum + byte);
  return static_cast<uint8_t>(-sum);
}

std::vector<uint8_t> EncodeMessage(const Message& message) {
  std::vector<uint8_t> plain = {message.sequence, static_cast<uint8_t>((message.netFn << 2) | (message.lun & 3)),
                                message.command};
  plain.insert(plain.end(), message.data.begin(), message.data.end());
  plain.push_back(Checksum(plain));
  std::vector<uint8_t> wire;
  wire.reserve(plain.size() * 2 + 1);
  for (uint8_t byte : plain) PutEscaped(wire, byte);
  wire.push_back(kMessageEnd);
  return wire;
}

std::vector<uint8_t> EncodeControl(std::span<const uint8_t> bytes) {
  std::vector<uint8_t> wire;
  for (uint8_t byte : bytes) PutEscaped(wire, byte);
  wire.push_back(kControlEnd);
  return wire;
}

std::variant<Message, std::string> ParseMessage(const Frame& frame) {
  if (frame.kind != Frame::Kind::Message) return std::string("not a message frame");
  const auto& b = frame.bytes;
  if (b.size() < 4) return "a message of " + std::to_string(b.size()) + " bytes is too short";
  if (Checksum(std::span(b).first(b.size() - 1)) != b.back()) return std::string("checksum mismatch");
  Message message;
  message.sequence = b[0];
  message.netFn = static_cast<uint8_t>(b[1] >> 2);
  message.lun = static_cast<uint8_t>(b[1] & 3);
  message.command = b[2];
  message.data.assign(b.begin() + 3, b.end() - 1);
  return message;
}

void FrameDecoder::Feed(std::span<const uint8_t> bytes) {
  for (uint8_t byte : bytes) {
    if (byte == kMessageEnd || byte == kControlEnd) {
      if (escaped_ && problem_.empty()) problem_ = "escape byte right before the end of the frame";
      Finish(byte == kMessageEnd ? Frame::Kind::Message : Frame::Kind::Control);
      continue;
    }
    if (!problem_.empty()) continue;  // skip to the end of a broken frame
    if (escaped_) {
      escaped_ = false;
      auto plain = static_cast<uint8_t>(byte & ~kEscapeBit);
      if ((byte & kEscapeBit) == 0 || !IsSpecial(plain)) {
        problem_ = "escape byte followed by " + Hex(byte) + ", which stands for no special byte";
        continue;
      }
      byte = plain;
    } else if (byte == kEscape) {
      escaped_ = true;
      continue;
    }
    if (current_.size() == kMaxFrameBytes) {
      problem_ = "frame longer than " + std::to_string(kMaxFrameBytes) + " bytes";
      current_.clear();
      continue;
    }
    current_.push_back(byte);
  }
}

void FrameDecoder::Finish(Frame::Kind kind) {
  Frame frame;
  frame.kind = problem_.empty() ? kind : Frame::Kind::Broken;
  frame.bytes = std::move(current_);
  frame.problem = std::move(problem_);
  ready_.push_back(std::move(frame));
  current_.clear();
  problem_.clear();
  escaped_ = false;
}

std::optional<Frame> FrameDecoder::Next() {
  if (nextReady_ == ready_.size()) {
    ready_.clear();
    nextReady_ = 0;
    return std::nullopt;
  }
  return std::move(ready_[nextReady_++]);
}

void FrameDecoder::Reset() {
  current_.clear();
  escaped_ = false;
  problem_.clear();
  ready_.clear();
  nextReady_ = 0;
}

}  // namespace board::vm
