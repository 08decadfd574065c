// The conversion driver: output folders, the log, and the stages in their order.
#pragma once

#include <string>
#include <vector>

#include "app/configuration.h"
#include "app/services.h"
#include "pipeline/conversion.h"
#include "pipeline/conversion_summary.h"
#include "pipeline/write_wrapper.h"
#include "toolchain/library_catalogue.h"

namespace brisko::pipeline {

// The folder a conversion writes below: destination when it is a folder, else the source
// file's folder; with its trailing separator.
std::string settledDestination(const platform::FileSystem& files, const std::string& sourcePath,
                               const std::string& destination);

// Creates Bin/, Source/ and Logs/ below destination. Fails with outputDirectories, reported,
// when the folders could not be made. (The sources an earlier library conversion generated go
// once the new listing has been read.)
app::Outcome prepareOutputFolders(app::Services& services, const std::string& destination);

// The stages that turn the listing at conversion.listingPath into sources, in their order: the
// analysis, the data-sections source and the split into procedure sources (and the link
// source), with the conversion's plan. Returns the first failure, already reported.
app::Outcome convertListing(Conversion& conversion);

// The plan of reused sources, which are the truth once edited: a library takes every source of
// Source/ (the listing aside), an object the link source, which includes the rest. Fails with
// asmFilesProblem, reported, when Source/ cannot be listed.
app::Outcome planReusedSources(Conversion& conversion);

// Converts sourcePath into destination/Bin/<base>.obj or .lib (destination falls back to the
// source file's folder), and writes the wrapper when asked, with the dummy calls the
// catalogue knows (none without one), and the C header when asked. After a success it warns of
// the variables that lose their initial value. A library's sources are assembled with up to
// jobs FASM runs at once. Only one conversion at a time writes into a destination: while another
// holds it, the conversion is refused (destinationBusy). With reused sources for a library, sources
// that another file's conversion left in Source/ are refused (foreignSources). Returns the
// outcome of the first stage that failed, already reported, or success.
struct ConversionResult {
  app::Outcome outcome;
  // The output folders were made (or existed) below the destination, so a view of it may
  // show new folders.
  bool foldersReady = false;
  // After a success: the files left for the user (the object or library, the wrapper, the C
  // header, the log).
  std::vector<std::string> writtenFiles;
  // After a success: what the output holds.
  ConversionSummary summary;
  // After a success, for a build that hands its wrapper part back: that part.
  std::optional<WrapperPart> wrapperPart;
};
// role: how the conversion is one build of several (see BuildRole); a listing of another
// processor than role.expectedTarget fails with installationTarget, reported.
ConversionResult runConversion(app::Services& services, const std::string& sourcePath,
                               const std::string& destination,
                               const app::ConversionOptions& options,
                               const toolchain::LibraryCatalogue* catalogue = nullptr, int jobs = 1,
                               const BuildRole& role = {});

}  // namespace brisko::pipeline
