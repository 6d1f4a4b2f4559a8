// HobLib's walk over a HOB list other modules wrote: it finds what a sound
// list holds, and ends (with nothing found) at a HOB it cannot step past.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <Library/HobLib.h>

namespace {

constexpr EFI_GUID kWanted = {0x6637C306, 0x4F05, 0x42CA, {0xA7, 0x3D, 0xF7, 0xA7, 0x6D, 0x70, 0x97, 0xA5}};
constexpr EFI_GUID kOther = {0x12345678, 0x1234, 0x5678, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}};

// A HOB list in 8-byte aligned memory, laid out HOB by HOB.
class ListBuilder {
 public:
  // A HOB that takes `bytes` of the list but says `length`.
  ListBuilder& Hob(uint16_t type, uint16_t length, uint16_t bytes, const EFI_GUID* name = nullptr) {
    const size_t at = used_;
    used_ += bytes;
    words_.resize((used_ + 7) / 8 + 1, 0);
    auto* header = reinterpret_cast<EFI_HOB_GENERIC_HEADER*>(Bytes() + at);
    header->HobType = type;
    header->HobLength = length;
    if (name != nullptr) std::memcpy(Bytes() + at + sizeof(EFI_HOB_GENERIC_HEADER), name, sizeof(EFI_GUID));
    offsets_.push_back(at);
    return *this;
  }
  ListBuilder& Guid(const EFI_GUID& name, uint16_t length = 32) {
    return Hob(EFI_HOB_TYPE_GUID_EXTENSION, length, std::max<uint16_t>(length, 32), &name);
  }
  ListBuilder& End() { return Hob(EFI_HOB_TYPE_END_OF_HOB_LIST, sizeof(EFI_HOB_GENERIC_HEADER), 8); }

  uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(words_.data()); }
  void* HobAt(size_t index) { return Bytes() + offsets_.at(index); }

 private:
  std::vector<uint64_t> words_;
  std::vector<size_t> offsets_;
  size_t used_ = 0;
};

TEST(HobLib, FindsTheFirstGuidHobOfItsNameInASoundList) {
  ListBuilder list;
  list.Hob(EFI_HOB_TYPE_MEMORY_POOL, 16, 16).Guid(kOther).Guid(kWanted, 40).Guid(kWanted).End();
  EXPECT_EQ(GetNextGuidHob(&kWanted, list.Bytes()), list.HobAt(2));
  EXPECT_EQ(GetNextHob(EFI_HOB_TYPE_GUID_EXTENSION, list.Bytes()), list.HobAt(1));
}

TEST(HobLib, AWalkEndsAtAHobItCannotStepPast) {
  struct Case {
    const char* what;
    uint16_t type;
    uint16_t length;
  };
  const Case cases[] = {
      {"a GUID HOB of length 0 (would never advance)", EFI_HOB_TYPE_GUID_EXTENSION, 0},
      {"a GUID HOB of length 4 (shorter than a header)", EFI_HOB_TYPE_GUID_EXTENSION, 4},
      {"a GUID HOB of length 36 (lands between HOBs)", EFI_HOB_TYPE_GUID_EXTENSION, 36},
      {"another HOB of length 0", EFI_HOB_TYPE_MEMORY_POOL, 0},
      {"another HOB of length 12", EFI_HOB_TYPE_MEMORY_POOL, 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ListBuilder list;
    list.Hob(c.type, c.length, 40, &kOther).Guid(kWanted).End();
    EXPECT_EQ(GetNextGuidHob(&kWanted, list.Bytes()), nullptr);
  }
}

TEST(HobLib, AGuidHobOfTheWantedNameIsReturnedWhateverItsLengthForItsReaderToJudge) {
  ListBuilder list;
  list.Guid(kOther).Hob(EFI_HOB_TYPE_GUID_EXTENSION, 0, 32, &kWanted).End();
  EXPECT_EQ(GetNextGuidHob(&kWanted, list.Bytes()), list.HobAt(1));
}

}  // namespace
