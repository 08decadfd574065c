// Writes the generated seeds of the listing_stages fuzz target into a folder: the listings of
// the shared listing builder (tests/support), each behind the selector byte that the target
// reads first (bit 0 library output, bits 1 to 4 the options).
//
//   listing_seeds FOLDER

#include <cstdio>
#include <fstream>
#include <string>

#include "listing_builder.h"

namespace {

bool writeSeed(const std::string& path, char selector, const std::string& listing) {
  std::ofstream out(path, std::ios::binary);
  out << selector << listing;
  return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: listing_seeds FOLDER\n", stderr);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  using brisko::testing::generateProgram;
  using brisko::testing::sampleListing;
  const bool written =
      writeSeed(folder + "sample_object", '\x12', sampleListing().text()) &&
      writeSeed(folder + "generated_library", '\x1F', generateProgram(12).listing) &&
      writeSeed(folder + "generated_object", '\x00', generateProgram(5).listing) &&
      writeSeed(folder + "generated_x64_library", '\x01', generateProgram(8, true).listing);
  if (!written) std::fprintf(stderr, "listing_seeds: cannot write into %s\n", argv[1]);
  return written ? 0 : 1;
}
