#include "session/variant_builds.h"

#include <deque>
#include <memory>
#include <set>
#include <vector>

#include "language/text_ids.h"
#include "pipeline/output_layout.h"
#include "platform/paths.h"
#include "platform/threads.h"

namespace brisko::session {
namespace {

using language::TextId;

// How often the window's events are handled while the builds run beside each other.
constexpr int kPollMilliseconds = 20;

std::string_view processorName(app::Processor processor) {
  return processor == app::Processor::x64 ? "x64" : "x86";
}

pipeline::Target targetOf(app::Processor processor) {
  return processor == app::Processor::x64 ? pipeline::Target::x64() : pipeline::Target::x86();
}

// One build of the run and, once it ran, how it went.
struct Build {
  const BuildInstallation* installation = nullptr;
  bool threadSafe = false;
  // Its output's file name in Bin/, and the folder its conversion writes below.
  std::string outputName;
  std::string folder;
  app::ConversionOptions options;
  pipeline::BuildRole role;

  bool ran = false;
  pipeline::ConversionResult result;
  std::int64_t milliseconds = 0;

  // The processor its listing was for, once it has run.
  app::Processor processor() const {
    return result.summary.target == "x64" ? app::Processor::x64 : app::Processor::x86;
  }
};

// Shows what the builds showed on the front end's feedback; a warning that an earlier build
// gave already (the same source loses the same initial values in every build) is not repeated.
class Showing {
 public:
  explicit Showing(app::Feedback& feedback) : feedback_(feedback) {}
  void show(const app::ShownFeedback& shown) {
    if (shown.kind == app::ShownFeedback::Kind::warning && !warnings_.insert(shown.text).second) {
      return;
    }
    feedback_.show(shown);
  }

 private:
  app::Feedback& feedback_;
  std::set<std::string> warnings_;
};

class BuildRun {
 public:
  BuildRun(const platform::Platform& platform, app::Feedback& feedback, app::WindowServices& window,
           const BuildsRequest& request)
      : platform_(platform),
        feedback_(feedback),
        window_(window),
        request_(request),
        showing_(feedback) {}

  pipeline::ConversionResult run();

 private:
  void plan();
  bool makeWorkFolders();
  void runOneAfterAnother();
  void runBesideEachOther(std::size_t concurrency, int jobs);
  void runBuild(Build& build, app::Feedback& feedback, app::WindowServices& window, int jobs);
  // After a build ended: its output moved into Bin/. False when the run stops with it.
  bool finish(Build& build);
  void writeWrapper();
  void appendToLog();
  std::string binPath(const std::string& name) const {
    return pipeline::OutputLayout(destination_, baseName_).binFolder() + name;
  }
  // "thread-safe x86", "non-thread-safe x64": the programs a build (or a missing one) serves.
  std::string programsOf(app::Processor processor, bool threadSafe) const;

  const platform::Platform& platform_;
  app::Feedback& feedback_;
  app::WindowServices& window_;
  const BuildsRequest& request_;
  Showing showing_;

