// Sequential text records: a quoted value per line, and the field reader for them.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// Appends one record: a double quote, the value, a double quote, CR LF. A value that a
// record cannot hold faithfully (a double quote, CR or LF) or that is no path (a NUL)
// throws RuntimeError 5 naming `context`.
void appendRecord(std::string& out, std::string_view value, std::string_view context);

// Reads comma- or line-separated fields from text. Line ends are CR LF, LF or a lone CR;
// the last line may have none.
class FieldReader {
 public:
  FieldReader(std::string text, std::string context);
  // The next field: leading spaces skipped; a quoted value runs to the next quote and
  // the rest of its line up to a comma or line end is skipped; an unquoted value runs
  // to a comma or line end, trailing spaces removed. Past the end: RuntimeError 62; a
  // value holding a NUL: 75, as for a damaged file.
  std::string next();

 private:
  bool atLineEnd() const;
  void skipDelimiter();

  std::string text_;
  std::string context_;
  std::size_t pos_ = 0;
};

}  // namespace qm
