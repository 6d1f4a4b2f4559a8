#include "StackDepth.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "Bytes.h"

namespace flash {
namespace {

struct Summary {
  std::uint32_t depth = 0;  // deepest point below the return address
  std::uint32_t popped = 0; // argument bytes the function pops on return (ret $N)
  bool returns = false;     // false for a function with no path to a return (a dead loop)
};

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

std::optional<std::uint32_t> Immediate(std::string_view operands, std::string_view suffix) {
  // "$440, %esp" with suffix ", %esp"
  if (operands.size() < 2 || operands[0] != '$' || !operands.ends_with(suffix)) return std::nullopt;
  const std::string number(operands.substr(1, operands.size() - 1 - suffix.size()));
  try {
    return static_cast<std::uint32_t>(std::stoll(number, nullptr, 0));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<std::uint32_t> DirectTarget(std::string_view operands) {
  if (!operands.starts_with("0x")) return std::nullopt;
  return static_cast<std::uint32_t>(std::stoul(std::string(operands), nullptr, 16));
}

class Analysis {
 public:
  explicit Analysis(const Disassembly& code) : code_(code) {}

  Summary Function(std::uint32_t start) {
    if (auto done = summaries_.find(start); done != summaries_.end()) return done->second;
    if (!active_.insert(start).second) throw FlashError("recursion through " + Hex(start));
    Summary summary = Walk(start);
    active_.erase(start);
    summaries_[start] = summary;
    return summary;
  }

 private:
  struct State {
    std::uint32_t address;
    std::int64_t depth;
    std::optional<std::int64_t> frame;  // depth when %ebp took %esp
  };

  Summary Walk(std::uint32_t start) {
    Summary summary;
    std::map<std::uint32_t, std::int64_t> seen;
    std::vector<State> pending = {{start, 0, std::nullopt}};
    auto deepen = [&](std::int64_t depth) {
      summary.depth = std::max<std::uint32_t>(summary.depth, static_cast<std::uint32_t>(std::max<std::int64_t>(depth, 0)));
    };
    while (!pending.empty()) {
      State state = pending.back();
      pending.pop_back();
      for (;;) {
        auto found = code_.find(state.address);
        if (found == code_.end()) throw FlashError("no instruction at " + Hex(state.address));
        if (auto [at, inserted] = seen.emplace(state.address, state.depth); !inserted) {
          if (at->second != state.depth)
            throw FlashError("paths reach " + Hex(state.address) + " at different stack depths");
          break;
        }
        const Instruction& insn = found->second;
        const std::string& m = insn.mnemonic;
        const std::string& ops = insn.operands;
        std::uint32_t next = insn.next;
        bool ends = false;
        if (m.starts_with("push")) {
          state.depth += m == "pushw" ? 2 : (m == "pushal" ? 32 : 4);
        } else if (m.starts_with("pop")) {
          state.depth -= m == "popw" ? 2 : (m == "popal" ? 32 : 4);
        } else if (m == "int3" || m == "ud2" || m == "hlt") {
          ends = true;  // after a call that does not return: padding or a trap
        } else if (m.starts_with("ret")) {
          if (state.depth != 0)
            throw FlashError("return at " + Hex(state.address) + " with " + std::to_string(state.depth) +
                             " bytes of its own on the stack");
          if (auto popped = Immediate(ops, "")) summary.popped = std::max(summary.popped, *popped);
          summary.returns = true;
          ends = true;
        } else if (m == "leave" || m == "leavel") {
          if (!state.frame) throw FlashError("leave without a frame at " + Hex(state.address));
          state.depth = *state.frame - 4;
        } else if (m.starts_with("call")) {
          std::uint32_t callee = 0;
          if (auto target = DirectTarget(ops)) {
            const Summary inner = Function(*target);
            callee = inner.depth;
            deepen(state.depth + 4 + callee);
            state.depth -= inner.popped;
            ends = !inner.returns;  // what follows belongs to another function
          } else {
            deepen(state.depth + 4);  // leaves the module
          }
        } else if (m.starts_with("j")) {
          auto target = DirectTarget(ops);
          if (!target) throw FlashError("indirect jump at " + Hex(state.address) + ": targets unknown");
          if (m == "jmp" || m == "jmpl") {
            next = *target;
          } else {
            pending.push_back({*target, state.depth, state.frame});
          }
        } else if (ops.ends_with("%esp") || ops.ends_with("%ebp")) {
          Adjust(state, m, ops);
        }
        deepen(state.depth);
        if (ends) break;
        state.address = next;
      }
    }
    return summary;
  }

  // An instruction whose destination is %esp or %ebp.
  void Adjust(State& state, const std::string& m, const std::string& ops) {
    if (ops.ends_with("%ebp")) {
      if (m == "movl" && ops == "%esp, %ebp") state.frame = state.depth;
      return;  // other writes of %ebp do not move the stack
    }
    if (m == "subl") {
      if (auto n = Immediate(ops, ", %esp")) return void(state.depth += *n);
    } else if (m == "addl") {
      if (auto n = Immediate(ops, ", %esp")) return void(state.depth -= *n);
    } else if (m == "andl") {
      // Aligning down moves the stack by up to the alignment less the 4 it already has.
      if (auto n = Immediate(ops, ", %esp")) return void(state.depth += (std::int64_t{1} << __builtin_ctz(*n)) - 4);
    } else if (m == "movl" && ops == "%ebp, %esp" && state.frame) {
      return void(state.depth = *state.frame);
    } else if (m == "leal" && ops.ends_with("(%ebp), %esp") && state.frame) {
      const std::int64_t offset = std::stoll(ops.substr(0, ops.find('(')), nullptr, 0);
      return void(state.depth = *state.frame - offset);
    } else if (m.starts_with("cmp") || m.starts_with("test")) {
      return;
    }
    throw FlashError("unknown stack pointer change at " + Hex(state.address) + ": " + m + " " + ops);
  }

  const Disassembly& code_;
  std::map<std::uint32_t, Summary> summaries_;
  std::set<std::uint32_t> active_;
};

}  // namespace

std::vector<RootDepth> StackDepths(const Disassembly& code, const std::vector<std::uint32_t>& roots) {
  Analysis analysis(code);
  std::vector<RootDepth> depths;
  for (std::uint32_t root : roots) depths.push_back({root, 4 + analysis.Function(root).depth});
  return depths;
}

}  // namespace flash
