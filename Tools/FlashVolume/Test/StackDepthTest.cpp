#include "StackDepth.h"

#include <gtest/gtest.h>

#include "Bytes.h"
#include "LinkerMap.h"

namespace flash {
namespace {

// As llvm-objdump prints it: a root with a frame, a branch with a deeper
// side, a direct call, a call through a pointer, a callee, and a dead loop
// whose call is followed by another function's code.
constexpr const char* kCode = R"(
image.efi:	file format coff-i386

Disassembly of section .text:

00000200 <.text>:
     200:      	pushl	%ebp
     201:      	movl	%esp, %ebp
     203:      	pushl	%esi
     204:      	andl	$-8, %esp
     207:      	subl	$440, %esp              # imm = 0x1B8
     20d:      	testl	%eax, %eax
     20f:      	je	0x224 <.text+0x24>
     211:      	js	0x221 <.text+0x21>
     213:      	pushl	$1
     215:      	pushl	$2
     217:      	calll	0x240 <.text+0x40>
     21c:      	addl	$8, %esp
     21f:      	jmp	0x22c <.text+0x2c>
     221:      	pushl	$3
     222:      	calll	0x250 <.text+0x50>
     224:      	pushl	%eax
     225:      	calll	*32(%eax)
     228:      	addl	$4, %esp
     22b:      	nop
     22c:      	leal	-4(%ebp), %esp
     22f:      	popl	%esi
     230:      	popl	%ebp
     231:      	retl
     232:      	int3
     240:      	pushl	%ebx
     241:      	subl	$12, %esp
     244:      	addl	$12, %esp
     247:      	popl	%ebx
     248:      	retl
     250:      	jmp	0x250 <.text+0x50>
     252:      	pushl	%eax
     253:      	retl
)";

TEST(StackDepth, FollowsFramesBranchesAndCalls) {
  const Disassembly code = ParseDisassembly(kCode);
  const std::vector<RootDepth> depths = StackDepths(code, {0x200, 0x240});
  ASSERT_EQ(depths.size(), 2u);
  // Return address, %ebp, %esi, up to 4 bytes of alignment, 440 of frame;
  // then two arguments, the return address and the callee's 16 bytes.
  EXPECT_EQ(depths[0].depth, 4u + 4 + 4 + 4 + 440 + 8 + 4 + 16);
  EXPECT_EQ(depths[1].depth, 4u + 16);
}

TEST(StackDepth, RefusesCodeItCannotFollow) {
  const std::string prefix = "00000200 <.text>:\n";
  const struct {
    const char* what;
    std::string code;
  } cases[] = {
    {"indirect jump", prefix + "     200:\tjmpl\t*(%eax)\n"},
    {"recursion", prefix + "     200:\tcalll\t0x200 <.text>\n     205:\tretl\n"},
    {"unknown write of %esp", prefix + "     200:\tmovl\t%eax, %esp\n     202:\tretl\n"},
    {"unbalanced paths", prefix + "     200:\tje\t0x203 <.text+0x3>\n     202:\tpushl\t%eax\n     203:\tretl\n"},
    {"runs off the code", prefix + "     200:\tpushl\t%eax\n"},
  };
  for (const auto& c : cases)
    EXPECT_THROW((void)StackDepths(ParseDisassembly(c.code), {0x200}), FlashError) << c.what;
}

TEST(LinkerMap, FindsTheCodeLengthAndSymbols) {
  const LinkerMap map = ParseLinkerMap(R"(
 Start         Length     Name                   Class
 0001:00000000 00000c3cH .text                   CODE
 0001:00000c3c 00000240H .rdata                  CODE
 0002:00000000 00000004H .data                   DATA

  Address         Publics by Value              Rva+Base               Lib:Object

 0001:00000000       __ModuleEntryPoint         0000000000000200     tg.efi.lto.obj
 0001:00000a58       _MemoryDiscoveredNotify    0000000000000c58     tg.efi.lto.obj
)");
  EXPECT_EQ(map.codeLength, 0xC3Cu);
  EXPECT_EQ(map.symbols.at(0), "__ModuleEntryPoint");
  EXPECT_EQ(map.symbols.at(0xA58), "_MemoryDiscoveredNotify");
  EXPECT_THROW((void)ParseLinkerMap("no sections here\n"), FlashError);
}

}  // namespace
}  // namespace flash
