#include "SelFile.h"

#include <fstream>

#include "Board/BoardError.h"

namespace boardboot {

void WriteRawSel(const std::string& path, const std::vector<board::SelEntry>& entries) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const auto& entry : entries) {
    if (entry.record.size() != 16)
      throw board::BoardError("SEL record " + std::to_string(entry.recordId) + " is not 16 bytes long");
    out.write(reinterpret_cast<const char*>(entry.record.data()), static_cast<std::streamsize>(entry.record.size()));
  }
  out.close();
  if (!out) throw board::BoardError("cannot write the SEL file " + path);
}

}  // namespace boardboot
