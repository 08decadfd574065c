// The COFF layer on arbitrary bytes: reading an object or a library never crashes, hangs or
// allocates without bound. An object that reads back is written and read again to the same
// records, equals itself for compareObjects, and is cut into one member per section, whose
// members write and read back.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "coff/archive.h"
#include "coff/compare.h"
#include "coff/cutter.h"
#include "coff/object.h"

namespace coff = brisko::coff;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  (void)coff::readArchive(bytes);
  const auto object = coff::readObject(bytes);
  if (!object) return 0;
  const auto again = coff::readObject(coff::writeObject(object.value()));
  if (!again || !(again.value() == object.value())) std::abort();
  if (!coff::compareObjects(object.value(), again.value()).empty()) std::abort();

  std::vector<coff::MemberPlan> plan(object.value().sections.size());
  for (std::uint32_t s = 0; s < plan.size(); ++s) plan[s].sections = {s + 1};
  const auto members = coff::cutObject(object.value(), plan);
  if (!members) return 0;
  for (const coff::ObjectFile& member : members.value()) {
    if (!coff::readObject(coff::writeObject(member))) std::abort();
  }
  return 0;
}
