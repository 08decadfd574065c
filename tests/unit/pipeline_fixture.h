// Shared set-up of the conversion stage tests: hand-made compiler listings, an in-memory
// destination and helpers to read the generated sources back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "english_texts.h"
#include "fakes.h"
#include "pipeline/analyse_assembly.h"
#include "pipeline/conversion.h"
#include "pipeline/data_sections.h"
#include "platform/memory_file_system.h"

namespace brisko::testing {

using Lines = std::vector<std::string>;

inline std::string joinLines(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// A commented listing in the compiler's layout. The header names the import libraries and
// the externals; the program part and the three sections are given line by line.
struct ListingText {
  Lines imports;
  Lines externs;  // "extrn " is put in front; an entry "; " stands for a group separator
  Lines program;  // the lines after "; :"
  Lines data = {"_SYS_StaticStringStart:", "align 4"};
  Lines bss = {"PB_DataPointer rd 1"};
  Lines finalData;

  std::string text() const {
    Lines lines = {";",         "; PureBasic 4.20 (Windows - x86) generated code - test",
                   ";",         ";",
                   ";",         ";",
                   ";",         "; String",
                   "; :System", "; KERNEL32",
                   "; :Import"};
    for (const std::string& name : imports) lines.push_back("; " + name);
    lines.insert(lines.end(), {"; ", "format MS COFF", "; "});
    for (const std::string& name : externs) {
      lines.push_back(name == "; " ? name : "extrn " + name);
    }
    lines.insert(lines.end(),
                 {"; ", "public main", "; ", "section '.code' code readable executable", "; ",
                  "main:", "CLD", "MOV dword [PB_DataPointer],0", "; :"});
    lines.insert(lines.end(), program.begin(), program.end());
    lines.insert(lines.end(), {"PUSH dword 0", "JMP _PB_EOP", "_PB_EOP:", "CALL _ExitProcess@4",
                               "section '.data' data readable writeable"});
    lines.insert(lines.end(), data.begin(), data.end());
    lines.push_back("section '.bss' readable writeable");
    lines.insert(lines.end(), bss.begin(), bss.end());
    lines.push_back("section '.data' data readable writeable");
    lines.insert(lines.end(), finalData.begin(), finalData.end());
    return joinLines(lines);
  }
};

// The listing lines of a procedure: its source line, the macro opening, its entry label,
// the body and the closing "}".
inline Lines procedure(const std::string& sourceLine, int number, const Lines& body) {
  Lines lines = {"; " + sourceLine, "macro MP" + std::to_string(number) + "{",
                 "_Procedure" + std::to_string(number) + ":"};
  lines.insert(lines.end(), body.begin(), body.end());
  lines.push_back("}");
  return lines;
}

inline void append(Lines& lines, const Lines& more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

// A program with exported data, an exported procedure Get that calls the internal procedure
// Helper, which calls itself, and data of every kind the data-sections source takes.
inline ListingText sampleListing() {
  ListingText listing;
  listing.externs = {"_PB_Len@4", "_PB_Table@0", "_PB_Unused@0", "; ", "_ExitProcess@4"};
  listing.program = {
      "; Public Dim table(10), NewList items(), count",
      "; ProcedureDLL Get(i)",
      "macro MP0{",
      "_Procedure0:",
      "  PUSH   ebp",
      "  MOV    ebp,esp",
      "  ; a comment inside",
      "  MOV    eax,dword [a_table+4]",
      "  PUSH   dword [v_count]",
      "  CALL   _PB_Len@4",
      "  CALL   _Procedure1",
      "     ",
      "  MOV    ecx,[v_tmp]",
      "  POP    ebp",
      "  RET    4",
      "  }  ",
      "; Procedure Helper()",
      "macro MP1{",
      "_Procedure1:",
      "  CALL   _PB_Len@4",
      "  CALL   _PB_Len@4",
      "  CALL   _Procedure1",
      "  MOV  eax,_S1",
      "  db 'a, b',0",
      "}",
      "; Get(1)",
      "  PUSH dword 1",
      "  CALL _Procedure0",
      "MP0",
      "MP1",
  };
  listing.data = {
      "_SYS_StaticStringStart:",
      "_S1: db 'hi',0",
      "_S2: db 'a, b',0",
      "align 4",
      "F1: dd 1069547520",
      "pb_align 4",
      "s_point:",
      "  dd 0",
      "  dd 0",
      "pb_align 4",
      "s_name db 'x',0",
  };
  listing.bss = {
      "; a comment", "v_count rd 1", "v_tmp rd 1",          "a_table:", "  rd  11", "t_items rd 1",
      "s_buf rb 8",  "p_x rd 1",     "PB_DataPointer rd 1",
  };
  listing.finalData = {
      "l_first:",
      "  dd l_second,v_count,_Procedure0,_PB_Table@0,l_second",
      "align 4",
      "l_second:",
      "  db 'x',0",
      "  dw 7",
      "  dd 'ab, c',l_first",
      "  file '/src/pic.bin'",
      "  dd 3",
  };
  return listing;
}

class CountingWindow : public app::WindowServices {
 public:
  int polls = 0;
  void pollEvents() override { ++polls; }
};

// Services over an in-memory file system with the destination /dest/ and the source
// /src/demo.pb.
class PipelineFixture : public ::testing::Test {
 protected:
  static constexpr const char* kListingPath = "/dest/Source/PureBasic.asm";

  PipelineFixture()
      : paths(app::toolchainPathsFor("/pb/", "/tmp/t/")), services{files,    launcher, clock,
                                                                   feedback, window,   paths} {
    feedback.attachTexts(&englishTexts());
    files.addFolder("/dest/Source");
    files.addFolder("/dest/Bin");
    files.addFolder("/dest/Logs");
    files.addFile("/src/demo.pb", "");
  }

  // A conversion as the driver hands it to the stages after a successful compile.
  pipeline::Conversion& conversion(std::uint32_t flags = 0,
                                   app::OutputFormat format = app::OutputFormat::objectFile) {
    app::ConversionOptions options;
    options.flags = flags;
    options.outputFormat = format;
    current.emplace(services, "/src/demo.pb", "/dest/", options);
    current->sourceBaseName = "demo";
    current->asmListingPath = kListingPath;
    return *current;
  }

  void useLog() { feedback.setActiveLog(&log); }

  // The first pass as the driver runs it: the analysis, the data-sections source, and the
  // analysis' progress line completed.
  static app::Outcome analyseListing(pipeline::Conversion& c) {
    app::Outcome result = pipeline::analyseAssembly(c);
    if (result.succeeded()) result = pipeline::writeDataSections(c);
    if (result.succeeded()) c.logOutcome(true);
    return result;
  }

  std::string read(const std::string& path) const {
    return files.readFile(path).value_or("<missing " + path + ">");
  }

  // The lines of a generated source after its six-line header block, which is checked here.
  Lines sourceLines(const std::string& path) const {
    const std::string text = read(path);
    Lines lines;
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = text.find("\r\n", start);
      if (end == std::string::npos) {
        ADD_FAILURE() << path << ": last line has no CR LF";
        lines.push_back(text.substr(start));
        break;
      }
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    if (lines.size() < 6) {
      ADD_FAILURE() << path << ": no header block in\n" << text;
      return lines;
    }
    EXPECT_EQ(lines[0], ";Brisko generated asm file.") << path;
    EXPECT_TRUE(lines[1].size() > 3 && lines[1].rfind(";(", 0) == 0 && lines[1].back() == ')')
        << lines[1];
    EXPECT_EQ(lines[2], ";Date is 04:03:2026") << path;
    EXPECT_EQ(lines[3], ";Time is 09:05") << path;
    EXPECT_EQ(lines[4], ";\\\\\\\\\\\\\\\\\\\\") << path;
    EXPECT_EQ(lines[5], "") << path;
    return Lines(lines.begin() + 6, lines.end());
  }

  // The title and text of the single error message shown.
  std::string onlyError() const {
    if (feedback.messages.size() != 1) {
      ADD_FAILURE() << feedback.messages.size() << " messages shown";
      return {};
    }
    EXPECT_EQ(feedback.messages[0].title, "Error!");
    EXPECT_EQ(feedback.messages[0].icon, app::MessageIcon::error);
    return feedback.messages[0].text;
  }

  platform::MemoryFileSystem files;
  ScriptedLauncher launcher;
  FixedClock clock;
  RecordingFeedback feedback;
  CountingWindow window;
  app::ToolchainPaths paths;
  app::Services services;
  StringLog log;
  std::optional<pipeline::Conversion> current;
};

}  // namespace brisko::testing
