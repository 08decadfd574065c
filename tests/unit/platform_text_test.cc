#include <gtest/gtest.h>

#include <map>

#include "fakes.h"
#include "platform/code_pages.h"
#include "platform/paths.h"
#include "platform/text_encoding.h"
#include "platform/windows_command_line.h"

namespace brisko::platform {
namespace {

using Args = std::vector<std::string>;

TEST(WindowsCommandLine, SplitsTheToolCommandLinesTheProgramForms) {
  EXPECT_EQ(
      splitWindowsCommandLine(
          R"("/pb/compilers/PBcompiler.exe" "/src/my demo.pb" /EXE "/tmp/x/a.exe" /THREAD /COMMENTED)"),
      (Args{"/pb/compilers/PBcompiler.exe", "/src/my demo.pb", "/EXE", "/tmp/x/a.exe", "/THREAD",
            "/COMMENTED"}));
  EXPECT_EQ(
      splitWindowsCommandLine(R"("C:\PB\compilers\polib.exe" *.obj /out:"C:\d\Source\x.lib")"),
      (Args{"C:\\PB\\compilers\\polib.exe", "*.obj", "/out:C:\\d\\Source\\x.lib"}));
}

TEST(WindowsCommandLine, FollowsTheRuntimeRulesForQuotesAndBackslashes) {
  // The program name takes no escapes; later arguments do.
  EXPECT_EQ(splitWindowsCommandLine(R"("C:\a b\"x y)"), (Args{"C:\\a b\\x", "y"}));
  EXPECT_EQ(splitWindowsCommandLine(R"(p a\\b "c\\" d\"e "f""g" \\\"h)"),
            (Args{"p", "a\\\\b", "c\\", "d\"e", "f\"g", "\\\"h"}));
  EXPECT_EQ(splitWindowsCommandLine("p \"\" \t x"), (Args{"p", "", "x"}));
  EXPECT_EQ(splitWindowsCommandLine(""), Args{});
  EXPECT_EQ(splitWindowsCommandLine("tool"), Args{"tool"});
}

TEST(WindowsCommandLine, QuotedArgumentsComeBackUnchanged) {
  EXPECT_EQ(splitWindowsCommandLine(R"(prog plain "with space" "" "trail\\" "q\"uote")"),
            (Args{"prog", "plain", "with space", "", "trail\\", "q\"uote"}));
  EXPECT_EQ(splitWindowsCommandLine(R"(prog "a\\\"b" "C:\dir with space\\")"),
            (Args{"prog", "a\\\"b", "C:\\dir with space\\"}));
}

TEST(CodePages, EveryAnsiByteSurvivesARoundTrip) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  const std::string text = windows1252ToUtf8(bytes);
  EXPECT_EQ(utf8ToWindows1252(text), bytes);
  // The undefined bytes map to the C1 controls of the same value.
  EXPECT_EQ(windows1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(windows1252ToUtf8("\x80\x9F\xE9"), "\u20AC\u0178\u00E9");
  EXPECT_EQ(utf8ToWindows1252("\u4E2D"), "?");
}

TEST(CodePages, Utf16LittleEndianConversions) {
  const std::string text = "A\u00E9\u20AC\U0001F600";
  const std::string bytes = utf8ToUtf16le(text);
  EXPECT_EQ(bytes, std::string("A\0\xE9\0\xAC\x20\x3D\xD8\x00\xDE", 10));
  EXPECT_EQ(utf16leToUtf8(bytes), text);
  EXPECT_EQ(utf8ToUtf16(text).size(), 5u);
  // A lone surrogate and an odd trailing byte do not break the conversion.
  EXPECT_EQ(utf16leToUtf8(std::string("\x00\xD8\x41\x00\x42", 5)), "\uFFFDA");
  EXPECT_EQ(utf8ToUtf16("\xFF"), u"\uFFFD");
}

TEST(Paths, FolderAndFileParts) {
  EXPECT_EQ(folderPart("C:\\pb\\x.exe"), "C:\\pb\\");
  EXPECT_EQ(folderPart("/a/b/c.pb"), "/a/b/");
  EXPECT_EQ(folderPart("c.pb"), "");
  EXPECT_EQ(filePart("/a/b\\c.pb"), "c.pb");
  EXPECT_EQ(withTrailingSeparator("/a"), std::string("/a") + kPathSeparator);
  EXPECT_EQ(withTrailingSeparator("/a/"), "/a/");
  EXPECT_EQ(withTrailingSeparator(""), "");
#ifndef _WIN32
  EXPECT_EQ(absolutePath("src/a.pb", "/home/me/"), "/home/me/src/a.pb");
  EXPECT_EQ(absolutePath("/src/a.pb", "/home/me/"), "/src/a.pb");
  EXPECT_EQ(absolutePath("", "/home/me/"), "");
#endif
}

TEST(Paths, ExtensionIsTheTextAfterTheFileNamesLastDot) {
  EXPECT_EQ(extensionOf("lib.x.asm"), "asm");
  EXPECT_EQ(withoutExtension("lib.x.asm"), "lib.x");
  EXPECT_EQ(extensionOf("/a.b/c"), "");
  EXPECT_EQ(withoutExtension("/a.b\\c"), "/a.b\\c");
  EXPECT_EQ(extensionOf("name."), "");
  EXPECT_EQ(withoutExtension("name."), "name");
}

// On POSIX: $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
TEST(Paths, UserSettingsFolderFollowsTheXdgRules) {
  const std::pair<std::map<std::string, std::string>, std::string> kCases[] = {
      {{{"XDG_CONFIG_HOME", "/cfg/"}, {"HOME", "/home/me"}}, "/cfg/brisko/"},
      {{{"XDG_CONFIG_HOME", "relative"}, {"HOME", "/home/me"}}, "/home/me/.config/brisko/"},
      {{{"HOME", "relative"}}, ""},
      {{}, ""},
  };
  testing::FakeEnvironment environment;
  for (const auto& [variables, folder] : kCases) {
    environment.variables = variables;
    EXPECT_EQ(platform::userSettingsFolder(environment), folder) << folder;
  }
}

TEST(TextEncodings, TheMarkDecidesAndEncodingAddsNone) {
  EXPECT_EQ(encodingOf("\xFF\xFEx"), TextEncoding::utf16le);
  EXPECT_EQ(encodingOf("\xEF\xBB\xBFx"), TextEncoding::utf8);
  EXPECT_EQ(encodingOf("\xEF\xBB"), TextEncoding::ansi);
  EXPECT_EQ(withoutByteOrderMark("\xEF\xBB\xBFx"), "x");
  EXPECT_EQ(withoutByteOrderMark("\xFE\xFFx"), "\xFE\xFFx");
  for (const TextEncoding encoding :
       {TextEncoding::ansi, TextEncoding::utf8, TextEncoding::utf16le}) {
    const std::string text = "a\u00E9";
    EXPECT_EQ(encodeText(text, encoding), encoding == TextEncoding::utf16le ? utf8ToUtf16le(text)
                                          : encoding == TextEncoding::utf8  ? text
                                                                            : utf8ToAnsi(text));
    EXPECT_EQ(encodingOf(std::string(byteOrderMark(encoding)) + encodeText(text, encoding)),
              encoding);
  }
}

}  // namespace
}  // namespace brisko::platform
