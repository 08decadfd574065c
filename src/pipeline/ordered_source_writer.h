// Storing the split's generated sources on the BackgroundWriter's thread while the next ones
// are built, and telling their outcomes as a run that stores each source at once would: the
// outcomes are collected in the order the sources were handed over, and only then is a
// source's log line written, so the log and the failure reported do not depend on the thread.
#pragma once

#include <deque>
#include <string>

#include "pipeline/conversion.h"
#include "pipeline/generated_source.h"
#include "platform/background_writer.h"

namespace brisko::pipeline {

class OrderedSourceWriter {
 public:
  OrderedSourceWriter(Conversion& conversion, const Listing& listing);

  // Hands over the UTF-8 text of Source/<name> (stored in the listing's encoding); text is
  // left holding the memory of an earlier source, emptied, for building the next one in. When
  // the writer is full the oldest outcome is collected first: a source that could not be
  // stored fails (reported) with creatingFileError, and every source after it is deleted.
  app::Outcome store(const std::string& name, std::string& text);
  // Collects every outcome still outstanding, with the same failure.
  app::Outcome collectAll();
  // Starts the log line of a procedure's source ("...creating source file").
  void startLogLine(const std::string& name);

 private:
  struct InFlight {
    std::string path;
    std::string name;
  };
  // The outcome of the oldest source in flight, logged.
  app::Outcome collectOldest();

  Conversion& conversion_;
  const Listing& listing_;
  platform::BackgroundWriter writer_;
  std::deque<InFlight> inFlight_;  // the sources handed to the writer, oldest first
};

}  // namespace brisko::pipeline
