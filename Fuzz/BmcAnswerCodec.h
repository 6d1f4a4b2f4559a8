// One BMC answer to one try, as a harness reads it from its input: a
// completion with any code and payload, a transport status (errors and a
// warning), or success with nothing written.
#pragma once

#include "Board/Bmc.h"
#include "BoardDescription.h"
#include "ByteStream.h"

namespace fuzz {

board::BmcAnswer ReadBmcAnswer(ByteReader& in);
void WriteBmcAnswer(ByteWriter& out, const board::BmcAnswer& answer);

// A list of answers, at most maxCount of them.
std::vector<board::BmcAnswer> ReadBmcAnswers(ByteReader& in, unsigned maxCount);
void WriteBmcAnswers(ByteWriter& out, const std::vector<board::BmcAnswer>& answers, unsigned maxCount);


// The answers a board description gives one request, try by try; a BMC
// that is down times out on every try.
std::vector<board::BmcAnswer> ScriptedAnswers(const boardboot::BoardDescription& description, uint8_t netFn,
                                              uint8_t command, unsigned tries);

}  // namespace fuzz
