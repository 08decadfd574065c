// The C header's types and declarations, and the scan for initial values the output loses.
#include <gtest/gtest.h>

#include "pipeline/initial_values.h"
#include "pipeline/write_c_header.h"
#include "pipeline_fixture.h"

namespace brisko::pipeline {
namespace {

TEST(CHeaderTypes, PureBasicTypesMapToFixedWidthCTypes) {
  const struct {
    const char* name;
    const char* type;
    const char* defaultType;
    bool unicode;
    std::optional<std::string> expected;
  } kCases[] = {
      {"v", ".b", ".l", false, "int8_t"},
      {"v", ".a", ".l", false, "uint8_t"},
      {"v", ".w", ".l", false, "int16_t"},
      {"v", ".u", ".l", false, "uint16_t"},
      {"v", ".c", ".l", true, "uint16_t"},
      {"v", ".c", ".l", false, "uint8_t"},
      {"v", ".L", ".l", false, "int32_t"},
      {"v", ".i", ".l", false, "intptr_t"},
      {"v", ".q", ".l", false, "int64_t"},
      {"v", ".f", ".l", false, "float"},
      {"v", ".d", ".l", false, "double"},
      {"v", ".s", ".l", false, "const char*"},
      {"v$", "", ".l", true, "const wchar_t*"},
      // A pointer whatever it points to; untyped items take the integer, unless a
      // "Define.type" line set another default.
      {"*p", ".POINT", ".l", false, "void*"},
      {"v", "", ".l", false, "intptr_t"},
      {"v", "", ".w", false, "int16_t"},
      {"v", ".POINT", ".l", false, std::nullopt},
  };
  for (const auto& [name, type, defaultType, unicode, expected] : kCases) {
    EXPECT_EQ(cTypeOf(name, type, defaultType, unicode), expected)
        << name << type << " under " << defaultType;
  }
}

TEST(InitialValueScan, NamesMainProgramVariablesWhoseDeclarationGivesAValue) {
  const struct {
    Lines lines;
    Lines names;
  } kCases[] = {
      {{"Global x = 5", "Define s.s = \"a\""}, {"x", "s"}},
      {{"Public n.l = 3, m, k.q = 2 ; note = 1"}, {"n", "k"}},
      // Nothing to lose: zero values, arrays, lists, maps; other statements.
      {{"Global NewList l(), Dim a(5), z = 0, e$ = \"\", f = #False, NewMap m.s()",
        "Procedure P(a = 5)", "x = 5"},
       {}},
      {{"Define.l a = 1 : Global b = a + 1", "If y : Threaded t = (1 + 2) * 3, u = 4 : EndIf"},
       {"a", "b", "t", "u"}},
      // Quoted text is no statement; each variable once, whatever its case.
      {{"Global text$ = \"a = 1 : Global y = 2\"", "Global TEXT$ = \"b\""}, {"text$"}},
      {{"DeclareModule m", "Global g = 1", "EndDeclareModule", "Module m", "Define h = 2",
        "EndModule", "Global g = 3"},
       {"m::g", "m::h", "g"}},
  };
  for (const auto& [lines, names] : kCases) {
    InitialValueScan scan;
    for (const std::string& line : lines) scan.noteMainProgramLine(line);
    EXPECT_EQ(scan.names(), names) << lines.front();
  }
}

class PipelineCHeader : public testing::PipelineFixture {
 protected:
  static SymbolRecord item(SymbolKind kind, const std::string& name, std::string type = {},
                           std::vector<std::string> parameters = {}) {
    SymbolRecord record;
    record.asmName = "x";
    record.outputName = name;
    record.kind = kind;
    record.declaration = DeclarationParts{std::move(type), ".l", std::move(parameters)};
    return record;
  }
};

TEST_F(PipelineCHeader, DeclarationsAndNamesForEachTarget) {
  const std::vector<SymbolRecord> records = {
      item(SymbolKind::procedureDll, "Mix", ".d",
           {"(", "*p", ".", "POINT", ",", "Array", "a", ".", "l", "(", "1",   ")", ",",
            "q", ".",  "q", ",",     "f", ".",     "f", "=", "1", ",", "int", ")"}),
      item(SymbolKind::procedureCDll, "Say", ".s", {"(", "text$", ")"}),
      item(SymbolKind::procedure, "demo_Inner"),
      item(SymbolKind::variable, "label$"),
      item(SymbolKind::array, "grid", ".w"),
      item(SymbolKind::variable, "where", ".POINT"),
      item(SymbolKind::list, "queue"),
  };
  // Declarations and the MSVC names: x86 names carry "_" and stdcall's "@" and parameter bytes,
  // x64 names only what differs from the C name.
  const struct {
    bool x64;
    std::uint32_t flags;
    Lines present;
    Lines absent;
  } kCases[] = {
      {false,
       app::kCHeader,
       {"double DEMO_STDCALL Mix(void* p, void* a, int64_t q, float f, intptr_t int_) "
        "DEMO_SYMBOL(\"Mix\");",
        "const char* DEMO_CDECL Say(const char* text) DEMO_SYMBOL(\"Say\");",
        "extern const char* label DEMO_SYMBOL(\"label$\");",
        "extern int16_t grid[] DEMO_SYMBOL(\"grid\");",
        "/* where.POINT: a structure, declared as its bytes */",
        "extern uint8_t where[] DEMO_SYMBOL(\"where\");",
        "/* queue(): a PureBasic list, which C cannot use; not declared */",
        "#pragma comment(linker, \"/alternatename:_Mix@24=Mix\")",
        "#pragma comment(linker, \"/alternatename:_Say=Say\")",
        "#pragma comment(linker, \"/alternatename:_label=label$\")",
        "#define DEMO_STDCALL __attribute__((stdcall))", "#ifndef DEMO_H", "#endif /* DEMO_H */"},
       {"Inner", "queue DEMO_SYMBOL", "DEMO_CALL", "<stddef.h>"}},
      {true,
       app::kCHeader | app::kUnicode,
       {"const wchar_t* DEMO_CALL Say(const wchar_t* text) DEMO_SYMBOL(\"Say\");",
        "#pragma comment(linker, \"/alternatename:label=label$\")",
        "#define DEMO_CALL __attribute__((ms_abi))", "#include <stddef.h>"},
       {"alternatename:_", "alternatename:Say", "DEMO_STDCALL"}},
  };
  for (const auto& [x64, flags, present, absent] : kCases) {
    Conversion& c = conversion(flags);
    for (const SymbolRecord& record : records) c.symbols.append(record);
    c.listing.target = x64 ? Target::x64() : Target::x86();
    const std::string header = cHeaderText(c);
    for (const std::string& line : present) {
      EXPECT_NE(header.find(line + "\r\n"), std::string::npos) << line << "\n" << header;
    }
    for (const std::string& part : absent) {
      EXPECT_EQ(header.find(part), std::string::npos) << part << "\n" << header;
    }
  }
}

TEST_F(PipelineCHeader, WrittenBesideTheOutputOrReportedWithoutFailing) {
  Conversion& c = conversion(app::kCHeader);
  useLog();
  EXPECT_EQ(writeCHeader(c), ok());
  EXPECT_EQ(c.writtenFiles, Lines{"/dest/Bin/demo.h"});
  EXPECT_EQ(read("/dest/Bin/demo.h"), cHeaderText(c));
  EXPECT_EQ(feedback.statuses, Lines{"Status = creating C header."});

  files.makeInaccessible("/dest/Bin/demo.h");
  Conversion& failing = conversion(app::kCHeader);
  EXPECT_EQ(writeCHeader(failing), ok());
  EXPECT_EQ(onlyError(), "Unable to create file.\n(/dest/Bin/demo.h)");
  EXPECT_TRUE(failing.writtenFiles.empty());
  EXPECT_EQ(log.content,
            "Creating C header \"../Bin/demo.h\" ......no errors!\r\n"
            "Creating C header \"../Bin/demo.h\" ......Error!\r\n"
            "Unable to create file. (/dest/Bin/demo.h)\r\n");
}

}  // namespace
}  // namespace brisko::pipeline
