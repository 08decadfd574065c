// The COFF layer in memory: objects written and read back, damaged objects refused, libraries,
// the immediate sizes behind RIP-relative fields, the cutter's choices and failures, and the
// comparison of objects.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "coff/archive.h"
#include "coff/compare.h"
#include "coff/cutter.h"
#include "coff/object.h"

namespace brisko::coff {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

// An AMD64 object with a long section name, a symbol with an auxiliary record (so that list and
// file indexes differ), an uninitialized section and relocations of two kinds.
ObjectFile sample() {
  ObjectFile o;
  o.machine = kMachineAmd64;
  o.timestamp = 0x12345678;
  o.characteristics = 0x184;
  o.sections = {{".text",
                 0x60300020,
                 {0x90, 0xE8, 0, 0, 0, 0, 0x48, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0xC3},
                 0,
                 {{2, 2, kRelAmd64Rel32}, {8, 3, kRelAmd64Addr64}}},
                {".data_with_a_long_name", 0xC0300040, {1, 2, 3, 4}, 0, {}},
                {".bss", 0xC0300080, {}, 64, {}}};
  o.symbols = {{"a_rather_long_public", 1, 1, 0x20, kClassExternal, {}},
               {"data_sym", 0, 2, 0, kClassStatic, Bytes(18, 0xAB)},
               {"external", 0, kUndefinedSection, 0, kClassExternal, {}},
               {".text", 0, 1, 0, kClassStatic, {}}};
  return o;
}

// Places in sample()'s bytes: 3 section headers, 21 bytes of data, 2 relocations, 5 symbol
// records (one auxiliary), then the string table.
constexpr std::size_t kSections = 20, kRelocations = 161, kSymbols = 181, kStrings = 271;

void set32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

TEST(CoffObject, WrittenObjectsReadBackUnchanged) {
  ObjectFile overflowing = sample();
  overflowing.sections[0].relocations.assign(70000, {8, 3, kRelAmd64Addr64});
  for (const ObjectFile& object : {sample(), overflowing}) {
    const Bytes bytes = writeObject(object);
    const auto back = readObject(bytes);
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_TRUE(back.value() == object);
    EXPECT_TRUE(writeObject(back.value()) == bytes);
  }
  const Bytes bytes = writeObject(sample());
  ASSERT_EQ(bytes.size(), kStrings + 4 + 23 + 21);  // two long names and their NULs
  EXPECT_EQ(std::string(bytes.begin() + kSections + 40, bytes.begin() + kSections + 48),
            std::string("/4\0\0\0\0\0\0", 8));
  EXPECT_EQ(bytes[kRelocations + 4], 3);  // "external" and ".text" come after the aux record
  EXPECT_EQ(bytes[kRelocations + 14], 4);
}

TEST(CoffObject, DamagedObjectsAreRefusedWithAReason) {
  const Bytes good = writeObject(sample());
  for (std::size_t size = 0; size < good.size(); ++size) {
    EXPECT_FALSE(readObject(std::span(good).first(size)).ok()) << "cut to " << size;
  }
  struct Case {
    std::function<void(Bytes&)> damage;
    std::string error;
  };
  const std::vector<Case> cases = {
      {[](Bytes& b) { b[0] = 0xC0, b[1] = 0x01; }, "the machine 0x1C0 is neither i386 nor AMD64"},
      {[](Bytes& b) { b[0] = b[1] = 0, b[2] = b[3] = 0xFF; }, "import object or a big object"},
      {[](Bytes& b) { b[2] = 200; }, "the section table runs past the end"},
      {[](Bytes& b) { b[16] = 0xFF; }, "the section table runs past the end"},
      {[](Bytes& b) { set32(b, 12, 0x10000000); }, "the symbol table runs past the end"},
      {[](Bytes& b) { set32(b, 8, 0xFFFFFFF0); }, "the symbol table runs past the end"},
      {[](Bytes& b) { set32(b, kStrings, 5000); }, "the string table runs past the end"},
      {[](Bytes& b) { b.back() = 'x'; }, "a name runs past the end of the string table"},
      {[](Bytes& b) { set32(b, kSymbols + 4, 9999); }, "symbol 0: a name points outside"},
      {[](Bytes& b) { b[kSections + 40] = '/', b[kSections + 41] = 'x'; }, "neither short nor"},
      {[](Bytes& b) { b[kSections + 41] = b[kSections + 42] = '9'; },
       "the name of section 2: a name points outside"},
      {[](Bytes& b) { set32(b, kSections + 20, 0xFFFFFF00); }, "the data of section 1 runs past"},
      {[](Bytes& b) { b[kSections + 32] = 200; }, "the relocations of section 1 run past"},
      {[](Bytes& b) { set32(b, kSections + 24, 0xFFFFFFF0); }, "the relocations of section 1 run"},
      {[](Bytes& b) { b[kSections + 34] = 1, set32(b, kSections + 28, 0xFFFFFFF0); },
       "the line numbers of section 1 run past"},
      {[](Bytes& b) {
         b[kSections + 39] |= 0x01, b[kSections + 32] = b[kSections + 33] = 0xFF;
         set32(b, kRelocations, 0);
       },
       "the relocation count of section 1 is zero"},
      {[](Bytes& b) { set32(b, kSections + 104, kRelocations), b[kSections + 112] = 1; },
       "section 3 has relocations but no data"},
      {[](Bytes& b) { set32(b, kRelocations + 4, 99); }, "refers to symbol 99, past the end"},
      {[](Bytes& b) { set32(b, kRelocations + 4, 2); }, "refers to an auxiliary record"},
      {[](Bytes& b) { set32(b, kRelocations + 10, 15); }, "patches bytes past the end of the"},
      {[](Bytes& b) { b[kSymbols + 12] = 9; }, "stands in section 9, which does not exist"},
      {[](Bytes& b) { b[kSymbols + 12] = 0xFD, b[kSymbols + 13] = 0xFF; }, "section -3"},
      {[](Bytes& b) { b[kSymbols + 4 * 18 + 17] = 1; }, "the auxiliary records of symbol 4 run"},
  };
  for (const Case& c : cases) {
    Bytes bytes = good;
    c.damage(bytes);
    const auto result = readObject(bytes);
    ASSERT_FALSE(result.ok()) << c.error;
    EXPECT_THAT(result.error(), HasSubstr(c.error));
  }
}

TEST(CoffArchive, LinkerMembersIndexTheSymbolsAndReadBack) {
  const std::vector<ArchiveMember> members = {{"first.obj", {1, 2, 3}, {"zeta", "alpha"}},
                                              {"a_member_with_a_long_name.obj", {4, 5}, {}},
                                              {"third.obj", {6}, {"mid"}}};
  const auto written = writeArchive(members);
  ASSERT_TRUE(written.ok()) << written.error();
  const Bytes& bytes = written.value();
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.substr(0, 68),
            "!<arch>\n/               0                       0       31        `\n");
  EXPECT_THAT(text, HasSubstr("first.obj/      0                       100666  3         `\n"));
  EXPECT_THAT(text, HasSubstr("/0              0                       100666  2         `\n"));
  EXPECT_THAT(text, HasSubstr("//              0                       0       30        `\n"
                              "a_member_with_a_long_name.obj"));

