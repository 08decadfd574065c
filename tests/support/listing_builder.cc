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
  ProgramWriter(int procedures, bool x64)
      : procedures_(procedures), blocks_(std::max(1, procedures / 10)), x64_(x64) {}

  GeneratedProgram write() {
    sourceLine("; Generated source of " + std::to_string(procedures_) + " procedures");
    declarations();
    if (x64_) return writeX64();
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
  // The x64 listing of the 5.4x and later compilers: the main program, its end code, then the
  // procedures, then the data, the bss and the DataSections.
  GeneratedProgram writeX64() {
    dataSection();
    code_ += "_PB_EOP_NoValue:\r\n  XOR rax,rax\r\n  MOV [PB_ExitCode],rax\r\n_PB_EOP:\r\n";
    code("MOV rcx,[PB_ExitCode]");
    code("SUB rsp,40");
    code("CALL ExitProcess");
    code_ += "_PB_EndFunctions:\r\n  RET\r\n";
    for (int i = 0; i < procedures_; ++i) procedure(i);

    Lines head = {";", "; PureBasic 5.73 LTS (Windows - x64) generated code", ";", ";", ";", ";",
                  ";"};
    for (const std::string& name : libraries_.names()) head.push_back("; " + name);
    head.push_back("; :System");
    head.push_back("; KERNEL32");
    if (usesUser32_) head.push_back("; USER32");
    append(head, {"; :Import", "; ", "format MS64 COFF", "; "});
    for (const std::string& name : libraryExterns_.names()) head.push_back("extrn " + name);
    append(head, {"; ", "extrn ExitProcess"});
    for (const std::string& name : windowsExterns_.names()) head.push_back("extrn " + name);
    append(head,
           {"; ",
            "public PB_ExecutableType",
            "public PB_Instance",
            "public PB_MemoryBase",
            "; ",
            "macro pb_public symbol",
            "{",
            "  public  _#symbol",
            "  public symbol",
            "_#symbol:",
            "symbol:",
            "}",
            "; ",
            "macro    pb_align value { rb (value-1) - ($-_PB_DataSection  + value-1) mod value }",
            "macro pb_bssalign value { rb (value-1) - ($-_PB_BSSSection + value-1) mod value }",
            "; ",
            "public PureBasicStart",
            "; ",
            "section '.code' code readable executable align 8",
            "; ",
            "PureBasicStart:",
            "  SUB rsp,40",
            "  MOV qword [PB_DataPointer],0"});
    Lines tail = {"section '.data' data readable writeable",
                  "_PB_DataSection:",
                  "pb_public PB_DEBUGGER_LineNumber",
                  "  dq -1",
                  "PB_ExecutableType: dq 0",
                  "_SYS_StaticStringStart:"};
    for (std::size_t s = 0; s < strings_.size(); ++s) {
      std::string units;
      for (char c : strings_[s]) units += std::to_string(static_cast<unsigned char>(c)) + ",";
      tail.push_back("_S" + std::to_string(s + 1) + ": dw " + units + "0");
    }
    append(tail, {"_SYS_StaticStringEnd:", "pb_align 8", "section '.bss' readable writeable",
                  "_PB_BSSSection:", "I_BSSStart:", "PB_MemoryBase: rq 1", "PB_Instance: rq 1"});
    append(tail, bss_);
    append(tail, {"PB_ExitCode: rq 1", "pb_bssalign 8", "PB_DataPointer rq 1",
                  "I_BSSEnd:", "section '.data' data readable writeable"});
    append(tail, data_);

    GeneratedProgram program;
    program.listing = joinLines(head) + code_ + joinLines(tail);
    program.source = joinLines(source_);
    return program;
  }

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
  // The stack machine's pieces in the target's form.
  void push(const char* reg) { code(std::string("PUSH ") + (x64_ ? wide(reg) : reg)); }
  void pop(const char* reg) { code(std::string("POP ") + (x64_ ? wide(reg) : reg)); }
  static std::string wide(std::string_view reg) { return "r" + std::string(reg.substr(1)); }
  std::string parameter(int k) const {
    return "dword [" +
           std::string(x64_ ? "rbp+" + std::to_string(16 + 8 * k)
                            : "ebp+" + std::to_string(8 + 4 * k)) +
           "]";
  }
  std::string local() const { return x64_ ? "dword [rbp-8]" : "dword [ebp-4]"; }
  // eax = the address of a label.
  void address(const std::string& label) {
    code(x64_ ? "LEA rax,[" + label + "]" : "MOV eax," + label);
  }
  // Calls a function with up to two 32-bit arguments taken from the stack machine's pushes
  // (x86: already pushed; x64: popped into rcx and rdx, the first argument pushed last).
  void call(const std::string& symbol, int arguments) {
    if (x64_) {
      if (arguments > 0) code("POP rcx");
      if (arguments > 1) code("POP rdx");
      code("SUB rsp,40");
      code("CALL " + symbol);
      code("ADD rsp,40");
    } else {
      code("CALL " + symbol);
    }
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
    bss_.push_back(x64_ ? "t_items rq 1" : "t_items rd 1");
  }

  // t = t + <value in eax>, with the value's code between the two halves.
  template <typename Value>
  void addToT(Value value) {
    code("MOV eax," + local());
    push("eax");
    value();
    code("MOV ecx,eax");
    pop("eax");
    code("ADD eax,ecx");
    code("MOV " + local() + ",eax");
  }

  // A library function by its x86 symbol ("_PB_Len@4"); x64 names it without decoration.
  void libraryCall(const std::string& library, const std::string& symbol, int arguments) {
    libraries_.add(library);
    const std::string name = x64_ ? undecorated(symbol) : symbol;
    libraryExterns_.add(name);
    call(name, arguments);
  }
  static std::string undecorated(const std::string& symbol) {
    return symbol.substr(1, symbol.find('@') - 1);
  }

  void procedure(int i) {
    const std::string n = std::to_string(i);
    sourceLine(std::string(kProcedureKinds[i % 4]) + ".l Proc" + n + "(a.l, b.l)");
    if (!x64_) code_ += "macro MP" + n + "{\r\n";
    label("_Procedure" + n);
    if (x64_) {
      code("MOV qword [rsp+8],rcx");
      code("MOV qword [rsp+16],rdx");
    }
    push("ebp");
    code(x64_ ? "MOV rbp,rsp" : "MOV ebp,esp");
    if (i == 0) {
      sourceLine("ProcedureReturn a + b");
      code("MOV eax," + parameter(0));
      push("eax");
      code("MOV eax," + parameter(1));
      code("MOV ecx,eax");
      pop("eax");
      code("ADD eax,ecx");
    } else {
      procedureBody(i);
      sourceLine("ProcedureReturn t");
      code("MOV eax," + local());
    }
    code("JMP _EndProcedure" + n);
    sourceLine("EndProcedure");
    code("XOR eax,eax");
    label("_EndProcedure" + n);
    code(x64_ ? "MOV rsp,rbp" : "MOV esp,ebp");
    pop("ebp");
    code(x64_ || isCdecl(i) ? "RET" : "RET 8");
    if (!x64_) code_ += "}\r\n";
  }

  void procedureBody(int i) {
    const std::string n = std::to_string(i);
    const int callee = static_cast<int>((static_cast<long long>(i) * 7919) % i);
    const std::string pv = std::to_string(i % publicVariables());
    const std::string gv = std::to_string(i % globalVariables());
    const std::string pa = std::to_string(i % blocks_);
    const std::string d = std::to_string(i % blocks_);

    code(x64_ ? "SUB rsp,8" : "SUB esp,4");
    code("MOV " + local() + ",0");
    sourceLine("Protected t.l");

    sourceLine("t = a + pv" + pv);
    code("MOV eax," + parameter(0));
    push("eax");
    code("MOV eax,dword [v_pv" + pv + "]");
    code("MOV ecx,eax");
    pop("eax");
    code("ADD eax,ecx");
    code("MOV " + local() + ",eax");

    const std::string endIf = "_EndIf" + std::to_string(labelCounter_++);
    sourceLine("If t > b");
    code("MOV eax," + local());
    push("eax");
    code("MOV eax," + parameter(1));
    code("MOV ecx,eax");
    pop("eax");
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
        address(stringConstant(literal));
        push("eax");
        libraryCall("String", "_PB_Len@4", 1);
      } else {
        code("MOV eax," + parameter(1));
      }
      push("eax");
      code("MOV eax," + local());
      push("eax");
      call("_Procedure" + std::to_string(callee), 2);
      if (!x64_ && isCdecl(callee)) code("ADD esp,8");
    });
    sourceLine("EndIf");
    label(endIf);

    const std::string index = std::to_string(i % 10);
    sourceLine("pa" + pa + "(" + index + ") = PeekL(?d" + d + ")");
    code("MOV eax," + index);
    code("MOV ecx,eax");
    push("ecx");
    address("l_d" + d);
    push("eax");
    libraryCall("Memory", "_PB_PeekL@4", 1);
    pop("ecx");
    if (x64_) {
      code("LEA rdx,[a_pa" + pa + "]");
      code("MOV dword [rdx+rcx*4],eax");
    } else {
      code("MOV dword [a_pa" + pa + "+ecx*4],eax");
    }

    sourceLine("gv" + gv + " = gv" + gv + " + t");
    code("MOV eax,dword [v_gv" + gv + "]");
    push("eax");
    code("MOV eax," + local());
    code("MOV ecx,eax");
    pop("eax");
    code("ADD eax,ecx");
    code("MOV dword [v_gv" + gv + "],eax");

    if (i % 50 == 7) {
      const std::string title = "Proc" + n, message = "message " + n;
      sourceLine("MessageRequester(\"" + title + "\", \"" + message + "\")");
      address(stringConstant(message));
      push("eax");
      address(stringConstant(title));
      push("eax");
      libraryCall("Requester", "_PB_MessageRequester@8", 2);
    }
    if (i % 25 == 3) {
      sourceLine("AddElement(items())");
      if (x64_) {
        address("t_items");
        push("eax");
      } else {
        code("PUSH dword t_items");
      }
      libraryCall("LinkedList", "_PB_AddElement@4", 1);
    }
    if (i % 40 == 11) {
      sourceLine("t = t + GetTickCount_()");
      addToT([&] {
        const std::string name = x64_ ? "GetTickCount" : "_GetTickCount@0";
        windowsExterns_.add(name);
        call(name, 0);
      });
    }
    if (i % 40 == 31) {
      sourceLine("MessageBeep_(0)");
      code("MOV eax,0");
      push("eax");
      const std::string name = x64_ ? "MessageBeep" : "_MessageBeep@4";
      windowsExterns_.add(name);
      usesUser32_ = true;
      call(name, 1);
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
                     "db 'row " + n + "',0",
                     std::string(x64_ ? "dq" : "dd") + " l_d" + n + ",l_d" + previous});
    }
    sourceLine("EndDataSection");
  }

  int procedures_;
  int blocks_;
  bool x64_;
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

GeneratedProgram generateProgram(int procedures, bool x64) {
  return ProgramWriter(procedures, x64).write();
}

}  // namespace brisko::testing
