// Shared set-up of the conversion stage tests: an in-memory destination and helpers to read the
// generated sources back (the listings come from tests/support/listing_builder.h).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "english_texts.h"
#include "fakes.h"
#include "listing_builder.h"
#include "memory_file_system.h"
#include "pipeline/analyse_assembly.h"
#include "pipeline/conversion.h"
#include "pipeline/run_conversion.h"
#include "pipeline/split_procedures.h"

// The names every stage test uses.
namespace brisko::pipeline {
using app::failed;
using app::ok;
using language::TextId;
using testing::Lines;
using testing::ListingText;
constexpr auto kObject = app::OutputFormat::objectFile;
constexpr auto kLibrary = app::OutputFormat::staticLibrary;
}  // namespace brisko::pipeline

namespace brisko::testing {

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
                                   app::OutputFormat format = pipeline::kObject, int jobs = 1,
                                   const toolchain::LibraryCatalogue* catalogue = nullptr) {
    app::ConversionOptions options;
    options.flags = flags;
    options.outputFormat = format;
    current.emplace(services,
                    pipeline::ConversionSettings{"/src/demo.pb", options, jobs, catalogue},
                    pipeline::OutputLayout("/dest/", "demo"));
    current->listingPath = kListingPath;
    return *current;
  }

  void useLog() { feedback.setActiveLog(&log); }

  // The first pass as the driver runs it: the analysis, the data-sections source, and the
  // analysis' progress line completed.
  static app::Outcome analyseListing(pipeline::Conversion& c) {
    const app::Outcome result = pipeline::analyseAssembly(c);
    if (result.succeeded()) c.logOutcome(true);
    return result;
  }

  // Stores the listing and runs the first pass on it.
  app::Outcome analyse(const std::string& listingBytes,
                       app::OutputFormat format = pipeline::kObject, std::uint32_t flags = 0) {
    files.addFile(kListingPath, listingBytes);
    return analyseListing(conversion(flags, format));
  }

  // Turns the listing into sources as the driver does.
  app::Outcome convert(const std::string& listingBytes, app::OutputFormat format,
                       std::uint32_t flags = 0) {
    files.addFile(kListingPath, listingBytes);
    return pipeline::convertListing(conversion(flags, format));
  }
  app::Outcome convert(app::OutputFormat format) { return convert(sampleListing().text(), format); }

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
  Lines source(const std::string& name) const { return sourceLines("/dest/Source/" + name); }

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