  const auto archive = readArchive(bytes);
  ASSERT_TRUE(archive.ok()) << archive.error();
  ASSERT_EQ(archive.value().members.size(), 3u);
  for (std::size_t m = 0; m < 3; ++m) {
    EXPECT_EQ(archive.value().members[m].name, members[m].name);
    EXPECT_EQ(archive.value().members[m].data, members[m].data);
  }
  auto pairs = [](const std::vector<ArchiveSymbol>& index) {
    std::vector<std::pair<std::string, std::size_t>> out;
    for (const ArchiveSymbol& s : index) out.emplace_back(s.name, s.member);
    return out;
  };
  using P = std::vector<std::pair<std::string, std::size_t>>;
  EXPECT_EQ(pairs(archive.value().firstIndex), (P{{"zeta", 0}, {"alpha", 0}, {"mid", 2}}));
  EXPECT_EQ(pairs(archive.value().secondIndex), (P{{"alpha", 0}, {"mid", 2}, {"zeta", 0}}));

  for (const std::string& name : {std::string(), std::string("a/b.obj"), std::string("a\0b", 3)}) {
    EXPECT_FALSE(writeArchive({{name, {1}, {}}}).ok());
  }
  EXPECT_FALSE(writeArchive({{"x.obj", {1}, {""}}}).ok());
}

