#include "net/FtpTelnet.h"

#include <gtest/gtest.h>

namespace {

using ftp::ByteRules;
using ftp::CommandBytes;
using ftp::ReplyBytes;

TEST(FtpTelnet, ProbeReplyGivesBothRules) {
  struct Case {
    const char* name;
    std::vector<std::string> reply;
    CommandBytes commands;
    ReplyBytes replies;
  };
  const Case cases[] = {
      {"raw both (Pure-FTPd)",
       {"550 Can't change directory to /ostraftp-probe\xff\xff.\xff-: No such file"},
       CommandBytes::Raw,
       ReplyBytes::Raw},
      {"Telnet commands, raw replies (ProFTPD)",
       {"550 /ostraftp-probe\xff.\xff-: No such file or directory"},
       CommandBytes::TelnetIac,
       ReplyBytes::Raw},
      {"raw commands, doubled replies",
       {"550 /ostraftp-probe\xff\xff\xff\xff.\xff\xff-: missing"},
       CommandBytes::Raw,
       ReplyBytes::Doubled},
      {"Telnet both ways",
       {"550 /ostraftp-probe\xff\xff.\xff\xff-"},
       CommandBytes::TelnetIac,
       ReplyBytes::Doubled},
      {"Telnet eating the lone IAC", {"550 /ostraftp-probe\xff.-"}, CommandBytes::TelnetIac, ReplyBytes::Raw},
      {"no echo (vsftpd)", {"550 Failed to change directory."}, CommandBytes::Raw, ReplyBytes::Unknown},
      {"echo on a later line",
       {"550-No such directory:", "550 /ostraftp-probe\xff.\xff-"},
       CommandBytes::TelnetIac,
       ReplyBytes::Raw},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ByteRules r = ftp::readProbeReply(c.reply);
    EXPECT_EQ(r.commands, c.commands);
    EXPECT_EQ(r.replies, c.replies);
  }
}

TEST(FtpTelnet, DoublingAndRuns) {
  EXPECT_EQ(ftp::commandText("/\xcf\xff\xf2", CommandBytes::TelnetIac), "/\xcf\xff\xff\xf2");
  EXPECT_EQ(ftp::commandText("/\xcf\xff\xf2", CommandBytes::Raw), "/\xcf\xff\xf2");
  EXPECT_EQ(ftp::undoubleFf("a\xff\xff\xff\xff b\xff\xff"), "a\xff\xff b\xff");
  EXPECT_EQ(ftp::undoubleFf(ftp::doubleFf("\xff\xff\xff x \xff")), "\xff\xff\xff x \xff");
  EXPECT_FALSE(ftp::hasOddFfRun("/a\xff\xff/b\xff\xff\xff\xff"));
  EXPECT_TRUE(ftp::hasOddFfRun("/a\xff\xff/b\xff\xff\xff"));
  EXPECT_TRUE(ftp::hasOddFfRun("\xff"));
  EXPECT_FALSE(ftp::hasOddFfRun("plain"));
}

TEST(FtpTelnet, PathReply) {
  EXPECT_EQ(ftp::parsePathReply("257 \"/a \"\"b\"\" \xff\" is the current directory"), "/a \"b\" \xff");
  EXPECT_EQ(ftp::parsePathReply("257 \"/\""), "/");
  EXPECT_EQ(ftp::parsePathReply("257 \"/unterminated"), std::nullopt);
  EXPECT_EQ(ftp::parsePathReply("257 no quotes"), std::nullopt);
}

}  // namespace
