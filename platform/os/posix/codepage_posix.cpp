// Code page 932 (Shift-JIS) conversion with iconv.
#include <iconv.h>

#include <cerrno>
#include <memory>

#include "errors.h"
#include "os/codepage.h"

namespace qm {
namespace {

constexpr const char* kAnsiCodePage = "CP932";

// Converts all of `in`; returns false on any character that does not convert.
bool convert(const char* to, const char* from, std::string_view in, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::unique_ptr<void, int (*)(iconv_t)> guard(cd, iconv_close);
  out.assign(in.size() * 4 + 4, '\0');
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  char* dst = out.data();
  std::size_t dstLeft = out.size();
  if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) return false;
  if (iconv(cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<std::size_t>(-1)) return false;
  out.resize(out.size() - dstLeft);
  return true;
}

}  // namespace

std::string toAnsi(std::string_view utf8, std::string_view context) {
  std::string ansi, back;
  if (!convert(kAnsiCodePage, "UTF-8", utf8, ansi) ||
      !convert("UTF-8", kAnsiCodePage, ansi, back) || back != utf8)
    throw RuntimeError(err::kInvalidCall, context);
  return ansi;
}

std::string fromAnsi(std::string_view ansi, std::string_view context) {
  std::string utf8;
  if (!convert("UTF-8", kAnsiCodePage, ansi, utf8))
    throw RuntimeError(err::kPathFileAccess, context);
  return utf8;
}

}  // namespace qm