TEST(CoffArchive, PublicSymbolsAreThoseALinkerCanTakeFromTheMember) {
  ObjectFile o = sample();
  o.symbols.push_back({"common", 16, kUndefinedSection, 0, kClassExternal, {}});
  o.symbols.push_back({"absolute", 5, kAbsoluteSection, 0, kClassExternal, {}});
  o.symbols.push_back({"weak", 0, kUndefinedSection, 0, kClassWeakExternal, Bytes(18, 0)});
  o.symbols.push_back({"static_absolute", 5, kAbsoluteSection, 0, kClassStatic, {}});
  EXPECT_EQ(publicSymbolsOf(o),
            (std::vector<std::string>{"a_rather_long_public", "common", "absolute", "weak"}));
}

TEST(CoffCutter, ImmediateSizesBehindRipRelativeFields) {
  struct Case {
    Bytes code;  // up to the field
    std::vector<std::uint32_t> sizes;
  };
  const std::vector<Case> cases = {
      {{0xE8}, {0}},                             // call rel32
      {{0x0F, 0x84}, {0}},                       // jz rel32
      {{0x48, 0x8D, 0x05}, {0}},                 // lea rax, [x]
      {{0xFF, 0x35}, {0}},                       // push qword [x]
      {{0xC7, 0x05}, {4}},                       // mov dword [x], imm32
      {{0x48, 0xC7, 0x05}, {4}},                 // mov qword [x], imm32
      {{0x66, 0xC7, 0x05}, {2, 4}},              // mov word [x], imm16
      {{0x66, 0x48, 0x81, 0x05}, {4}},           // REX.W outweighs 0x66
      {{0xC6, 0x05}, {1}},                       // mov byte [x], imm8
      {{0x83, 0x3D}, {1}},                       // cmp dword [x], imm8
      {{0xF6, 0x05}, {1}},                       // test byte [x], imm8
      {{0xF7, 0x15}, {0}},                       // not dword [x]
      {{0x69, 0x05}, {4}},                       // imul eax, [x], imm32
      {{0x0F, 0xBA, 0x25}, {1, 0}},              // bt dword [x], imm8
      {{0x66, 0x0F, 0x3A, 0x0A, 0x05}, {1, 0}},  // roundss xmm0, [x], imm8
      {{0xC5, 0xF9, 0x70, 0x05}, {1, 0}},        // vpshufd xmm0, [x], imm8
      {{0xC4, 0xE3, 0xFD, 0x00, 0x05}, {1, 0}},  // vpermq ymm0, [x], imm8
      {{0x83, 0xF8, 0x0F, 0xC7, 0x05}, {4, 0}},  // cmp eax, 15 / mov dword [x], imm32
      {{0xF2, 0x0F, 0x10, 0x05}, {0}},           // movsd xmm0, [x]
  };
  for (const Case& c : cases) {
    Bytes code = c.code;
    code.insert(code.end(), 8, 0);
    EXPECT_EQ(immediateSizesAfter(code, c.code.size()), c.sizes)
        << ::testing::PrintToString(c.code);
  }
}

// i386: section 1 (.text) of member 1 refers with DIR32 fields into section 2 (.data) of member
// 2, where "pub" and "alias" stand at 4 and "next" at 8.
ObjectFile twoMembers(std::uint32_t field, std::uint16_t type = kRelI386Dir32) {
  ObjectFile o;
  o.sections = {{".text", 0x60300020, {0xA1, 0, 0, 0, 0, 0xC3}, 0, {{1, 3, type}}},
                {".data", 0xC0300040, Bytes(12, 0), 0, {}}};
  set32(o.sections[0].data, 1, field);
  o.symbols = {{"pub", 4, 2, 0, kClassExternal, {}},
               {"alias", 4, 2, 0, kClassExternal, {}},
               {"next", 8, 2, 0, kClassExternal, {}},
               {".data", 0, 2, 0, kClassStatic, {}},
               {".text", 0, 1, 0, kClassStatic, {}}};
  return o;
}

