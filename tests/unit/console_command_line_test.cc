#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/installation_command.h"
#include "platform/paths.h"

namespace brisko::cli {
namespace {

ParseResult parse(std::vector<std::string> args) {
  return parseCommandLine(args);
}

TEST(ConsoleCommandLine, OptionsMayStandBeforeOrAfterTheSource) {
  auto r = parse({"--pb-folder", "/pb", "convert", "--lib", "demo.pb", "--log", "--dest", "/out",
                  "--wrapper", "--threadsafe", "--unicode", "--inline-asm", "--export-globals",
                  "--use-existing-asm", "--tools-file", "/t.prefs"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.commandLine.command, Command::convert);
  EXPECT_EQ(r.commandLine.source, "demo.pb");
  EXPECT_EQ(r.commandLine.destination, "/out");
  EXPECT_EQ(r.commandLine.pbFolder, "/pb");
  EXPECT_EQ(r.commandLine.toolsFile, "/t.prefs");
  EXPECT_EQ(r.commandLine.options.outputFormat, app::OutputFormat::staticLibrary);
  EXPECT_EQ(r.commandLine.options.flags, 0xFEu);  // every option bit but "commented"
}

TEST(ConsoleCommandLine, CheckTakesOnlyCompilerOptions) {
  auto r = parse({"check", "--unicode", "x.pb"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.commandLine.command, Command::check);
  EXPECT_EQ(r.commandLine.options.flags, static_cast<std::uint32_t>(app::kUnicode));
  EXPECT_EQ(r.commandLine.options.outputFormat, app::OutputFormat::objectFile);
  EXPECT_NE(parse({"check", "x.pb", "--lib"}).error, "");
  EXPECT_NE(parse({"check", "x.pb", "--wrapper"}).error, "");
}

TEST(ConsoleCommandLine, UsageErrors) {
  EXPECT_NE(parse({}).error, "");
  EXPECT_NE(parse({"compile", "x.pb"}).error, "");
  EXPECT_NE(parse({"check"}).error, "");
  EXPECT_NE(parse({"check", "a.pb", "b.pb"}).error, "");
  EXPECT_NE(parse({"check", "x.pb", "--bogus"}).error, "");
  EXPECT_NE(parse({"convert", "x.pb", "--dest"}).error, "");
  EXPECT_NE(parse({"register-ide", "x.pb"}).error, "");
  EXPECT_NE(parse({"register-ide", "--log"}).error, "");
  EXPECT_EQ(parse({"register-ide", "--tools-file", "/t"}).error, "");
  EXPECT_EQ(parse({"check", "-"}).commandLine.source, "-");
}

TEST(ConsoleCommandLine, SourceAloneConvertsIt) {
  // How the IDE starts a registered tool: the source path as the only argument.
  auto r = parse({"C:\\My Code\\demo.pb"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.commandLine.command, Command::convert);
  EXPECT_EQ(r.commandLine.source, "C:\\My Code\\demo.pb");
  EXPECT_EQ(r.commandLine.options.flags, 0u);
  EXPECT_FALSE(r.commandLine.destination);
  EXPECT_EQ(parse({"demo.pb", "--lib"}).commandLine.options.outputFormat,
            app::OutputFormat::staticLibrary);
}

TEST(ConsoleCommandLine, JobsTakeAWholeNumberAndBelongToConvert) {
  EXPECT_FALSE(parse({"convert", "x.pb"}).commandLine.jobs);
  EXPECT_EQ(parse({"convert", "x.pb", "--jobs", "3"}).commandLine.jobs, 3);
  EXPECT_EQ(parse({"--jobs", "256", "x.pb", "--lib"}).commandLine.jobs, 256);
  for (const char* bad : {"0", "-2", "+2", "2x", ""}) {
    EXPECT_NE(parse({"convert", "x.pb", "--jobs", bad}).error, "") << bad;
  }
  for (const char* tooMany : {"257", "99999999999"}) {  // the second one overflows an int
    EXPECT_EQ(parse({"convert", "x.pb", "--jobs", tooMany}).error,
              "option --jobs takes at most 256");
  }
  EXPECT_NE(parse({"convert", "x.pb", "--jobs"}).error, "");
  EXPECT_NE(parse({"check", "x.pb", "--jobs", "2"}).error, "");
  EXPECT_NE(parse({"register-ide", "--jobs", "2"}).error, "");
}

TEST(ConsoleCommandLine, OtherBuildsBelongToConvertAndNotToReusedSources) {
  auto r = parse({"convert", "x.pb", "--variants", "--pb-folder-x86=/pb32"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.commandLine.options.flags, static_cast<std::uint32_t>(app::kVariants));
  EXPECT_EQ(r.commandLine.otherPbFolder, "/pb32");
  EXPECT_EQ(r.commandLine.otherProcessor, app::Processor::x86);
  EXPECT_EQ(parse({"x.pb", "--pb-folder-x64", "/pb64"}).commandLine.otherProcessor,
            app::Processor::x64);
  const std::pair<std::vector<std::string>, std::string> kErrors[] = {
      {{"x.pb", "--pb-folder-x64", "/a", "--pb-folder-x86", "/b"},
       "give one of --pb-folder-x64 and --pb-folder-x86"},
      {{"x.pb", "--use-existing-asm", "--variants"},
       "option --variants does not go with --use-existing-asm"},
      {{"--pb-folder-x64=/a", "x.pb", "--use-existing-asm"},
       "option --pb-folder-x64 does not go with --use-existing-asm"},
      {{"check", "x.pb", "--variants"}, "option --variants belongs to convert"},
  };
  for (const auto& [arguments, error] : kErrors) EXPECT_EQ(parse(arguments).error, error);
}

TEST(ConsoleCommandLine, ValuesMayBeAttachedWithAnEqualsSign) {
  auto r =
      parse({"--pb-folder=/pb", "convert", "x.pb", "--dest=/o=1", "--jobs=2", "--tools-file=/t"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.commandLine.source, "x.pb");
  EXPECT_EQ(r.commandLine.pbFolder, "/pb");
  EXPECT_EQ(r.commandLine.destination, "/o=1");
  EXPECT_EQ(r.commandLine.jobs, 2);
  EXPECT_EQ(r.commandLine.toolsFile, "/t");
  EXPECT_EQ(parse({"convert", "x.pb", "--jobs=257"}).error, "option --jobs takes at most 256");
  EXPECT_EQ(parse({"convert", "x.pb", "--lib=1"}).error, "option --lib takes no value");
}

TEST(ConsoleCommandLine, HelpAndVersionWinOverEverythingElse) {
  EXPECT_EQ(parse({"check", "--help"}).commandLine.command, Command::help);
  EXPECT_EQ(parse({"--version", "bogus"}).commandLine.command, Command::version);
  // The help's topic is the first command named, not an option's value.
  EXPECT_EQ(parse({"demo.pb", "-h"}).commandLine.helpTopic, Command::none);
  EXPECT_EQ(parse({"--dest", "check", "register-ide", "-h"}).commandLine.helpTopic,
            Command::registerIde);
}

// The line of the help that starts with the option, indented by two.
std::string helpLine(const std::string& help, const std::string& option) {
  std::size_t at = help.find("\n  " + option + " ");
  if (at == std::string::npos) at = help.find("\n  " + option + ",");
  return at == std::string::npos ? "" : help.substr(at + 1, help.find('\n', at + 1) - at - 1);
}

TEST(ConsoleHelp, ExplainsEachOptionOnALineOfItsOwn) {
  const std::string help = helpText(Command::none);
  for (const char* option :
       {"--lib", "--wrapper", "--export-globals", "--use-existing-asm", "--inline-asm",
        "--threadsafe", "--unicode", "--jobs", "--pb-folder", "--tools-file", "--dest", "--log",
        "--help", "--version", "--variants", "--pb-folder-x64", "--pb-folder-x86"}) {
    // A few words after the option and its value's name, from the 23rd column on.
    const std::string line = helpLine(help, option);
    ASSERT_GT(line.size(), 22u) << option << " is not explained";
    EXPECT_NE(line[22], ' ') << line;
    EXPECT_GE(std::count(line.begin() + 22, line.end(), ' '), 2) << line;
  }
  // Every option the help names is one the parser takes.
  for (std::size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
    const std::string option = help.substr(
        at, help.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-", at + 2) - at);
    EXPECT_EQ(parse({option, "=1"}).error.find("unknown option"), std::string::npos) << option;
  }
  // How the installation is found, and what lands where.
  EXPECT_NE(help.find(platform::ideOpenCommandPlace()), std::string::npos);
  for (const char* path : {"Bin/<base>.obj", "Bin/<base>.lib", "Bin/<base>.pbi", "Source/",
                           "Logs/briskoLog.txt", "out/Bin/demo.lib"}) {
    EXPECT_NE(help.find(platform::nativeSeparators(path)), std::string::npos) << path;
  }
  // A command's help holds what concerns it.
  EXPECT_NE(helpLine(helpText(Command::check), "--threadsafe"), "");
  EXPECT_EQ(helpText(Command::check).find("--lib"), std::string::npos);
  EXPECT_NE(helpLine(helpText(Command::registerIde), "--tools-file"), "");
}

}  // namespace
}  // namespace brisko::cli
