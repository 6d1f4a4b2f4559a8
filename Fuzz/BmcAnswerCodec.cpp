#include "BmcAnswerCodec.h"

#include <algorithm>
#include <array>

namespace fuzz {

namespace {
enum Kind : uint8_t { kComplete = 0, kTransport = 1, kSilent = 2 };

// Transport statuses an interface may report; the last is a warning, which
// callers must take as success.
constexpr std::array<EFI_STATUS, 7> kTransportStatuses = {
    EFI_TIMEOUT, EFI_DEVICE_ERROR, EFI_NOT_READY, EFI_BUFFER_TOO_SMALL, EFI_UNSUPPORTED, EFI_NO_RESPONSE,
    EFI_WARN_BUFFER_TOO_SMALL};
}  // namespace

board::BmcAnswer ReadBmcAnswer(ByteReader& in) {
  switch (in.U8() % 3) {
    case kTransport: {
      board::BmcAnswer answer = board::BmcAnswer::TransportError(kTransportStatuses[in.U8() % kTransportStatuses.size()]);
      // A warning is a success: the BMC's bytes come with it.
      if (!EFI_ERROR(answer.transportStatus)) {
        answer.completionCode = in.U8();
        answer.payload = in.Bytes(in.U8() % 8);
      }
      return answer;
    }
    case kSilent:
      return board::BmcAnswer::Silent();
    default: {
      uint8_t completionCode = in.U8();
      return board::BmcAnswer::Complete(completionCode, in.Bytes(in.U8()));
    }
  }
}

void WriteBmcAnswer(ByteWriter& out, const board::BmcAnswer& answer) {
  if (answer.writeNothing) {
    out.U8(kSilent);
    return;
  }
  if (answer.transportStatus != EFI_SUCCESS) {
    out.U8(kTransport);
    auto known = std::find(kTransportStatuses.begin(), kTransportStatuses.end(), answer.transportStatus);
    out.U8(known == kTransportStatuses.end() ? 0 : static_cast<uint8_t>(known - kTransportStatuses.begin()));
    if (!EFI_ERROR(answer.transportStatus)) {
      out.U8(answer.completionCode);
      out.U8(static_cast<uint8_t>(std::min<size_t>(answer.payload.size(), 7)));
      out.Bytes(std::span(answer.payload).first(std::min<size_t>(answer.payload.size(), 7)));
    }
    return;
  }
  out.U8(kComplete);
  out.U8(answer.completionCode);
  const size_t length = std::min<size_t>(answer.payload.size(), 255);
  out.U8(static_cast<uint8_t>(length));
  out.Bytes(std::span(answer.payload).first(length));
}

std::vector<board::BmcAnswer> ReadBmcAnswers(ByteReader& in, unsigned maxCount) {
  std::vector<board::BmcAnswer> answers(in.U8() % (maxCount + 1));
  for (auto& answer : answers) answer = ReadBmcAnswer(in);
  return answers;
}

void WriteBmcAnswers(ByteWriter& out, const std::vector<board::BmcAnswer>& answers, unsigned maxCount) {
  const size_t count = std::min<size_t>(answers.size(), maxCount);
  out.U8(static_cast<uint8_t>(count));
  for (size_t i = 0; i < count; ++i) WriteBmcAnswer(out, answers[i]);
}

std::vector<board::BmcAnswer> ScriptedAnswers(const boardboot::BoardDescription& description, uint8_t netFn,
                                              uint8_t command, unsigned tries) {
  if (description.bmcDown) return std::vector(tries, board::BmcAnswer::TransportError(EFI_TIMEOUT));
  std::vector<board::BmcAnswer> answers;
  for (const auto& script : description.bmc)
    if (script.netFn == netFn && script.command == command)
      answers.insert(answers.end(), script.answers.begin(), script.answers.end());
  return answers;
}

}  // namespace fuzz