TEST(CoffCutter, CrossReferencesNameTheSymbolThePlanNeeds) {
  struct Case {
    std::uint32_t field;
    std::vector<std::string> needs;
    std::string symbol;
    std::uint32_t newField;
  };
  const std::vector<Case> cases = {
      {4, {}, "pub", 0},  {4, {"alias"}, "alias", 0}, {8, {"pub"}, "pub", 4},
      {8, {}, "next", 0}, {6, {}, "pub", 2},          {11, {"alias"}, "alias", 7},
  };
  for (const Case& c : cases) {
    const auto members = cutObject(twoMembers(c.field), {{{1}, c.needs}, {{2}, {}}});
    ASSERT_TRUE(members.ok()) << members.error();
    const ObjectFile& cut = members.value()[0];
    const Relocation& r = cut.sections[0].relocations.at(0);
    EXPECT_EQ(cut.symbols.at(r.symbol).name, c.symbol) << c.field;
    EXPECT_EQ(cut.symbols.at(r.symbol).section, kUndefinedSection);
    EXPECT_EQ(fieldValue(cut.sections[0], r, cut.machine), c.newField) << c.field;
    // The other member keeps its publics and gets its section symbol renumbered.
    EXPECT_EQ(members.value()[1].symbols.size(), 4u);
    EXPECT_EQ(members.value()[1].symbols.back().section, 1);
  }
}

TEST(CoffCutter, PlansAndReferencesThatCannotBeCutFail) {
  struct Case {
    ObjectFile object;
    std::vector<MemberPlan> plan;
    std::string error;
  };
  const std::vector<Case> cases = {
      {twoMembers(4), {{{1}, {}}, {{3}, {}}}, "names section 3, which the object does not have"},
      {twoMembers(4), {{{1}, {}}, {{0}, {}}}, "names section 0"},
      {twoMembers(4),
       {{{1, 2}, {}}, {{2}, {}}},
       "section 2 stands in the plans of members 1 and 2"},
      {twoMembers(4), {{{1}, {}}}, "refers to section 2, which no member's plan holds"},
      {twoMembers(2), {{{1}, {}}, {{2}, {}}}, "where no public symbol stands at or below"},
      {twoMembers(4, kRelI386Section), {{{1}, {}}, {{2}, {}}}, "relocation of type 0xA"},
      {twoMembers(4), {{{1}, {}}, {{2}, {"next"}}}, "needs 'next', which it defines itself"},
  };
  for (const Case& c : cases) {
    const auto members = cutObject(c.object, c.plan);
    ASSERT_FALSE(members.ok()) << c.error;
    EXPECT_THAT(members.error(), HasSubstr(c.error));
  }
}

TEST(CoffCompare, DifferencesAreFoundAndRelocatedFieldsLeftToTheRelocations) {
  EXPECT_THAT(compareObjects(sample(), sample()), IsEmpty());
  struct Case {
    std::function<void(ObjectFile&)> change;
    std::string difference;
  };
  const std::vector<Case> cases = {
      {[](ObjectFile& o) { o.sections[0].data[0] = 0xCC; }, "the bytes differ at 0x0"},
      {[](ObjectFile& o) { o.sections[0].data[2] = 7; }, "'external' + 7 against type 0x4 to 'ext"},
      {[](ObjectFile& o) { o.sections[0].relocations[1].type = kRelAmd64Addr32; },
       "type 0x2 to section 1 (.text) against type 0x1"},
      {[](ObjectFile& o) { o.symbols[2].name = "other"; }, "only the first object needs 'other'"},
      {[](ObjectFile& o) { o.symbols[0].value = 2; },
       "defines 'a_rather_long_public' in section 1 at 0x2"},
      {[](ObjectFile& o) { o.sections[1].characteristics = 0; }, "characteristics 0x0 against"},
      {[](ObjectFile& o) { o.sections[2].uninitializedSize = 8; }, "8 bytes against 64"},
      {[](ObjectFile& o) { o.sections[0].relocations.pop_back(); }, "1 relocations against 2"},
      {[](ObjectFile& o) { o.sections.pop_back(); }, "2 sections against 3"},
  };
  for (const Case& c : cases) {
    ObjectFile changed = sample();
    c.change(changed);
    EXPECT_THAT(compareObjects(changed, sample()), ::testing::Contains(HasSubstr(c.difference)))
        << c.difference;
  }
}

}  // namespace
}  // namespace brisko::coff
