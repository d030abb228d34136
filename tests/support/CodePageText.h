#pragma once

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

// UTF-8 text written in a code page, as an old tagger would have written it.
inline std::string InCodePage(const char* code_page, const std::string& utf8) {
  iconv_t cd = iconv_open(code_page, "UTF-8");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << code_page;
  std::string out(utf8.size() * 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* to = out.data();
  size_t out_left = out.size();
  EXPECT_NE(iconv(cd, &in, &in_left, &to, &out_left), static_cast<size_t>(-1)) << code_page;
  iconv_close(cd);
  out.resize(out.size() - out_left);
  return out;
}
