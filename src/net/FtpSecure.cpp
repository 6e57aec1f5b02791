// The TLS side of a login: the operator's choice per connection, the system's verdict on the server's
// certificate, and the operator's own on a certificate the system does not vouch for.

#include <curl/curl.h>

#include <algorithm>
#include <cctype>

#include "core/Cp1251.h"
#include "net/FtpConnection.h"
#include "net/Ftp_fun.h"
#include "settings/TlsFile.h"

namespace {

// A refusal that says the server wants TLS: vsftpd "530 Non-anonymous sessions must use encryption.",
// ProFTPD "550 SSL/TLS required on the control channel", Pure-FTPd "... reconnect using TLS ...".
bool asksForTls(const std::vector<std::string>& replies) {
  return std::any_of(replies.begin(), replies.end(), [](std::string line) {
    if (line.size() < 4 || (line[0] != '4' && line[0] != '5')) return false;
    std::transform(line.begin(), line.end(), line.begin(), [](unsigned char c) { return std::tolower(c); });
    return line.find("tls") != std::string::npos || line.find("ssl") != std::string::npos ||
           line.find("encrypt") != std::string::npos;
  });
}

// What the TLS library names, shown in the program's own code page; what it cannot hold shows as '?'.
std::string shown(const std::string& utf8) {
  if (auto t = cp1251::fromUtf8(utf8)) return *t;
  std::string out;
  for (const char c : utf8) out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
  return out;
}

}  // namespace

bool FtpSession::loginSecurely(ftp::Connection& c, const std::string& host, unsigned port,
                               const std::string& user, bool askFeatures, uint32_t& error) {
  const TlsEntry tls = tls_ ? tls_->entry({host, port, user}) : TlsEntry{};
  c.tls = tls.mode;
  c.pin = tls.pin;
  // A build without TLS never lets a connection that asks for it go out in the clear.
  if (c.tls != ftp::TlsMode::None && !ftp::tlsAvailable()) {
    error = ftp::kErrorTlsFailed;
    return false;
  }
  if (c.login(timeouts_, askFeatures, error)) return true;
  switch (c.result) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      if (!trust(c, host, port, user, error)) return false;
      return c.login(timeouts_, askFeatures, error);
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CONNECT_ERROR:
      if (c.tls != ftp::TlsMode::None) error = ftp::kErrorTlsFailed;
      return false;
    default:
      if (c.tls == ftp::TlsMode::None && asksForTls(c.replies)) error = ftp::kErrorTlsDemanded;
      return false;
  }
}

bool FtpSession::trust(ftp::Connection& c, const std::string& host, unsigned port, const std::string& user,
                       uint32_t& error) {
  ftp::Connection probe;
  probe.curl = curl_easy_init();
  error = ftp::kErrorTlsFailed;
  if (!probe.curl) return false;
  probe.root = c.root;
  probe.tls = ftp::TlsMode::Required;
  probe.waiting = &waitHook_;
  const auto key = probe.probeKey(timeouts_);
  if (!key) return false;
  error = ftp::kErrorTlsUntrusted;
  TlsEntry entry = tls_->entry({host, port, user});
  entry.mode = c.tls;
  std::string question;
  if (entry.pin.empty()) {
    question =
        cp1251::text("Сертификат сервера не подтвержден хранилищем сертификатов системы.\n\nСубъект: ") +
        shown(key->subject) + cp1251::text("\nОтпечаток SHA-256:\n") + key->fingerprint +
        cp1251::text("\n\nДоверять этому серверу?");
  } else {
    question = cp1251::text(
                   "Ключ сервера изменился, соединение отклонено.\n\nОтпечаток доверенного сертификата:\n") +
               entry.fingerprint + cp1251::text("\nОтпечаток нового сертификата:\n") + key->fingerprint +
               cp1251::text("\nСубъект: ") + shown(key->subject) +
               cp1251::text("\n\nДоверять новому ключу сервера?");
  }
  // A changed key is taken only on a deliberate "yes": Enter keeps the connection refused.
  const auto preset = entry.pin.empty() ? Ui::Answer::Yes : Ui::Answer::No;
  if (!ui_.ask(question, cp1251::text("Сертификат FTP-сервера"), preset)) return false;
  entry.pin = key->pin;
  entry.fingerprint = key->fingerprint;
  tls_->set({host, port, user}, entry);
  (void)tls_->save();  // the key stays trusted for this session even when the file cannot be written
  c.pin = key->pin;
  return true;
}
