// The COFF layer on objects of the real FASM: write(read(object)) gives FASM's bytes back; a
// combined source cut into members gives what each member's own source assembles to; a library
// of cut members is read by the LLVM tools and polib, linked for Windows and run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "coff/archive.h"
#include "coff/compare.h"
#include "coff/cutter.h"
#include "coff/object.h"
#include "run_program.h"
#include "run_x86.h"

namespace {

namespace coff = brisko::coff;
namespace ts = brisko::testsupport;
using ::testing::HasSubstr;

// One future library member: its "public" and "extrn" lines and its sections.
struct MemberSource {
  std::string name;
  std::string publics;
  std::string externs;
  std::string body;
};

struct CombinedSource {
  std::string format;
  std::string externs;  // of the combined source: the truly external symbols
  std::vector<MemberSource> members;

  std::string combined() const {
    std::string text = "format " + format + "\n" + externs;
    for (const MemberSource& m : members) text += m.publics;
    for (const MemberSource& m : members) text += m.body;
    return text;
  }
  std::string alone(const MemberSource& m) const {
    return "format " + format + "\n" + m.publics + m.externs + m.body;
  }
  // Sections are numbered across the members' bodies; needs are the names the extrn lines give.
  std::vector<coff::MemberPlan> plan() const {
    std::vector<coff::MemberPlan> plans;
    std::uint32_t section = 0;
    const std::regex sectionLine("^section ", std::regex::multiline);
    const std::regex externLine("^extrn (?:'([^']+)'|(\\S+))", std::regex::multiline);
    for (const MemberSource& m : members) {
      coff::MemberPlan p;
      for (auto it = std::sregex_iterator(m.body.begin(), m.body.end(), sectionLine);
           it != std::sregex_iterator(); ++it) {
        p.sections.push_back(++section);
      }
      for (auto it = std::sregex_iterator(m.externs.begin(), m.externs.end(), externLine);
           it != std::sregex_iterator(); ++it) {
        p.needs.push_back((*it)[1].matched ? (*it)[1].str() : (*it)[2].str());
      }
      plans.push_back(std::move(p));
    }
    return plans;
  }
};

// A program in three members: code and its data, a table, a reader of the table. References
// within a section, across sections of a member and across members; absolute and PC-relative;
// data referring to data; an addend inside a symbol ("table+4", where the unneeded public
// second_item stands); a public alias (count as 'item_count'); a truly external function.
// get_total returns 1 + 2 + 40 + (2 + 40) + 500 + 1000 (+ 3 on AMD64).
const CombinedSource kProgram32{
    "MS COFF",
    "extrn ext_offset\n",
    {{"m_total", "public get_total\n",
      "extrn table\nextrn 'item_count' as count\nextrn read_second\nextrn ext_offset\n",
      "section '.text' code readable executable\n"
      "get_total:\n push ebx\n mov eax, [table]\n add eax, [table+4]\n add eax, [count]\n"
      " mov ebx, eax\n call read_second\n add ebx, eax\n call ext_offset\n add ebx, eax\n"
      " add ebx, [own_value]\n call check_pointer\n jne .bad\n mov eax, ebx\n pop ebx\n ret\n"
      ".bad:\n mov eax, -1\n pop ebx\n ret\n"
      "check_pointer:\n mov eax, [own_pointer]\n cmp eax, get_total\n ret\n"
      "section '.data' data readable writeable\nown_value dd 1000\nown_pointer dd get_total\n"},
     {"the_table_member_data",
      "public first_item\npublic table\npublic second_item\n"
      "public count as 'item_count'\n",
      "",
      "section '.data' data readable writeable\n"
      "first_item:\ntable dd 1\nsecond_item dd 2, 3\ncount dd 40\n"},
     {"m_reader", "public read_second\npublic pointers\n",
      "extrn table\nextrn 'item_count' as count\n",
      "section '.text' code readable executable\n"
      "read_second:\n mov eax, [pointers+4]\n mov eax, [eax]\n mov ecx, [pointers+8]\n"
      " add eax, [ecx]\n ret\n"
      "section '.data' data readable writeable\npointers dd table, table+4, count\n"}}};

const CombinedSource kProgram64{
    "MS64 COFF",
    "extrn ext_offset\n",
    {{"m_total", "public get_total\n",
      "extrn table\nextrn 'item_count' as count\nextrn read_second\nextrn ext_offset\n",
      "section '.text' code readable executable\n"
      "get_total:\n push rbx\n sub rsp, 32\n mov eax, dword [table]\n add eax, dword [table+4]\n"
      " add eax, dword [count]\n cmp dword [count], 40\n jne .bad\n cmp dword [table+8], 3\n"
      " jne .bad\n mov ebx, eax\n call read_second\n add ebx, eax\n call ext_offset\n"
      " add ebx, eax\n add ebx, [own_value]\n mov rax, [own_pointer]\n lea rcx, [get_total]\n"
      " cmp rax, rcx\n jne .bad\n mov rax, table+8\n add ebx, [rax]\n mov eax, ebx\n"
      " add rsp, 32\n pop rbx\n ret\n"
      ".bad:\n mov eax, -1\n add rsp, 32\n pop rbx\n ret\n"
      "section '.data' data readable writeable\nown_value dd 1000\nown_pointer dq get_total\n"},
     kProgram32.members[1],
     {"m_reader", "public read_second\npublic pointers\n",
      "extrn table\nextrn 'item_count' as count\n",
      "section '.text' code readable executable\n"
      "read_second:\n mov rax, [pointers+8]\n mov eax, [rax]\n mov rcx, [pointers+16]\n"
      " add eax, [rcx]\n ret\n"
      "section '.data' data readable writeable\npointers dq table, table+4, count\n"}}};

// AMD64 RIP-relative operands followed by immediates, where FASM's field holds the target less
// the immediate's size: "mov dword [b_long], 7" has the field of a_long. Also immediates behind
// bytes that look like prefixes or escapes, VEX and 0F 3A forms, ADDR32 and ADDR64.
const CombinedSource kImmediates64{
    "MS64 COFF",
    "",
    {{"m_data", "public a_long\npublic b_long\npublic words\npublic bytes_\npublic big\n", "",
      "section '.data' data readable writeable\n"
      "a_long dd 1\nb_long dd 2\nwords dw 1, 2, 3, 4\nbytes_ db 1, 2, 3, 4\nbig dq 5\n"},
     {"m_code", "",
      "extrn a_long\nextrn b_long\nextrn words\nextrn bytes_\nextrn big\nextrn far_fn\n",
      "section '.text' code readable executable\n"
      " mov dword [b_long], 7\n mov word [words+2], 9\n mov byte [bytes_+1], 3\n"
      " cmp al, 0x66\n mov dword [b_long], 8\n cmp eax, 15\n mov dword [a_long], 9\n"
      " bt dword [b_long], 3\n vpshufd xmm0, dqword [big], 1\n roundss xmm0, dword [big], 1\n"
      " shl dword [b_long], 3\n imul eax, [b_long], 1000\n test byte [bytes_+2], 1\n"
      " mov eax, big\n mov rax, big+8\n lea rax, [big]\n jmp far_fn\n dd b_long\n dq bytes_+3\n"},
     {"m_far", "public far_fn\n", "", "section '.text' code readable executable\nfar_fn: ret\n"}}};

// i386: image-relative (rva) fields, conditional and plain jumps across members, a static public.
const CombinedSource kKinds32{
    "MS COFF",
    "extrn ExitProcess\n",
    {{"k_data", "public a_long\npublic b_long\n", "",
      "section '.data' data readable writeable\na_long dd 1\nb_long dd 2, 3\n"},
     {"k_code", "public static helper\n", "extrn b_long\nextrn far_fn\nextrn ExitProcess\n",
      "section '.text' code readable executable\n"
      "helper:\n mov dword [b_long], 7\n cmp eax, [b_long+4]\n jz far_fn\n"
      " call ExitProcess\n jmp far_fn\n dd rva b_long\n dd rva b_long+2\n dd rva helper\n"},
     {"k_far", "public far_fn\n", "", "section '.text' code readable executable\nfar_fn: ret\n"}}};

class CoffFasm : public ::testing::Test {
 protected:
  coff::Bytes assemble(const std::string& name, const std::string& source) {
    folder_.write(name + ".asm", source);
    std::string log;
    if (!ts::assembleFasm(folder_.file(name + ".asm"), folder_.file(name + ".obj"), &log)) {
      ADD_FAILURE() << "FASM failed on " << name << ":\n" << log << source;
      return {};
    }
    return ts::readBytes(folder_.file(name + ".obj"));
  }

