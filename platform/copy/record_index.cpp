// The index that ends a record: written 64 files a line, read back and checked by its sums.
#include "copy/record_index.h"

#include <bit>
#include <charconv>
#include <cstring>

namespace qm::copy {

namespace {

constexpr std::string_view kIndex = "# index\t";
constexpr std::string_view kIndexEnd = "# index end\t";
// Files a line of the index: 2,056 characters.
constexpr int kLineFiles = 64;
constexpr std::size_t kFileDigits = 32;

// The two digits of each byte's value, made once: an index is written while the run ends.
struct ByteDigits {
  char pair[256][2];
  constexpr ByteDigits() : pair() {
    constexpr char kDigits[] = "0123456789abcdef";
    for (int b = 0; b < 256; ++b) {
      pair[b][0] = kDigits[b >> 4];
      pair[b][1] = kDigits[b & 15];
    }
  }
};
constexpr ByteDigits kByteDigits;

void appendHex(std::string& text, std::uint64_t value) {
  char digits[16];
  for (int i = 14; i >= 0; i -= 2, value >>= 8)
    std::memcpy(digits + i, kByteDigits.pair[value & 255], 2);
  text.append(digits, sizeof digits);
}

constexpr std::uint64_t kEachByte = 0x0101010101010101ULL;
static_assert(std::endian::native == std::endian::little,
              "digits are read eight at a time, the first in the lowest byte");

// The value of eight lowercase hexadecimal digits, read side by side in one word (the
// machine's order: the first digit in the lowest byte); false where one is not a digit.
// An index holds two numbers of sixteen digits a file, and is read while the copy waits.
bool parseHex8(const char* text, std::uint64_t& value) {
  std::uint64_t w;
  std::memcpy(&w, text, 8);
  const std::uint64_t high = 0x80 * kEachByte;
  // Below 0x80 each byte stays below 0x100 as the bounds are added: no carries between them.
  if (w & high) return false;
  const auto from = [w](unsigned char lowest) { return w + (0x80 - lowest) * kEachByte; };
  const std::uint64_t digit = from('0') & ~from('9' + 1), letter = from('a') & ~from('f' + 1);
  if (((digit | letter) & high) != high) return false;
  // '0'–'9' are 0x30–0x39 and 'a'–'f' 0x61–0x66: the low four bits, plus 9 for a letter.
  std::uint64_t v = (w & 0x0F * kEachByte) + ((w >> 6) & kEachByte) * 9;
  v = ((v << 4) | (v >> 8)) & 0x00FF00FF00FF00FFULL;  // two digits a byte, the first higher
  v = ((v << 8) | (v >> 16)) & 0x0000FFFF0000FFFFULL;
  value = ((v << 16) | (v >> 32)) & 0xFFFFFFFFULL;
  return true;
}

bool parseHex(const char* text, std::uint64_t& value) {
  std::uint64_t high, low;
  if (!parseHex8(text, high) || !parseHex8(text + 8, low)) return false;
  value = high << 32 | low;
  return true;
}

// Four numbers of the last line: three decimal counts, or two and then two sums in hex.
bool parseEnd(std::string_view text, std::uint64_t& files, std::uint64_t& lines, std::uint64_t& sum,
              std::uint64_t& indexSum) {
  const char* at = text.data();
  const char* const end = at + text.size();
  for (std::uint64_t* count : {&files, &lines}) {
    const auto [after, error] = std::from_chars(at, end, *count);
    if (error != std::errc() || after == end || *after != ' ') return false;
    at = after + 1;
  }
  return end - at == 33 && parseHex(at, sum) && at[16] == ' ' && parseHex(at + 17, indexSum);
}

}  // namespace

// Eight bytes at a time, in the machine's order (a record is trusted on its machine only).
// Each fold is one to one in the word it takes, so two texts of one length that differ in
// a single word never hash alike.
std::uint64_t stableHash(std::string_view bytes) {
  std::uint64_t hash = bytes.size();
  const char* at = bytes.data();
  std::size_t left = bytes.size();
  for (; left >= 8; at += 8, left -= 8) {
    std::uint64_t word;
    std::memcpy(&word, at, 8);
    hash = foldHash(hash, word);
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, at, left);
  return finishHash(foldHash(hash, tail));
}

void IndexWriter::add(const KnownFile& file) {
  if (inLine_ == 0) line_.assign(kIndex);
  appendHex(line_, file.key());
  appendHex(line_, file.indexBits());
  ++files_;
  if (++inLine_ == kLineFiles) flush();
}

void IndexWriter::flush() {
  if (inLine_ == 0) return;
  indexSum_ += lineSum(line_);
  line_.push_back('\n');
  out_(line_);
  inLine_ = 0;
}

void IndexWriter::finish(std::uint64_t lines, std::uint64_t sum) {
  flush();
  std::string last(kIndexEnd);
  last.append(std::to_string(files_)).append(" ").append(std::to_string(lines)).append(" ");
  appendHex(last, sum);
  last.push_back(' ');
  appendHex(last, indexSum_);
  last.push_back('\n');
  out_(last);
}

bool IndexReader::isIndexLine(std::string_view line) {
  return line.starts_with(kIndex) || line.starts_with(kIndexEnd);
}

bool IndexReader::take(std::string_view line, const std::function<void(const KnownFile&)>& file) {
  if (damaged_ || ended_) return fail();
  if (line.starts_with(kIndexEnd)) {
    ended_ = true;
    return parseEnd(line.substr(kIndexEnd.size()), endFiles_, endLines_, endSum_, endIndexSum_) ||
           fail();
  }
  if (!line.starts_with(kIndex)) return fail();
  const std::string_view digits = line.substr(kIndex.size());
  if (digits.empty() || digits.size() % kFileDigits != 0 ||
      digits.size() > kLineFiles * kFileDigits)
    return fail();
  indexSum_ += lineSum(line);
  for (std::size_t at = 0; at < digits.size(); at += kFileDigits) {
    std::uint64_t key, bits;
    if (!parseHex(digits.data() + at, key) || !parseHex(digits.data() + at + 16, bits))
      return fail();
    file(KnownFile::fromIndex(key, bits));
    ++files_;
  }
  return true;
}

bool IndexReader::fail() {
  damaged_ = true;
  return false;
}

bool IndexReader::matches(std::uint64_t lines, std::uint64_t sum) const {
  return ended_ && !damaged_ && endFiles_ == files_ && endIndexSum_ == indexSum_ &&
         endLines_ == lines && endSum_ == sum;
}

}  // namespace qm::copy
