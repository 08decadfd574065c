// Logs/briskoLog.txt: UTF-8 with its mark, lines ended by CR LF (a bare line feed written to it
// becomes CR LF), written through a buffer.
#pragma once

#include <memory>
#include <string>

#include "app/feedback.h"
#include "platform/file_system.h"
#include "platform/system.h"

namespace brisko::pipeline {

class ConversionLog : public app::LogSink {
 public:
  // Creates the log and writes its mark and four header lines; nothing when the file cannot
  // be created.
  static std::unique_ptr<ConversionLog> create(platform::FileSystem& files, const std::string& path,
                                               const platform::Clock& clock);
  ~ConversionLog() override;

  void write(std::string_view text) override;
  void close();

 private:
  explicit ConversionLog(std::unique_ptr<platform::OutputFile> file) : file_(std::move(file)) {}
  void flush();

  std::unique_ptr<platform::OutputFile> file_;
  std::string buffer_;
  bool afterCarriageReturn_ = false;
};

}  // namespace brisko::pipeline