  static coff::ObjectFile read(const coff::Bytes& bytes) {
    auto object = coff::readObject(bytes);
    EXPECT_TRUE(object.ok()) << object.error();
    return object ? object.value() : coff::ObjectFile{};
  }

  // Cuts the combined source's object and checks every member against its own assembly: equal
  // for compareObjects and, with FASM's time stamp, byte for byte.
  std::vector<coff::ObjectFile> cutAndCheck(const CombinedSource& source) {
    const coff::ObjectFile combined = read(assemble("combined", source.combined()));
    auto members = coff::cutObject(combined, source.plan());
    if (!members) {
      ADD_FAILURE() << members.error();
      return {};
    }
    for (std::size_t m = 0; m < source.members.size(); ++m) {
      const MemberSource& member = source.members[m];
      const coff::Bytes alone = assemble(member.name, source.alone(member));
      coff::ObjectFile cut = members.value()[m];
      EXPECT_THAT(coff::compareObjects(cut, read(alone)), ::testing::IsEmpty()) << member.name;
      cut.timestamp = read(alone).timestamp;
      EXPECT_TRUE(coff::writeObject(cut) == alone) << member.name << " is not FASM's bytes";
    }
    return members.value();
  }

  ts::ScratchFolder folder_;
};

TEST_F(CoffFasm, WritingWhatWasReadGivesFasmsBytes) {
  const std::vector<std::pair<std::string, std::string>> sources = {
      {"program32", kProgram32.combined()},
      {"program64", kProgram64.combined()},
      {"immediates64", kImmediates64.combined()},
      {"names",
       "format MS64 COFF\npublic a_long_public_name\nextrn an_external_long_name\n"
       "public static local_name_here\nsection '.bss' readable writeable\nrb 16\n"
       "section '.text' code readable executable align 16\n"
       "a_long_public_name: call an_external_long_name\nlocal_name_here: ret\n"
       "section '.empty' data readable\nsection '.udata' data readable writeable\nrd 4\n"},
  };
  for (const auto& [name, source] : sources) {
    const coff::Bytes bytes = assemble(name, source);
    EXPECT_TRUE(coff::writeObject(read(bytes)) == bytes) << name;
  }
}

TEST_F(CoffFasm, CutMembersEqualTheMembersAssembledAlone) {
  for (const CombinedSource* source : {&kProgram32, &kProgram64, &kImmediates64, &kKinds32}) {
    SCOPED_TRACE(source->format + " " + source->members[0].name);
    EXPECT_EQ(cutAndCheck(*source).size(), source->members.size());
  }
}

TEST_F(CoffFasm, AReferenceToAnUnpublishedLabelOfAnotherMemberFails) {
  const CombinedSource source{
      "MS COFF",
      "",
      {{"a", "", "", "section '.text' code readable executable\n mov eax, [hidden]\n"},
       {"b", "public later\n", "",
        "section '.data' data readable writeable\nhidden dd 1\nlater dd 2\n"}}};
  const auto members =
      coff::cutObject(read(assemble("combined", source.combined())), source.plan());
  ASSERT_FALSE(members.ok());
  EXPECT_THAT(members.error(), HasSubstr("member 1 refers to offset 0x0 of section 2 in member 2, "
                                         "where no public symbol stands at or below"));
}

// The cut members of the program packed into a library: what the LLVM tools list, the stand-in
// polib taking the same members, links for Windows and a run.
TEST_F(CoffFasm, LibrariesOfCutMembersLinkAndRun) {
  struct Target {
    const CombinedSource* source;
    const char* polibMachine;
    std::string harness;
  };
  const std::string harnessBody =
      "int HARNESS_CALL ext_offset(void) { return 500; }\n"
      "int harness_main(void) {\n  harness_print_int(get_total());\n  harness_print(\"\\n\");\n"
      "  return 0;\n}\n";
  const std::vector<Target> targets = {
      {&kProgram32, "/machine:x86",
       "#include \"x86_harness.h\"\n#define HARNESS_CALL HARNESS_CDECL\n"
       "int HARNESS_CALL get_total(void) __asm__(\"get_total\");\n"
       "int HARNESS_CALL ext_offset(void) __asm__(\"ext_offset\");\n" +
           harnessBody},
      {&kProgram64, "/machine:x64",
       "#include \"x64_harness.h\"\n#define HARNESS_CALL HARNESS_MSABI\n"
       "int HARNESS_CALL get_total(void) __asm__(\"get_total\");\n"
       "int HARNESS_CALL ext_offset(void) __asm__(\"ext_offset\");\n" +
           harnessBody}};
  for (const Target& target : targets) {
    const bool wide = target.source == &kProgram64;
    SCOPED_TRACE(target.source->format);
    const std::vector<coff::ObjectFile> cut = cutAndCheck(*target.source);
    ASSERT_EQ(cut.size(), 3u);
    std::vector<coff::ArchiveMember> members;
    std::vector<std::string> objectFiles;
    for (std::size_t m = 0; m < cut.size(); ++m) {
      const std::string name = target.source->members[m].name + ".obj";
      members.push_back({name, coff::writeObject(cut[m]), coff::publicSymbolsOf(cut[m])});
      objectFiles.push_back(folder_.file("cut_" + name));
      std::ofstream(objectFiles.back(), std::ios::binary)
          .write(reinterpret_cast<const char*>(members.back().data.data()),
                 static_cast<std::streamsize>(members.back().data.size()));
    }
    const auto archive = coff::writeArchive(members);
    ASSERT_TRUE(archive.ok()) << archive.error();
    const std::string library = folder_.file(wide ? "cut64.lib" : "cut32.lib");
    std::ofstream(library, std::ios::binary)
        .write(reinterpret_cast<const char*>(archive.value().data()),
               static_cast<std::streamsize>(archive.value().size()));

    const ts::CommandResult listed = ts::runCommand("llvm-ar t " + ts::shellQuote(library));
    EXPECT_EQ(listed.output, "m_total.obj\nthe_table_member_data.obj\nm_reader.obj\n");
    const std::string armap =
        ts::runCommand("llvm-nm --print-armap " + ts::shellQuote(library)).output;
    for (const char* line :
         {"get_total in m_total.obj", "table in the_table_member_data.obj",
          "item_count in the_table_member_data.obj", "read_second in m_reader.obj"}) {
      EXPECT_THAT(armap, HasSubstr(line));
    }
    EXPECT_THAT(armap, ::testing::Not(HasSubstr("ext_offset in")));

    std::vector<std::string> arguments{target.polibMachine, "/out:" + folder_.file("polib.lib")};
    arguments.insert(arguments.end(), objectFiles.begin(), objectFiles.end());
    const ts::ProgramResult polib =
        ts::runProgram(BRISKO_INSTALLATION "/compilers/polib.exe", arguments, folder_.path());
    EXPECT_EQ(polib.exitCode, 0) << polib.out << polib.err;

    const std::vector<std::filesystem::path> inputs{library};
    const std::filesystem::path work = folder_.file(wide ? "link64" : "link32");
    const ts::Target machine = wide ? ts::Target::x64 : ts::Target::x86;
    const ts::LinkCheck windows = ts::linkForWindows(inputs, target.harness, work, machine);
    EXPECT_TRUE(windows.linked) << windows.log;
    const ts::LinkCheck mingw = ts::linkWithMinGW(inputs, target.harness, work, machine);
    EXPECT_TRUE(mingw.linked) << mingw.log;
    const ts::X86Run run = ts::linkAndRun(inputs, target.harness, work, machine);
    ASSERT_TRUE(run.linked) << run.log;
    EXPECT_EQ(run.output, wide ? "1588\n" : "1585\n");
    EXPECT_EQ(run.exitCode, 0);
  }
}

}  // namespace
