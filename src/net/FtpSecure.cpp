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
  tlsFailure_ = ftp::TlsFailure::None;
  tlsDetail_.clear();
  const TlsEntry tls = tls_ ? tls_->entry({host, port, user}) : TlsEntry{};
  // A server whose key the operator pinned spoke TLS before: a refused AUTH TLS now is a changed server
  // or someone on the way, never a reason to send the login in the clear.
  const bool pinned = !tls.pin.empty();
  c.tls = pinned && tls.mode == ftp::TlsMode::WhenOffered ? ftp::TlsMode::Required : tls.mode;
  c.pin = tls.pin;
  c.tlsVersion = facts_.tlsVersion;
  // A build without TLS never lets a connection that asks for it go out in the clear.
  if (c.tls != ftp::TlsMode::None && !ftp::tlsAvailable()) {
    tlsFailure_ = ftp::TlsFailure::Unavailable;
    error = ftp::kErrorTlsFailed;
    return false;
  }
  bool in = c.login(timeouts_, askFeatures, error);
  if (c.tls == ftp::TlsMode::None) {
    if (!in && asksForTls(c.replies)) error = ftp::kErrorTlsDemanded;
    return in;
  }
  // A server that speaks TLS 1.3 alone (vsftpd with an EC key and its default ciphers) costs one refused
  // handshake, once per server: its TLS 1.3 is remembered for the reconnects and the extra connections.
  if (!in && c.tlsVersion == ftp::TlsVersion::Tls12 &&
      ftp::tlsFailure(c.result, c.errorText) == ftp::TlsFailure::NoCommonGround) {
    c.tlsVersion = ftp::TlsVersion::Tls13;
    in = c.login(timeouts_, askFeatures, error);
  }
  // A certificate the system does not vouch for (also when the system has no certificate store at all),
  // or a key that is not the pinned one: the operator decides.
  if (!in && (c.result == CURLE_PEER_FAILED_VERIFICATION || c.result == CURLE_SSL_PINNEDPUBKEYNOTMATCH ||
              c.result == CURLE_SSL_CACERT_BADFILE)) {
    if (!trust(c, host, port, user, error)) return false;
    in = c.login(timeouts_, askFeatures, error);
  }
  if (in) {
    facts_.tlsVersion = c.tlsVersion;
    return true;
  }
  const ftp::TlsFailure why = ftp::tlsFailure(c.result, c.errorText);
  if (why == ftp::TlsFailure::None) return false;  // not TLS's failure: error says what it was
  tlsFailure_ = pinned && why == ftp::TlsFailure::NotOffered ? ftp::TlsFailure::PinnedRefused : why;
  tlsDetail_ = c.errorText;
  error = ftp::kErrorTlsFailed;
  return false;
}

std::string FtpSession::tlsFailedMessage() const {
  std::string why;
  switch (tlsFailure_) {
    case ftp::TlsFailure::NotOffered:
      why = "Сервер не предлагает защищенное соединение.";
      break;
    case ftp::TlsFailure::PinnedRefused:
      why =
          "Сервер, ключ которого сохранен как доверенный, отказался от защищенного соединения. Имя и "
          "пароль не отправлены.";
      break;
    case ftp::TlsFailure::NoCommonGround:
      why = "У программы и сервера нет общей версии протокола TLS или общего шифра.";
      break;
    case ftp::TlsFailure::Certificate:
      why =
          "Сертификат не принят: сертификат сервера не прошел проверку, или сервер не принял соединение "
          "без сертификата клиента.";
      break;
    case ftp::TlsFailure::Cut:
      why = "Соединение прервано во время установки защищенного соединения.";
      break;
    case ftp::TlsFailure::Unavailable:
      why = "Эта сборка программы не поддерживает TLS.";
      break;
    case ftp::TlsFailure::Other:
    case ftp::TlsFailure::None:
      break;
  }
  std::string text = cp1251::text("Не удалось установить защищенное соединение (TLS) с сервером");
  if (!why.empty()) return text + "\n" + cp1251::text(why);
  if (!tlsDetail_.empty()) text += cp1251::text("\nОшибка TLS: ") + shown(tlsDetail_);
  return text;
}

bool FtpSession::trust(ftp::Connection& c, const std::string& host, unsigned port, const std::string& user,
                       uint32_t& error) {
  ftp::Connection probe;
  probe.curl = curl_easy_init();
  error = ftp::kErrorTlsFailed;
  if (!probe.curl) return false;
  probe.root = c.root;
  probe.tls = ftp::TlsMode::Required;
  probe.tlsVersion = c.tlsVersion;
  probe.waiting = &waitHook_;
  auto key = probe.probeKey(timeouts_);
  // Without a certificate store the login failed before its handshake: the version is learnt here.
  if (!key && probe.tlsVersion == ftp::TlsVersion::Tls12 &&
      ftp::tlsFailure(probe.result, probe.errorText) == ftp::TlsFailure::NoCommonGround) {
    probe.tlsVersion = c.tlsVersion = ftp::TlsVersion::Tls13;
    key = probe.probeKey(timeouts_);
  }
  if (!key) {
    // The probe ends at the pin no key matches; anything else is why the certificate was not seen.
    const ftp::TlsFailure why = ftp::tlsFailure(probe.result, probe.errorText);
    tlsFailure_ = why == ftp::TlsFailure::None ? ftp::TlsFailure::Other : why;
    tlsDetail_ = probe.errorText;
    return false;
  }
  error = ftp::kErrorTlsUntrusted;
  TlsEntry entry = tls_->entry({host, port, user});
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