  std::string destination_;
  std::string baseName_;
  std::vector<Build> builds_;
  std::string wrapperPath_;
  bool wrapperWritten_ = false;
};

void BuildRun::plan() {
  const bool variants = request_.options.has(app::kVariants);
  const bool bothProcessors = request_.other.has_value();
  const std::vector<bool> kinds = variants
                                      ? std::vector<bool>{false, true}
                                      : std::vector<bool>{request_.options.has(app::kThreadsafe)};
  const char* extension =
      request_.options.outputFormat == app::OutputFormat::staticLibrary ? ".lib" : ".obj";
  std::vector<const BuildInstallation*> installations = {&request_.main};
  if (request_.other) installations.push_back(&*request_.other);

  for (const BuildInstallation* installation : installations) {
    for (const bool threadSafe : kinds) {
      Build& build = builds_.emplace_back();
      build.installation = installation;
      build.threadSafe = threadSafe;
      const std::optional<app::Processor> processor = installation->processor;
      std::string suffix;
      if (bothProcessors && processor == app::Processor::x64) suffix += "_x64";
      if (variants && threadSafe) suffix += "_thread";
      build.outputName = baseName_ + suffix + extension;
      build.role.outputStem = baseName_ + suffix;
      build.role.handBackWrapper = true;
      if (bothProcessors && processor) build.role.expectedTarget = targetOf(*processor);

      build.options = request_.options;
      build.options.flags &= ~static_cast<std::uint32_t>(app::kVariants | app::kThreadsafe);
      if (threadSafe) build.options.flags |= app::kThreadsafe;
      if (builds_.size() == 1) {
        // The first build is the conversion as it would be without the others.
        build.folder = destination_;
        build.role.destinationLocked = true;
        continue;
      }
      build.options.flags &= ~static_cast<std::uint32_t>(app::kCHeader);
      // The work folder is named for the build: x86, x64_thread, ...; "plain" or "thread" where
      // the processor is not known before the listing is read.
      std::string key = threadSafe ? "thread" : "plain";
      if (processor) key = std::string(processorName(*processor)) + (threadSafe ? "_thread" : "");
      const char separator = platform::kPathSeparator;
      build.folder = pipeline::OutputLayout(destination_, baseName_).sourceFolder() +
                     std::string(kVariantsFolderName) + separator + key + separator;
    }
  }
}

bool BuildRun::makeWorkFolders() {
  platform::FileSystem& files = platform_.files;
  for (std::size_t i = 1; i < builds_.size(); ++i) {
    if (files.makeFolders(builds_[i].folder)) continue;
    feedback_.reportError(TextId::outputDirectories, false,
                          app::pathDetail(builds_[i].folder, files.failureReason()));
    return false;
  }
  return true;
}

void BuildRun::runBuild(Build& build, app::Feedback& feedback, app::WindowServices& window,
                        int jobs) {
  app::Services services{platform_.files, platform_.processes,       platform_.clock, feedback,
                         window,          *build.installation->paths};
  const std::int64_t start = platform_.clock.steadyMilliseconds();
  build.result = pipeline::runConversion(services, request_.sourcePath, build.folder, build.options,
                                         build.installation->catalogue, jobs, build.role);
  build.milliseconds = platform_.clock.steadyMilliseconds() - start;
  build.ran = true;
}

void BuildRun::runOneAfterAnother() {
  for (Build& build : builds_) {
    feedback_.setStatus(TextId::statusbarBuilding, {build.outputName});
    app::ForwardingFeedback shown([this](app::ShownFeedback item) { showing_.show(item); });
    shown.attachTexts(feedback_.attachedTexts());
    runBuild(build, shown, window_, request_.jobs);
    if (!finish(build)) return;
  }
}

// Workers take the builds in order, each with a feedback of its own that queues what it shows;
// this thread shows the queue of the earliest build not yet through (so its status lines come
// as they happen) and handles the window's events meanwhile. After a failure no worker starts
// another build, and what builds after the failed one showed is dropped.
void BuildRun::runBesideEachOther(std::size_t concurrency, int jobs) {
  struct Queue {
    std::deque<app::ShownFeedback> shown;
    bool finished = false;
  };
  std::vector<Queue> queues(builds_.size());
  std::vector<bool> announced(builds_.size(), false);
  platform::Lock lock;
  platform::Wakeup wakeup;
  std::size_t next = 0;
  bool stop = false;
  app::WindowServices noWindow;

  const auto work = [&] {
    for (;;) {
      lock.lock();
      if (stop || next == builds_.size()) {
        lock.unlock();
        return;
      }
      const std::size_t i = next++;
      lock.unlock();
      app::ForwardingFeedback shown([&, i](app::ShownFeedback item) {
        lock.lock();
        queues[i].shown.push_back(std::move(item));
        lock.unlock();
        wakeup.notify();
      });
      shown.attachTexts(feedback_.attachedTexts());
      runBuild(builds_[i], shown, noWindow, jobs);
      lock.lock();
      queues[i].finished = true;
      if (!builds_[i].result.outcome.succeeded()) stop = true;
      lock.unlock();
      wakeup.notify();
    }
  };
  std::vector<std::unique_ptr<platform::Thread>> workers;
  for (std::size_t k = 0; k < concurrency; ++k) {
    workers.push_back(std::make_unique<platform::Thread>(work));
    if (!workers.back()->started()) workers.pop_back();
  }
  if (workers.empty()) {
    runOneAfterAnother();
    return;
  }

  bool failed = false;
  for (std::size_t lead = 0; lead < builds_.size();) {
    lock.lock();
    std::deque<app::ShownFeedback> shown;
    shown.swap(queues[lead].shown);
    const bool finished = queues[lead].finished;
    // A build no worker took before the run stopped never starts.
    const bool abandoned = stop && lead >= next;
    if (shown.empty() && !finished && !abandoned) wakeup.waitFor(lock, kPollMilliseconds);
    lock.unlock();
    if (!failed && (!shown.empty() || finished) && !announced[lead]) {
      // The status that names the build comes before the first thing it shows.
      feedback_.setStatus(TextId::statusbarBuilding, {builds_[lead].outputName});
      announced[lead] = true;
    }
    if (!failed) {
      for (const app::ShownFeedback& item : shown) showing_.show(item);
    }
    window_.pollEvents();
    if (finished || abandoned) {
      if (!failed && finished && !finish(builds_[lead])) failed = true;
      if (abandoned) failed = true;
      ++lead;
    }
  }
  for (auto& worker : workers) worker->join();
}

bool BuildRun::finish(Build& build) {
  if (!build.result.outcome.succeeded()) return false;
  if (build.folder == destination_) return true;
  platform::FileSystem& files = platform_.files;
  std::vector<std::string>& written = build.result.writtenFiles;
  const std::string made =
      pipeline::OutputLayout(build.folder, baseName_).binFolder() + build.outputName;
  const std::string target = binPath(build.outputName);
  // The build's output replaces the one of an earlier run only once it is made and checked.
  if (files.exists(target)) files.deleteFile(target);
  if (!files.moveFile(made, target)) {
    build.result.outcome = feedback_.reportError(TextId::creatingFileError, false,
                                                 app::pathDetail(target, files.failureReason()));
    return false;
  }
  written.assign(1, target);
  return true;
}

std::string BuildRun::programsOf(app::Processor processor, bool threadSafe) const {
  return feedback_.text(threadSafe ? TextId::buildThreadSafe : TextId::buildNotThreadSafe,
                        {processorName(processor)});
}

void BuildRun::writeWrapper() {
  pipeline::WrapperCells cells;
  bool made[2] = {false, false};
  for (const Build& build : builds_) {
    const std::size_t processor = build.processor() == app::Processor::x64 ? 1 : 0;
    made[processor] = true;
    cells[processor][build.threadSafe ? 1 : 0].part = build.result.wrapperPart;
  }
  for (const app::Processor processor : {app::Processor::x86, app::Processor::x64}) {
    const std::size_t row = processor == app::Processor::x64 ? 1 : 0;
    for (const bool threadSafe : {false, true}) {
      pipeline::WrapperCell& cell = cells[row][threadSafe ? 1 : 0];
      if (cell.part) continue;
      // A processor without a build needs its installation; a missing thread variant of a
      // processor that has the other one needs --variants.
      const std::string name(processorName(processor));
      cell.missing =
          made[row] ? feedback_.text(TextId::pbwrapperNoBuild,
                                     {baseName_, programsOf(processor, threadSafe),
                                      feedback_.text(TextId::variantsOption)})
                    : feedback_.text(
                          TextId::pbwrapperNoBuild,
                          {baseName_, name, feedback_.text(TextId::installationOption, {name})});
    }
  }
  const std::string text = pipeline::wrapperText(
      feedback_, baseName_, pipeline::symbolFormOf(baseName_), platform_.clock.now(), cells);
  platform::FileSystem& files = platform_.files;
  wrapperPath_ = binPath(baseName_ + ".pbi");
  feedback_.setStatus(TextId::statusbarCreatingPbWrapper);
  // A wrapper that cannot be written is reported; the builds stay made.
  if (!files.writeFile(wrapperPath_, text)) {
    feedback_.reportError(TextId::creatingFileError, false,
                          app::pathDetail(wrapperPath_, files.failureReason()));
    return;
  }
  wrapperWritten_ = true;
}

// Seconds with two decimals, from milliseconds.
std::string seconds(std::int64_t milliseconds) {
  const std::int64_t hundredths = (milliseconds + 5) / 10;
  const std::string fraction = std::to_string(hundredths % 100);
  return std::to_string(hundredths / 100) + (fraction.size() == 1 ? ".0" : ".") + fraction;
}

// The first build's log ends with what each build made and how long it took, and the wrapper.
void BuildRun::appendToLog() {
  std::string text = "\r\n" + feedback_.text(TextId::objectBuilds) + "\r\n";
  for (const Build& build : builds_) {
    const bool made = build.ran && build.result.outcome.succeeded();
    text += made
                ? feedback_.text(TextId::objectBuildLine,
                                 {build.outputName, programsOf(build.processor(), build.threadSafe),
                                  seconds(build.milliseconds)})
                : feedback_.text(TextId::objectBuildNotMade, {build.outputName});
    text += "\r\n";
  }
  if (!wrapperPath_.empty()) {
    text += feedback_.text(TextId::objectCreatingPbWrapper) + " \"" +
            pipeline::OutputLayout::binPathFromLogs(platform::filePart(wrapperPath_)) +
            "\" ......" + feedback_.text(wrapperWritten_ ? TextId::noErrors : TextId::error) +
            "\r\n";
  }
  const std::string log = destination_ + std::string(pipeline::kLogsFolderName) +
                          platform::kPathSeparator + std::string(pipeline::kLogName);
  platform_.files.appendToFile(log, text);
}

pipeline::ConversionResult BuildRun::run() {
  platform::FileSystem& files = platform_.files;
  pipeline::ConversionResult result;
  destination_ = pipeline::settledDestination(files, request_.sourcePath, request_.destination);
  baseName_ = std::string(platform::withoutExtension(platform::filePart(request_.sourcePath)));
  // The run holds the destination for all its builds: the outputs gathered in Bin/ and the
  // wrapper are the run's too.
  const platform::FolderLockAttempt lock = files.lockFolder(destination_);
  if (lock.heldElsewhere) {
    result.outcome =
        feedback_.reportError(TextId::destinationBusy, false, app::pathDetail(destination_));
    return result;
  }
  plan();
  if (!makeWorkFolders()) {
    result.outcome = app::failed(TextId::outputDirectories);
    return result;
  }

  const int jobs = request_.jobs < 1 ? 1 : request_.jobs;
  const std::size_t concurrency = std::min(builds_.size(), static_cast<std::size_t>(jobs));
  if (concurrency > 1 && files.allowsWritesFromAnotherThread()) {
    runBesideEachOther(concurrency, jobs / static_cast<int>(concurrency));
  } else {
    runOneAfterAnother();
  }

  bool allMade = true;
  app::Outcome failure = app::ok();
  for (const Build& build : builds_) {
    if (build.ran && build.result.outcome.succeeded()) continue;
    if (allMade && build.ran) failure = build.result.outcome;
    allMade = false;
  }
  if (allMade && request_.options.has(app::kPbWrapper)) writeWrapper();
  if (request_.options.has(app::kLogFile) && builds_.front().ran) appendToLog();

  Build& first = builds_.front();
  result.foldersReady = true;
  if (!allMade) {
    result.outcome =
        failure.succeeded() ? app::failed(TextId::objectOutputFileNotCreated) : failure;
    return result;
  }
  result.summary = std::move(first.result.summary);
  std::vector<std::string>& written = result.writtenFiles;
  const std::vector<std::string>& firstWritten = first.result.writtenFiles;
  if (!firstWritten.empty()) written.push_back(firstWritten.front());
  for (std::size_t i = 1; i < builds_.size(); ++i) {
    written.insert(written.end(), builds_[i].result.writtenFiles.begin(),
                   builds_[i].result.writtenFiles.end());
  }
  if (wrapperWritten_) written.push_back(wrapperPath_);
  if (firstWritten.size() > 1)
    written.insert(written.end(), firstWritten.begin() + 1, firstWritten.end());
  return result;
}

}  // namespace

pipeline::ConversionResult runBuilds(const platform::Platform& platform, app::Feedback& feedback,
                                     app::WindowServices& window, const BuildsRequest& request) {
  BuildRun run(platform, feedback, window, request);
  return run.run();
}

}  // namespace brisko::session
