// Writing and reading sequential text records.
#include "records.h"

#include "errors.h"

namespace qm {

void appendRecord(std::string& out, std::string_view value, std::string_view context) {
  if (value.find_first_of(std::string_view("\"\r\n\0", 4)) != std::string_view::npos)
    throw RuntimeError(err::kInvalidCall, context);
  out += '"';
  out += value;
  out += "\"\r\n";
}

FieldReader::FieldReader(std::string text, std::string context)
    : text_(std::move(text)), context_(std::move(context)) {}

bool FieldReader::atLineEnd() const {
  return pos_ < text_.size() && (text_[pos_] == '\r' || text_[pos_] == '\n');
}

// Consumes one comma or one line end (CR LF, LF or CR) at the current position.
void FieldReader::skipDelimiter() {
  if (pos_ >= text_.size()) return;
  if (text_[pos_] == ',') {
    ++pos_;
  } else if (text_[pos_] == '\r') {
    ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
  } else if (text_[pos_] == '\n') {
    ++pos_;
  }
}

std::string FieldReader::next() {
  while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  if (pos_ >= text_.size()) throw RuntimeError(err::kPastEnd, context_);
  std::string value;
  if (text_[pos_] == '"') {
    const std::size_t close = text_.find('"', pos_ + 1);
    const std::size_t end = close == std::string::npos ? text_.size() : close;
    value = text_.substr(pos_ + 1, end - pos_ - 1);
    pos_ = end == text_.size() ? end : end + 1;
    while (pos_ < text_.size() && text_[pos_] != ',' && !atLineEnd()) ++pos_;
  } else {
    const std::size_t end = text_.find_first_of(",\r\n", pos_);
    value = text_.substr(pos_, (end == std::string::npos ? text_.size() : end) - pos_);
    pos_ = end == std::string::npos ? text_.size() : end;
    value.erase(value.find_last_not_of(' ') + 1);
  }
  skipDelimiter();
  // A NUL is in no path: taken on, it would cut the path short in the system's calls.
  if (value.find('\0') != std::string::npos) throw RuntimeError(err::kPathFileAccess, context_);
  return value;
}

}  // namespace qm
