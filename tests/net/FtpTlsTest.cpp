// Explicit FTPS against vsftpd, ProFTPD and Pure-FTPd with EC and RSA certificates the tests make, each
// server with its own TLS settings and with TLS 1.3 alone: the operator's trust in a self-made
// certificate, the pinned key, a key that changed, the fallback to plain FTP, why a handshake failed,
// and what crosses the wire.
#include <gtest/gtest.h>

#include <curl/curl.h>

#include <fstream>
#include <functional>
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
  bool start(FtpServerKind kind, Tls serverTls, const std::function<void(FtpServer::Options&)>& tune = {}) {
    FtpServer::Options o;
    o.kind = kind;
    o.tls = serverTls;
    if (tune) tune(o);
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
  // The logins over TLS so far (each control connection, and each refused handshake, says AUTH TLS).
  size_t logins() const {
    const std::string wire = server->wire();
    size_t n = 0;
    for (size_t at = wire.find("AUTH TLS\r\n"); at != std::string::npos;
         at = wire.find("AUTH TLS\r\n", at + 1))
      ++n;
    return n;
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
  EXPECT_EQ(f.ui.texts(), std::vector<std::string>{"Не удалось установить защищенное соединение (TLS) с "
                                                   "сервером\nЭта сборка программы не поддерживает TLS."});
  EXPECT_EQ(f.server->wire(), "");
  return true;
}

// Browse, download and upload into a folder with 0xFF, MKD: the roads of the program, over TLS. Returns
// the logins the upload and the listing after it took.
size_t everyRoad(Fixture& f) {
  FtpSession& s = *f.session;
  FtpSession::Action action(s);
  if (!s.FtpSetCurrentDirectory(s.ConnectionHandle, f.server->path(kObject))) {
    ADD_FAILURE() << s.GetLastError();
    return 0;
  }
  s.FetchAhead({{FtpSession::Ahead::Kind::Listing, f.server->path(kObject)}});
  EXPECT_EQ(downloadWhole(s, "\xc7\xe0\xf0\xff-gaspar.txt"), "SP: 0.68\r\n");
  s.AwaitExtras();  // their logins are not counted below
  const size_t before = f.logins();
  EXPECT_TRUE(uploadWhole(s, "new.txt", "SP: 0.70\r\n"));
  // The file as listed after the upload: its time is what the gas window shows.
  ftp::FindData entry;
  bool listed = false;
  EXPECT_EQ(
      s.ForEachEntry("new.txt", entry, [&](const ftp::FindData& e) { return !(listed = e.lastWriteValid); }),
      FtpSession::Listing::Listed)
      << s.GetLastError();
  EXPECT_TRUE(listed);
  const size_t logins = f.logins() - before;
  EXPECT_TRUE(s.FtpCreateDirectory(s.ConnectionHandle, "v0017n\xff"));
  std::ifstream in(f.server->local(kObject + "/new.txt"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "SP: 0.70\r\n");
  EXPECT_TRUE(std::filesystem::is_directory(f.server->local(kObject + "/v0017n\xff")));
  return logins;
}

// A server with its own TLS settings, or with one TLS 1.2 cipher that its key cannot serve, as Debian's
// vsftpd has with an EC key: it then speaks TLS 1.3 alone.
struct Road {
  FtpServerKind kind;
  FtpServer::Options::Key key;
  const char* tls12Cipher;  // "": the server's own list
  bool tls13;               // the server speaks TLS 1.3 alone
  bool ticketOnUpload;      // it sends a session ticket on an upload's data connection under TLS 1.3
};
using Key = FtpServer::Options::Key;
constexpr const char* kRsaOnly = "ECDHE-RSA-AES256-GCM-SHA384";  // vsftpd's own list
constexpr const char* kEcdsaOnly = "ECDHE-ECDSA-AES256-GCM-SHA384";

void PrintTo(const Road& r, std::ostream* os) {
  *os << ftpServerKindName(r.kind) << (r.key == Key::Ec ? " EC" : " RSA")
      << (*r.tls12Cipher ? " TLS 1.3" : "");
}

class FtpTlsRoads : public ::testing::TestWithParam<Road> {};

// First use: the question names the certificate; a yes pins its key, saved at once; every road then
// runs protected, and no password crosses the wire. The next session connects without a question.
// TLS 1.2 is offered first; a server that speaks TLS 1.3 alone costs one refused handshake per session.
// Under TLS 1.3 the listing after an upload works: the upload's ticket is awaited, and a server that
// sends none gets a new login instead.
TEST_P(FtpTlsRoads, TrustedOnFirstUseThenPinned) {
  const Road road = GetParam();
  Fixture f;
  if (!f.start(road.kind, Tls::Required, [&](FtpServer::Options& o) {
        o.key = road.key;
        o.tls12Cipher = road.tls12Cipher;
      }))
    GTEST_SKIP() << f.server->skipReason();
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
  EXPECT_EQ(everyRoad(f), road.tls13 && !road.ticketOnUpload ? 1u : 0u);
  f.session->AwaitExtras();
  EXPECT_EQ(f.session->ExtrasReady(), ftp::kMaxConnections - 1);
  f.session->FtpClose();

  TlsFile reread;
  reread.load((f.dir.path() / "ftp_tls.ini").string());
  EXPECT_EQ(reread.entry(f.key()), pinned);
  f.ui.messages.clear();
  const size_t before = f.logins();
  ASSERT_TRUE(f.open());
  EXPECT_TRUE(f.ui.messages.empty());
  f.session->AwaitExtras();
  f.session->FtpClose();
  EXPECT_EQ(f.logins() - before, ftp::kMaxConnections + (road.tls13 ? 1u : 0u));
  const std::string wire = f.server->wire();
  EXPECT_EQ(wire.rfind("AUTH TLS\r\n", 0), 0u) << wire.substr(0, 20);
  EXPECT_EQ(wire.find(kPassword), std::string::npos);
  EXPECT_EQ(wire.find("USER"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpTlsRoads,
                         ::testing::Values(Road{FtpServerKind::Vsftpd, Key::Ec, "", true, true},
                                           Road{FtpServerKind::Vsftpd, Key::Rsa, "", false, true},
                                           Road{FtpServerKind::Vsftpd, Key::Rsa, kEcdsaOnly, true, true},
                                           Road{FtpServerKind::ProFtpd, Key::Ec, "", false, false},
                                           Road{FtpServerKind::ProFtpd, Key::Rsa, "", false, false},
                                           Road{FtpServerKind::ProFtpd, Key::Ec, kRsaOnly, true, false},
                                           Road{FtpServerKind::ProFtpd, Key::Rsa, kEcdsaOnly, true, false},
                                           Road{FtpServerKind::PureFtpd, Key::Ec, "", false, false},
                                           Road{FtpServerKind::PureFtpd, Key::Rsa, "", false, false},
                                           Road{FtpServerKind::PureFtpd, Key::Ec, kRsaOnly, true, false},
                                           Road{FtpServerKind::PureFtpd, Key::Rsa, kEcdsaOnly, true, false}),
                         [](const auto& info) {
                           const Road& r = info.param;
                           return std::string(ftpServerKindName(r.kind)) +
                                  (r.key == Key::Ec ? "_ec" : "_rsa") + (*r.tls12Cipher ? "_tls13" : "");
                         });

class FtpTlsServers : public ::testing::TestWithParam<FtpServerKind> {};

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
  EXPECT_EQ(f.ui.messages[0].preset, Ui::Answer::Yes);
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
    EXPECT_EQ(f.ui.messages[0].preset, Ui::Answer::No);  // Enter refuses a changed key
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

// The choice against what the server does: the outcome, the message (why a TLS connection failed, in
// its second line), and whether the password crossed the wire in the clear.
TEST(FtpTls, ChoiceAgainstServer) {
  const std::string failed = "Не удалось установить защищенное соединение (TLS) с сервером\n";
  const struct {
    const char* name;
    FtpServerKind kind;
    Tls server;
    TlsMode choice;
    bool pinned;          // a key is pinned for the server
    const char* faults;   // the relay's, "" for none
    bool noCommonGround;  // ProFTPD: TLS 1.2 alone, with a cipher its key cannot serve
    bool opens;
    std::string message;  // "" for none
    bool clearPassword;
  } cases[] = {
      {"offered, taken", FtpServerKind::Vsftpd, Tls::Offered, TlsMode::WhenOffered, false, "", false, true,
       "", false},
      {"not offered: plain FTP", FtpServerKind::Vsftpd, Tls::None, TlsMode::WhenOffered, false, "", false,
       true, "", true},
      {"not offered, but the key pinned: nothing in the clear", FtpServerKind::ProFtpd, Tls::None,
       TlsMode::WhenOffered, true, "", false, false,
       failed + "Сервер, ключ которого сохранен как доверенный, отказался от защищенного соединения. Имя и "
                "пароль не отправлены.",
       false},
      {"required, not offered", FtpServerKind::ProFtpd, Tls::None, TlsMode::Required, false, "", false, false,
       failed + "Сервер не предлагает защищенное соединение.", false},
      {"no common version or cipher", FtpServerKind::ProFtpd, Tls::Required, TlsMode::Required, false, "",
       true, false, failed + "У программы и сервера нет общей версии протокола TLS или общего шифра.", false},
      {"cut during the handshake", FtpServerKind::Vsftpd, Tls::Required, TlsMode::Required, false,
       R"([{"cmd":"TLS","action":"drop"}])", false, false,
       failed + "Соединение прервано во время установки защищенного соединения.", false},
      {"vsftpd requires it, none chosen", FtpServerKind::Vsftpd, Tls::Required, TlsMode::None, false, "",
       false, false, "Сервер принимает только защищенные соединения: выберите TLS в параметрах соединения",
       false},
      {"ProFTPD requires it, none chosen", FtpServerKind::ProFtpd, Tls::Required, TlsMode::None, false, "",
       false, false, "Сервер принимает только защищенные соединения: выберите TLS в параметрах соединения",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    const auto tune = [&c](FtpServer::Options& o) {
      if (!c.noCommonGround) return;
      o.tls12Cipher = kRsaOnly;
      o.tls13 = false;
    };
    if (!f.start(c.kind, c.server, tune)) continue;  // the server tests above report the skip
    if (withoutTls(f)) break;
    f.choose(c.choice);
    if (c.pinned)
      f.tls.set(f.key(), {c.choice, ftp::base64(std::string(32, 'k')), "AA:" + std::string(92, 'B')});
    f.server->setFaults(*c.faults ? c.faults : "[]");
    f.ui.answers = {true};
    EXPECT_EQ(f.open(), c.opens);
    const bool asked = c.opens && c.server != Tls::None && c.choice != TlsMode::None;
    std::vector<std::string> expected;
    if (asked) expected.push_back("");  // the trust question
    if (!c.message.empty()) expected.push_back(c.message);
    auto texts = f.ui.texts();
    if (!texts.empty() && asked) texts[0] = "";
    EXPECT_EQ(texts, expected);
    if (c.opens) (void)everyRoad(f);
    f.session->FtpClose();
    EXPECT_EQ(f.server->wire().find(kPassword) != std::string::npos, c.clearPassword);
    if (c.pinned) {
      EXPECT_EQ(f.server->wire().find("USER"), std::string::npos);
    }
  }
}

// The reason of a failed handshake, from libcurl's result and OpenSSL's words.
TEST(FtpTls, FailureReasons) {
  using ftp::TlsFailure;
  const struct {
    CURLcode code;
    const char* text;
    TlsFailure reason;
  } cases[] = {
      {CURLE_LOGIN_DENIED, "Access denied: 530", TlsFailure::None},
      {CURLE_USE_SSL_FAILED, "", TlsFailure::NotOffered},
      {CURLE_SSL_CONNECT_ERROR, "OpenSSL/3.0.19: error:0A000410:SSL routines::sslv3 alert handshake failure",
       TlsFailure::NoCommonGround},
      {CURLE_SSL_CONNECT_ERROR, "error:0A00042E:SSL routines::tlsv1 alert protocol version",
       TlsFailure::NoCommonGround},
      {CURLE_SSL_CONNECT_ERROR, "error:0A00045C:SSL routines::tlsv13 alert certificate required",
       TlsFailure::Certificate},
      {CURLE_SSL_CONNECT_ERROR, "OpenSSL SSL_connect: SSL_ERROR_SYSCALL in connection to 127.0.0.1:21",
       TlsFailure::Cut},
      {CURLE_SSL_CONNECT_ERROR,
       "OpenSSL SSL_connect: Unknown error -2146885628 (0x80092004) in connection to 127.0.0.1:21 ",
       TlsFailure::Cut},
      {CURLE_SSL_CONNECT_ERROR, "something new", TlsFailure::Other},
  };
  for (const auto& c : cases) EXPECT_EQ(ftp::tlsFailure(c.code, c.text), c.reason) << c.text;
}

// The key a pin names: the SHA-256 of the certificate's public key, as openssl computes it; the
// fingerprint of the whole certificate; base64 both ways.
TEST(FtpTls, KeyOfCertificate) {
  EXPECT_EQ(ftp::base64(ftp::sha256("abc")), "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=");
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
