// Stores whole files on a second thread while the caller prepares the next ones: creating
// thousands of small files costs the kernel about as much time as building them costs us, and
// the two can overlap. Files are stored in the order they are handed over, and their outcomes
// are collected in that order, so the caller can report them as if each had been stored at once.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/file_system.h"

namespace brisko::platform {

class BackgroundWriter {
 public:
  // Up to `depth` files may be in flight. A thread is used only when the file system allows
  // writes from another thread; otherwise each file is stored at once, on the caller's thread,
  // with the same outcomes.
  explicit BackgroundWriter(FileSystem& files, std::size_t depth = 16);
  // Waits for the files in flight (they stay stored).
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  std::size_t inFlight() const { return handedOver_ - collected_; }
  bool full() const { return inFlight() == depth_; }

  // Hands over a file to be created (or truncated), written with the bytes and closed. Not when
  // full(): collect the oldest outcome first.
  void store(std::string path, std::string bytes);
  // Waits for the oldest file in flight: true when it was stored completely; a file that could
  // not be stored completely has been deleted again. Call only while inFlight() > 0.
  bool collectOldest();
  // The system's words for why the source collected last could not be stored.
  const std::string& lastFailureReason() const { return lastFailureReason_; }
  // Waits for every file in flight and deletes the ones that were stored: for when a failure
  // before them means they should never have been written.
  void discardAll();
  // The memory of the bytes of a collected file, emptied, for building the next file in.
  std::string takeBuffer();

 private:
  struct Job {
    std::string path;
    std::string bytes;
    bool stored = false;
    std::string failureReason;  // the system's words when the file could not be stored
  };
  struct Worker;

  FileSystem& files_;
  std::string lastFailureReason_;
  const std::size_t depth_;
  std::unique_ptr<Job[]> jobs_;
  std::unique_ptr<Worker> worker_;  // none when files are stored on the caller's thread
  std::size_t handedOver_ = 0;      // files handed over so far
  std::size_t collected_ = 0;       // outcomes collected so far
  std::string spare_;
};

}  // namespace brisko::platform
