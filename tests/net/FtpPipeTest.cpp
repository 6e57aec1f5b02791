#include "net/FtpPipe.h"

#include <gtest/gtest.h>

namespace {

// Replies as the bytes of a control connection bring them, in pieces of any size.
TEST(FtpPipe, RepliesFromTheStream) {
  struct Case {
    std::string bytes;
    std::vector<std::vector<std::string>> replies;  // each reply's lines
    bool valid = true;
  };
  const Case cases[] = {
      {"213 20261210\r\n", {{"213 20261210"}}},
      {"200 ok\n150-a\n", {{"200 ok"}}},  // LF alone ends a line; a reply not yet whole stays back
      {"213-Status of /a:\r\n-rw 1 f\r\n213-x\r\n 213 y\r\n213 End\r\n550 No\r\n",
       {{"213-Status of /a:", "-rw 1 f", "213-x", " 213 y", "213 End"}, {"550 No"}}},
      {"211-Features:\r\n MLST\r\n211-x\r\n211\r\n", {{"211-Features:", " MLST", "211-x", "211"}}},
      {"212-a\r\n213 other code\r\n212 End\r\n", {{"212-a", "213 other code", "212 End"}}},
      {"hello\r\n", {}, false},
      {"21 short\r\n", {}, false},
  };
  for (const Case& c : cases) {
    for (size_t piece : {size_t(1), size_t(7), c.bytes.size()}) {
      ftp::ReplySplitter s;
      bool ok = true;
      for (size_t i = 0; i < c.bytes.size() && ok; i += piece) ok = s.feed(c.bytes.substr(i, piece));
      EXPECT_EQ(ok, c.valid) << c.bytes;
      std::vector<std::vector<std::string>> got;
      while (auto r = s.take()) {
        EXPECT_EQ(r->code, std::stol(r->lines[0].substr(0, 3)));
        got.push_back(r->lines);
      }
      EXPECT_EQ(got, c.replies) << c.bytes << " in pieces of " << piece;
    }
  }
  ftp::ReplySplitter big;
  EXPECT_FALSE(big.feed("213-" + std::string(ftp::ReplySplitter::kMaxReplyBytes, 'x')))
      << "a reply past the limit is no reply";
}

TEST(FtpPipe, PassivePort) {
  const std::pair<std::string, std::optional<unsigned>> cases[] = {
      {"229 Entering Extended Passive Mode (|||6446|)", 6446},
      {"229 Entering Passive Mode (!!!21!).", 21},
      {"229 (|||65535|)", 65535},
      {"229 (|||65536|)", std::nullopt},
      {"229 (||6446|)", std::nullopt},
      {"229 (|||6446!)", std::nullopt},
      {"227 Entering Passive Mode (127,0,0,1,4,1)", std::nullopt},
  };
  for (const auto& [line, port] : cases) EXPECT_EQ(ftp::passivePort(line), port) << line;
}

}  // namespace
