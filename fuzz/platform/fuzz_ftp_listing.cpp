// FTP listings from any bytes, read as MLSD, LIST and NLST: no entry names a folder part,
// "." or "..", and no name is longer than the listing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ftp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (PlatformFtpListingForm form :
       {PlatformFtpListingForm::kMachine, PlatformFtpListingForm::kLong, PlatformFtpListingForm::kNames}) {
    size_t recognized = 0;
    for (const PlatformFtpEntry& entry : PlatformParseFtpListing(text, form, &recognized)) {
      if (!PlatformFtpNameIsPlain(entry.name) || entry.name.size() > size) abort();
      if (entry.name.find_first_of("/\\") != std::string::npos || entry.name == "." || entry.name == "..") abort();
    }
  }
  return 0;
}
