#include "SharedOutput.h"

void SharedOutput::Write(const std::string& text) {
  std::lock_guard lock(mutex_);
  out_ << text;
  out_.flush();
}

LineWriter::LineWriter(SharedOutput& sink, std::string prefix)
    : std::ostream(&buffer_), buffer_(sink, std::move(prefix)) {}

LineWriter::~LineWriter() { buffer_.Flush(); }

void LineWriter::SetPrefix(std::string prefix) { buffer_.SetPrefix(std::move(prefix)); }

std::streambuf::int_type LineWriter::Buffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  pending_ += traits_type::to_char_type(c);
  if (c == '\n') {
    sink_.Write(prefix_ + pending_);
    pending_.clear();
  }
  return c;
}

// A line left without its end at the last write.
void LineWriter::Buffer::Flush() {
  if (pending_.empty()) return;
  sink_.Write(prefix_ + pending_ + '\n');
  pending_.clear();
}
