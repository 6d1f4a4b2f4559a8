// The IPMI transport PPI answered by OpenIPMI's BMC simulator over an
// IpmiSimLink: every try becomes one request on the link; what the link
// could not deliver becomes an error status for the module.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "IpmiBackend.h"
#include "IpmiSimLink.h"

namespace board {

class IpmiSimBackend : public IpmiBackend {
 public:
  // description: one line saying which simulator this is, for the report.
  IpmiSimBackend(std::unique_ptr<IpmiSimLink> link, std::string description);

  EFI_STATUS Handle(uint8_t netFn, uint8_t lun, uint8_t command, const uint8_t* request, uint32_t requestLength,
                    uint8_t* response, uint8_t* responseLength) override;
  const std::vector<IpmiExchange>& Exchanges() const override { return exchanges_; }
  // Reads back, with Get SEL Entry, each record the BMC said it added.
  SelReadout AddedSel() override;
  std::vector<std::string> Summary() const override;

  IpmiSimLink& Link() { return *link_; }

  // What a module gets when the link fails.
  static EFI_STATUS StatusFor(LinkFailure failure);

 private:
  std::unique_ptr<IpmiSimLink> link_;
  std::string description_;
  std::vector<IpmiExchange> exchanges_;
  std::vector<uint16_t> addedRecordIds_;
  std::map<std::string, unsigned> failures_;  // tries that failed, by what went wrong
};

}  // namespace board
