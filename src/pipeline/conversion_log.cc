#include "pipeline/conversion_log.h"

#include "pipeline/generated_source.h"

namespace brisko::pipeline {
namespace {

constexpr std::size_t kFlushSize = 64 * 1024;

}  // namespace

std::unique_ptr<ConversionLog> ConversionLog::create(platform::FileSystem& files,
                                                     const std::string& path,
                                                     const platform::Clock& clock) {
  auto file = files.createFile(path);
  if (!file) return nullptr;
  std::unique_ptr<ConversionLog> log(new ConversionLog(std::move(file)));
  const platform::LocalTime now = clock.now();
  log->write("\xEF\xBB\xBF");
  log->writeLine("Brisko generated log file.");
  log->writeLine("Date is " + formatDate(now));
  log->writeLine("Time is " + formatTime(now));
  log->writeLine("\\\\\\\\\\\\\\\\\\\\");
  return log;
}

ConversionLog::~ConversionLog() {
  close();
}

void ConversionLog::write(std::string_view text) {
  if (!file_) return;
  // Tools' texts may break lines with a bare line feed; the log's lines all end with CR LF.
  for (char c : text) {
    if (c == '\n' && !afterCarriageReturn_) buffer_ += '\r';
    buffer_ += c;
    afterCarriageReturn_ = c == '\r';
  }
  if (buffer_.size() >= kFlushSize) flush();
}

void ConversionLog::flush() {
  if (file_ && !buffer_.empty()) file_->write(buffer_);
  buffer_.clear();
}

void ConversionLog::close() {
  if (!file_) return;
  flush();
  file_->close();
  file_.reset();
}

}  // namespace brisko::pipeline
