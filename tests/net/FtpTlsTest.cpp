// Explicit FTPS against vsftpd, ProFTPD and Pure-FTPd with certificates the tests make: the operator's
// trust in a self-made certificate, the pinned key, a key that changed, the fallback to plain FTP, and
// what crosses the wire.
#include <gtest/gtest.h>

#include <fstream>
#include "net/FtpTls.h"
#include "net/Ftp_fun.h"
#include "settings/SettingsFile.h"
#include "settings/TlsFile.h"
#include "support/FtpServer.h"
#include "support/HostProcess.h"
#include "support/RecorderUi.h"
#include "support/SessionFiles.h"
#include "support/TempDir.h"

namespace {

using Tls = FtpServer::Options::Tls;
using ftp::TlsMode;

const std::string kObject = "/\xc7\xe0\xf0\xff";  // "Заря": byte 0xFF on every road
const std::string kPassword = "secret";

struct Fixture {
  std::unique_ptr<FtpServer> server;
  TempDir dir;
  SettingsFile settings;
  BrowseState browse;
  RecorderUi ui;
  TlsFile tls;
  std::unique_ptr<FtpSession> session;

  // Starts the server; false (and the test skipped) when it cannot run here.
  bool start(FtpServerKind kind, Tls serverTls) {
    FtpServer::Options o;
    o.kind = kind;
    o.tls = serverTls;
    server = std::make_unique<FtpServer>(o);
    if (!server->skipReason().empty()) return false;
    server->putFile(kObject + "/\xc7\xe0\xf0\xff-gaspar.txt", "SP: 0.68\r\n");
    tls.load((dir.path() / "ftp_tls.ini").string());
    return true;
  }
  TlsFile::Key key() const { return {"127.0.0.1", static_cast<unsigned>(server->port()), server->user()}; }
  void choose(TlsMode mode) {
    TlsEntry e = tls.entry(key());
    e.mode = mode;
    tls.set(key(), e);
  }
  // A session of five connections, as the window opens it.
  bool open() {
    session = loopbackSession(settings, browse, ui, server->port(), server->user(), kPassword, 5);
    session->setConnections(ftp::kMaxConnections);
    session->setTlsFile(&tls);
    return session->FtpOpen();
  }
};

// A build whose libcurl has no TLS: a connection that asks for TLS never opens, says why, and sends
// nothing.
bool withoutTls(Fixture& f) {
  if (ftp::tlsAvailable()) return false;
  f.choose(TlsMode::WhenOffered);
  EXPECT_FALSE(f.open());
  EXPECT_EQ(f.ui.texts(),
            std::vector<std::string>{"Не удалось установить защищенное соединение (TLS) с сервером"});
  EXPECT_EQ(f.server->wire(), "");
  return true;
}

// Browse, download and upload into a folder with 0xFF, MKD: the roads of the program, over TLS.
void everyRoad(Fixture& f) {
  FtpSession& s = *f.session;
  FtpSession::Action action(s);
  ASSERT_TRUE(s.FtpSetCurrentDirectory(s.ConnectionHandle, f.server->path(kObject)));
  s.FetchAhead({{FtpSession::Ahead::Kind::Listing, f.server->path(kObject)}});
  EXPECT_EQ(downloadWhole(s, "\xc7\xe0\xf0\xff-gaspar.txt"), "SP: 0.68\r\n");
  EXPECT_TRUE(uploadWhole(s, "new.txt", "SP: 0.70\r\n"));
  // The file as listed after the upload: its time is what the gas window shows.
  ftp::FindData entry;
  bool listed = false;
  EXPECT_EQ(
      s.ForEachEntry("new.txt", entry, [&](const ftp::FindData& e) { return !(listed = e.lastWriteValid); }),
      FtpSession::Listing::Listed)
      << s.GetLastError();
  EXPECT_TRUE(listed);
  EXPECT_TRUE(s.FtpCreateDirectory(s.ConnectionHandle, "v0017n\xff"));
  std::ifstream in(f.server->local(kObject + "/new.txt"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "SP: 0.70\r\n");
  EXPECT_TRUE(std::filesystem::is_directory(f.server->local(kObject + "/v0017n\xff")));
}

class FtpTlsServers : public ::testing::TestWithParam<FtpServerKind> {};

// First use: the question names the certificate; a yes pins its key, saved at once; every road then
// runs protected, and no password crosses the wire. The next session connects without a question.
TEST_P(FtpTlsServers, TrustedOnFirstUseThenPinned) {
  Fixture f;
  if (!f.start(GetParam(), Tls::Required)) GTEST_SKIP() << f.server->skipReason();
  if (withoutTls(f)) return;
  f.choose(TlsMode::Required);
  f.ui.answers = {true};
  ASSERT_TRUE(f.open()) << ::testing::PrintToString(f.ui.texts());
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_EQ(f.ui.messages[0].kind, "ask");
  EXPECT_EQ(f.ui.messages[0].title, "Сертификат FTP-сервера");
  const TlsEntry pinned = f.tls.entry(f.key());
  EXPECT_EQ(pinned.mode, TlsMode::Required);
  EXPECT_EQ(pinned.pin.size(), 44u);
  EXPECT_NE(f.ui.messages[0].text.find("Субъект: CN = server"), std::string::npos) << f.ui.messages[0].text;
  EXPECT_NE(f.ui.messages[0].text.find(pinned.fingerprint), std::string::npos);
  everyRoad(f);
  f.session->AwaitExtras();
  EXPECT_EQ(f.session->ExtrasReady(), ftp::kMaxConnections - 1);
  f.session->FtpClose();

  TlsFile reread;
  reread.load((f.dir.path() / "ftp_tls.ini").string());
  EXPECT_EQ(reread.entry(f.key()), pinned);
  f.ui.messages.clear();
  ASSERT_TRUE(f.open());
  EXPECT_TRUE(f.ui.messages.empty());
  f.session->FtpClose();
  const std::string wire = f.server->wire();
  EXPECT_EQ(wire.rfind("AUTH TLS\r\n", 0), 0u) << wire.substr(0, 20);
  EXPECT_EQ(wire.find(kPassword), std::string::npos);
  EXPECT_EQ(wire.find("USER"), std::string::npos);
}

// The operator's no ends the attempt with no message of its own and pins nothing; a pinned key that is
// not the server's is refused, the question naming both fingerprints; a no keeps the old pin, a yes
// takes the new key.
TEST_P(FtpTlsServers, DeclinedAndChangedKeys) {
  Fixture f;
  if (!f.start(GetParam(), Tls::Required)) GTEST_SKIP() << f.server->skipReason();
  if (withoutTls(f)) return;
  f.choose(TlsMode::Required);
  EXPECT_FALSE(f.open());
  EXPECT_EQ(f.session->GetLastError(), ftp::kErrorTlsUntrusted);
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_EQ(f.ui.messages[0].kind, "ask");
  EXPECT_EQ(f.tls.entry(f.key()).pin, "");
  EXPECT_EQ(f.server->wire().find(kPassword), std::string::npos);

  const std::string old = "AA:" + std::string(92, 'B');
  f.tls.set(f.key(), {TlsMode::Required, ftp::base64(std::string(32, 'k')), old});
  for (const bool yes : {false, true}) {
    f.ui.messages.clear();
    f.ui.answers = {yes};
    EXPECT_EQ(f.open(), yes);
    ASSERT_EQ(f.ui.messages.size(), 1u);
    const std::string& q = f.ui.messages[0].text;
    EXPECT_EQ(q.rfind("Ключ сервера изменился, соединение отклонено.", 0), 0u) << q;
    EXPECT_NE(q.find(old), std::string::npos);
    const auto now = ftp::serverKey(hostRun({"/bin/cat", f.server->options().certificate}), "");
    ASSERT_TRUE(now);
    EXPECT_NE(q.find(now->fingerprint), std::string::npos);
    EXPECT_EQ(f.tls.entry(f.key()).fingerprint, yes ? now->fingerprint : old);
    EXPECT_EQ(f.tls.entry(f.key()).pin, yes ? now->pin : ftp::base64(std::string(32, 'k')));
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpTlsServers,
                         ::testing::Values(FtpServerKind::Vsftpd, FtpServerKind::ProFtpd,
                                           FtpServerKind::PureFtpd),
                         [](const auto& info) { return std::string(ftpServerKindName(info.param)); });

// The choice against what the server does: the outcome, the message, and whether the password crossed
// the wire in the clear.
TEST(FtpTls, ChoiceAgainstServer) {
  const struct {
    const char* name;
    FtpServerKind kind;
    Tls server;
    TlsMode choice;
    bool opens;
    const char* message;  // "" for none
    bool clearPassword;
  } cases[] = {
      {"offered, taken", FtpServerKind::Vsftpd, Tls::Offered, TlsMode::WhenOffered, true, "", false},
      {"not offered: plain FTP", FtpServerKind::Vsftpd, Tls::None, TlsMode::WhenOffered, true, "", true},
      {"required, not offered", FtpServerKind::ProFtpd, Tls::None, TlsMode::Required, false,
       "Не удалось установить защищенное соединение (TLS) с сервером", false},
      {"vsftpd requires it, none chosen", FtpServerKind::Vsftpd, Tls::Required, TlsMode::None, false,
       "Сервер принимает только защищенные соединения: выберите TLS в параметрах соединения", false},
      {"ProFTPD requires it, none chosen", FtpServerKind::ProFtpd, Tls::Required, TlsMode::None, false,
       "Сервер принимает только защищенные соединения: выберите TLS в параметрах соединения", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    if (!f.start(c.kind, c.server)) continue;  // the server tests above report the skip
    if (withoutTls(f)) break;
    f.choose(c.choice);
    f.ui.answers = {true};
    EXPECT_EQ(f.open(), c.opens);
    std::vector<std::string> expected;
    if (c.server != Tls::None && c.choice != TlsMode::None) expected.push_back("");  // the trust question
    if (*c.message) expected.push_back(c.message);
    auto texts = f.ui.texts();
    if (!texts.empty() && c.server != Tls::None && c.choice != TlsMode::None) texts[0] = "";
    EXPECT_EQ(texts, expected);
    if (c.opens) everyRoad(f);
    f.session->FtpClose();
    EXPECT_EQ(f.server->wire().find(kPassword) != std::string::npos, c.clearPassword);
  }
}

// The key a pin names: the SHA-256 of the certificate's public key, as openssl computes it.
TEST(FtpTls, KeyOfCertificate) {
  EXPECT_EQ(ftp::base64(ftp::sha256("abc")), "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=");
  // The padding's edges: one block exactly, a length field that spills into a second block, many blocks.
  const std::pair<size_t, const char*> lengths[] = {{55, "n0OQ+NMMLdkuyfCVtl4rmumwqSWlJY4kHJ8ekQ9zQxg="},
                                                    {64, "/+BU/nrgy23GXDr5th1SCfQ5hR20PQulmXM33xVGaOs="},
                                                    {1000, "Qe3s5C1j6Nm/UVqbppMuHCDLyfWl0TRkWttdsblzfqM="}};
  for (const auto& [n, digest] : lengths) EXPECT_EQ(ftp::base64(ftp::sha256(std::string(n, 'a'))), digest);
  for (const std::string s : {"", "f", "fo", "foo", "\xff\x00\x01"})
    EXPECT_EQ(ftp::unbase64(ftp::base64(s)), s);
  EXPECT_FALSE(ftp::unbase64("ab!c"));
  TempDir dir;
  const std::string pem = FtpServer::makeCertificate(dir.path(), "key");
  const std::string expected = hostRun({"/bin/sh", "-c",
                                        "openssl x509 -in '" + pem +
                                            "' -pubkey -noout | openssl pkey -pubin -outform der | "
                                            "openssl dgst -sha256 -binary | openssl base64"});
  const auto key = ftp::serverKey(hostRun({"/bin/cat", pem}), "CN = key");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->pin + "\n", expected);
  const std::string fingerprint =
      hostRun({"/bin/sh", "-c", "openssl x509 -in '" + pem + "' -noout -fingerprint -sha256 | cut -d= -f2"});
  EXPECT_EQ(key->fingerprint + "\n", fingerprint);
  for (const std::string bad :
       {"", "-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----", "\x30\x82"})
    EXPECT_FALSE(ftp::serverKey(bad, ""));
}

}  // namespace
