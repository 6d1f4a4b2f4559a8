// The "VM" serial codec of OpenIPMI's BMC simulator (the framing a virtual
// machine's external BMC device speaks): a message is the sequence byte,
// NetFn and LUN, the command, the data and a two's-complement checksum of
// them all, ended by 0xA0; a control message is ended by 0xA1. The three
// special bytes are sent as 0xAA followed by the byte OR 0x10, wherever they
// occur (sequence and checksum included).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace board::vm {

constexpr uint8_t kMessageEnd = 0xA0;
constexpr uint8_t kControlEnd = 0xA1;
constexpr uint8_t kEscape = 0xAA;
constexpr uint8_t kEscapeBit = 0x10;
// Control message the simulator greets with: 0xFF, then the version.
constexpr uint8_t kControlVersion = 0xFF;
// Longest unescaped frame accepted: header, completion code, 255 data bytes, checksum.
constexpr size_t kMaxFrameBytes = 3 + 1 + 255 + 1;

// One IPMI message on the link; for a response, data[0] is the completion code.
struct Message {
  uint8_t sequence = 0;
  uint8_t netFn = 0;  // 6 bits
  uint8_t lun = 0;    // 2 bits
  uint8_t command = 0;
  std::vector<uint8_t> data;
};

// The two's complement of the bytes' sum: adding it makes the sum 0.
uint8_t Checksum(std::span<const uint8_t> bytes);

// The bytes on the wire, escaped, checksum and end byte included.
std::vector<uint8_t> EncodeMessage(const Message& message);
std::vector<uint8_t> EncodeControl(std::span<const uint8_t> bytes);

struct Frame {
  enum class Kind { Message, Control, Broken };
  Kind kind = Kind::Message;
  std::vector<uint8_t> bytes;  // unescaped, end byte removed
  std::string problem;         // Broken: what was wrong with it
};

// A message frame as a message: at least header and checksum, checksum right.
std::variant<Message, std::string> ParseMessage(const Frame& frame);

// Cuts a byte stream into frames; bytes may arrive in any pieces.
class FrameDecoder {
 public:
  void Feed(std::span<const uint8_t> bytes);
  // The next complete frame, in order of arrival.
  std::optional<Frame> Next();
  void Reset();

 private:
  void Finish(Frame::Kind kind);

  std::vector<uint8_t> current_;
  bool escaped_ = false;
  std::string problem_;  // set once the current frame is known to be broken
  std::vector<Frame> ready_;
  size_t nextReady_ = 0;
};

}  // namespace board::vm
