#include "listing_builder.h"

#include <algorithm>
#include <string_view>

namespace brisko::testing {

std::string joinLines(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::string ListingText::head() const {
  Lines lines = {
      ";", "; PureBasic 4.20 (Windows - x86) generated code - " + title, ";", ";", ";", ";", ";"};
  for (const std::string& name : libraries) lines.push_back("; " + name);
  lines.push_back("; :System");
  for (const std::string& name : systemLibraries) lines.push_back("; " + name);
  lines.push_back("; :Import");
  for (const std::string& name : imports) lines.push_back("; " + name);
  append(lines, {"; ", "format MS COFF", "; "});
  for (const std::string& name : externs) {
    lines.push_back(name == "; " ? name : "extrn " + name);
  }
  append(lines, {"; ", "public main", "; ", "section '.code' code readable executable", "; ",
                 "main:", "CLD", "MOV dword [PB_DataPointer],0", "; :"});
  return joinLines(lines);
}

std::string ListingText::tail() const {
  Lines lines = {"PUSH dword 0", "JMP _PB_EOP", "_PB_EOP:", "CALL _ExitProcess@4",
                 "section '.data' data readable writeable"};
  append(lines, data);
  lines.push_back("section '.bss' readable writeable");
  append(lines, bss);
  lines.push_back("section '.data' data readable writeable");
  append(lines, finalData);
  return joinLines(lines);
}

Lines procedure(const std::string& sourceLine, int number, const Lines& body) {
  Lines lines = {"; " + sourceLine, "macro MP" + std::to_string(number) + "{",
                 "_Procedure" + std::to_string(number) + ":"};
  append(lines, body);
  lines.push_back("}");
  return lines;
}

std::string compilerLayoutListing(const Lines& rest, const Lines& moreHeader) {
  Lines lines = {";",
                 "; PureBasic 5.31 (Windows - x86) generated code  ",
                 ";",
                 ";",
                 ";",
                 ";",
                 ";",
                 "; String",
                 "; :System ",
                 "; KERNEL32",
                 "; :Import",
                 "; user.lib ",
                 "; ",
                 "format MS COFF",
                 "; ",
                 "extrn _PB_Len@4",
                 "; ",
                 "extrn _ExitProcess@4",
                 "; ",
                 "public _PB_ExecutableType",
                 "; ",
                 "macro pb_public symbol",
                 "{",
                 "  public  _#symbol",
                 "}",
                 "macro pb_align value { rb 1 }",
                 "define fake real"};
  append(lines, moreHeader);
  append(lines,
         {"public PureBasicStart", "; ", "section '.code' code readable executable align 4096",
          "; ", "PureBasicStart:", "  CLD", "  MOV dword [PB_DataPointer],0"});
  append(lines, rest);
  return joinLines(lines);
}

ListingText sampleListing() {
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

namespace {

const char* const kProcedureKinds[] = {"Procedure", "ProcedureDLL", "ProcedureC", "ProcedureCDLL"};

bool isCdecl(int procedure) {
  return procedure % 4 >= 2;
}

// Externals and libraries in order of first use, as the listing's header names them.
class FirstUse {
 public:
  void add(const std::string& name) {
    if (std::find(names_.begin(), names_.end(), name) == names_.end()) names_.push_back(name);
  }
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::vector<std::string> names_;
};

class ProgramWriter {
 public:
  explicit ProgramWriter(int procedures)
      : procedures_(procedures), blocks_(std::max(1, procedures / 10)) {}

  GeneratedProgram write() {
    sourceLine("; Generated source of " + std::to_string(procedures_) + " procedures");
    declarations();
    for (int i = 0; i < procedures_; ++i) procedure(i);
    dataSection();
    for (int i = 0; i < procedures_; ++i) code_ += "MP" + std::to_string(i) + "\r\n";

    ListingText layout;
    layout.title = "brisko stand-in compiler";
    layout.libraries = libraries_.names();
    layout.systemLibraries = {"KERNEL32"};
    if (usesUser32_) layout.systemLibraries.push_back("USER32");
    layout.externs = libraryExterns_.names();
    layout.externs.insert(layout.externs.end(), {"; ", "_ExitProcess@4"});
    append(layout.externs, windowsExterns_.names());
    layout.data = {"_SYS_StaticStringStart:"};
    for (std::size_t s = 0; s < strings_.size(); ++s) {
      layout.data.push_back("_S" + std::to_string(s + 1) + ": db '" + strings_[s] + "',0");
    }
    layout.data.push_back("align 4");
    layout.bss = std::move(bss_);
    layout.bss.push_back("PB_DataPointer rd 1");
    layout.finalData = std::move(data_);

    GeneratedProgram program;
    program.listing = layout.head() + code_ + layout.tail();
    program.source = joinLines(source_);
    return program;
  }

 private:
  // Per block of ten procedures: one Public array, four Public variables, two Global
  // variables and one DataSection label.
  int publicVariables() const { return 4 * blocks_; }
  int globalVariables() const { return 2 * blocks_; }

  void sourceLine(std::string text) {
    code_ += "; " + text + "\r\n";
    source_.push_back(std::move(text));
  }
  void code(std::string_view line) {
    code_ += "  ";
    code_ += line;
    code_ += "\r\n";
  }
  void label(std::string_view name) {
    code_ += name;
    code_ += ":\r\n";
  }
  std::string stringConstant(std::string text) {
    strings_.push_back(std::move(text));
    return "_S" + std::to_string(strings_.size());
  }

  void declarations() {
    for (int b = 0; b < blocks_; ++b) {
      const std::string n = std::to_string(b);
      std::string line = "Public Dim pa" + n + ".l(9)";
      append(bss_, {"a_pa" + n + ":", "rd  10"});
      for (int k = 4 * b; k < 4 * b + 4; ++k) {
        line += ", pv" + std::to_string(k) + ".l";
        bss_.push_back("v_pv" + std::to_string(k) + " rd 1");
      }
      sourceLine(line);
      const std::string g0 = std::to_string(2 * b), g1 = std::to_string(2 * b + 1);
      sourceLine("Global gv" + g0 + ".l, gv" + g1 + ".l");
      append(bss_, {"v_gv" + g0 + " rd 1", "v_gv" + g1 + " rd 1"});
    }
    sourceLine("Global NewList items.l()");
    bss_.push_back("t_items rd 1");
  }

  // t = t + <value in eax>, with the value's code between the two halves.
  template <typename Value>
  void addToT(Value value) {
    code("MOV eax,dword [ebp-4]");
    code("PUSH eax");
    value();
    code("MOV ecx,eax");
    code("POP eax");
    code("ADD eax,ecx");
    code("MOV dword [ebp-4],eax");
  }

  void libraryCall(const std::string& library, const std::string& symbol) {
    libraries_.add(library);
    libraryExterns_.add(symbol);
    code("CALL " + symbol);
  }

  void procedure(int i) {
    const std::string n = std::to_string(i);
    sourceLine(std::string(kProcedureKinds[i % 4]) + ".l Proc" + n + "(a.l, b.l)");
    code_ += "macro MP" + n + "{\r\n";
    label("_Procedure" + n);
    code("PUSH ebp");
    code("MOV ebp,esp");
    if (i == 0) {
      sourceLine("ProcedureReturn a + b");
      code("MOV eax,dword [ebp+8]");
      code("PUSH eax");
      code("MOV eax,dword [ebp+12]");
      code("MOV ecx,eax");
      code("POP eax");
      code("ADD eax,ecx");
    } else {
      procedureBody(i);
      sourceLine("ProcedureReturn t");
      code("MOV eax,dword [ebp-4]");
    }
    code("JMP _EndProcedure" + n);
    sourceLine("EndProcedure");
    code("XOR eax,eax");
    label("_EndProcedure" + n);
    code("MOV esp,ebp");
    code("POP ebp");
    code(isCdecl(i) ? "RET" : "RET 8");
    code_ += "}\r\n";
  }

  void procedureBody(int i) {
    const std::string n = std::to_string(i);
    const int callee = static_cast<int>((static_cast<long long>(i) * 7919) % i);
    const std::string pv = std::to_string(i % publicVariables());
    const std::string gv = std::to_string(i % globalVariables());
    const std::string pa = std::to_string(i % blocks_);
    const std::string d = std::to_string(i % blocks_);

    code("SUB esp,4");
    code("MOV dword [ebp-4],0");
    sourceLine("Protected t.l");

    sourceLine("t = a + pv" + pv);
    code("MOV eax,dword [ebp+8]");
    code("PUSH eax");
    code("MOV eax,dword [v_pv" + pv + "]");
    code("MOV ecx,eax");
    code("POP eax");
    code("ADD eax,ecx");
    code("MOV dword [ebp-4],eax");

    const std::string endIf = "_EndIf" + std::to_string(labelCounter_++);
    sourceLine("If t > b");
    code("MOV eax,dword [ebp-4]");
    code("PUSH eax");
    code("MOV eax,dword [ebp+12]");
    code("MOV ecx,eax");
    code("POP eax");
    code("CMP eax,ecx");
    code("SETG al");
    code("MOVZX eax,al");
    code("TEST eax,eax");
    code("JZ " + endIf);
    const bool withString = i % 2 == 1;
    const std::string literal = "text " + n;
    sourceLine("t = t + Proc" + std::to_string(callee) + "(t, " +
               (withString ? "Len(\"" + literal + "\")" : std::string("b")) + ")");
    addToT([&] {
      if (withString) {
        code("MOV eax," + stringConstant(literal));
        code("PUSH eax");
        libraryCall("String", "_PB_Len@4");
      } else {
        code("MOV eax,dword [ebp+12]");
      }
      code("PUSH eax");
      code("MOV eax,dword [ebp-4]");
      code("PUSH eax");
      code("CALL _Procedure" + std::to_string(callee));
      if (isCdecl(callee)) code("ADD esp,8");
    });
    sourceLine("EndIf");
    label(endIf);

    const std::string index = std::to_string(i % 10);
    sourceLine("pa" + pa + "(" + index + ") = PeekL(?d" + d + ")");
    code("MOV eax," + index);
    code("MOV ecx,eax");
    code("PUSH ecx");
    code("MOV eax,l_d" + d);
    code("PUSH eax");
    libraryCall("Memory", "_PB_PeekL@4");
    code("POP ecx");
    code("MOV dword [a_pa" + pa + "+ecx*4],eax");

    sourceLine("gv" + gv + " = gv" + gv + " + t");
    code("MOV eax,dword [v_gv" + gv + "]");
    code("PUSH eax");
    code("MOV eax,dword [ebp-4]");
    code("MOV ecx,eax");
    code("POP eax");
    code("ADD eax,ecx");
    code("MOV dword [v_gv" + gv + "],eax");

    if (i % 50 == 7) {
      const std::string title = "Proc" + n, message = "message " + n;
      sourceLine("MessageRequester(\"" + title + "\", \"" + message + "\")");
      code("MOV eax," + stringConstant(message));
      code("PUSH eax");
      code("MOV eax," + stringConstant(title));
      code("PUSH eax");
      libraryCall("Requester", "_PB_MessageRequester@8");
    }
    if (i % 25 == 3) {
      sourceLine("AddElement(items())");
      code("PUSH dword t_items");
      libraryCall("LinkedList", "_PB_AddElement@4");
    }
    if (i % 40 == 11) {
      sourceLine("t = t + GetTickCount_()");
      addToT([&] {
        windowsExterns_.add("_GetTickCount@0");
        code("CALL _GetTickCount@0");
      });
    }
    if (i % 40 == 31) {
      sourceLine("MessageBeep_(0)");
      code("MOV eax,0");
      code("PUSH eax");
      windowsExterns_.add("_MessageBeep@4");
      usesUser32_ = true;
      code("CALL _MessageBeep@4");
    }
  }

  // One label per block: three numbers, a text, and the addresses of itself and the label
  // before it.
  void dataSection() {
    sourceLine("DataSection");
    for (int b = 0; b < blocks_; ++b) {
      const std::string n = std::to_string(b);
      const std::string previous = std::to_string(b == 0 ? 0 : b - 1);
      sourceLine("d" + n + ":");
      sourceLine("Data.l " + n + ", " + std::to_string(b + 1) + ", " + std::to_string(b + 2));
      sourceLine("Data.s \"row " + n + "\"");
      sourceLine("Data.l ?d" + n + ", ?d" + previous);
      append(data_, {"l_d" + n + ":",
                     "dd " + n + "," + std::to_string(b + 1) + "," + std::to_string(b + 2),
                     "db 'row " + n + "',0", "dd l_d" + n + ",l_d" + previous});
    }
    sourceLine("EndDataSection");
  }

  int procedures_;
  int blocks_;
  int labelCounter_ = 1;
  bool usesUser32_ = false;
  std::string code_;
  Lines bss_;
  Lines data_;
  Lines source_;
  std::vector<std::string> strings_;
  FirstUse libraries_;
  FirstUse libraryExterns_;
  FirstUse windowsExterns_;
};

}  // namespace

GeneratedProgram generateProgram(int procedures) {
  return ProgramWriter(procedures).write();
}

}  // namespace brisko::testing
