#include "net/FtpTls.h"

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

namespace ftp {

namespace {

// Owners of OpenSSL objects, freed on every path.
struct FreeX509 {
  void operator()(X509* x) const { X509_free(x); }
};
struct FreeBio {
  void operator()(BIO* b) const { BIO_free(b); }
};
struct FreeDecoder {
  void operator()(EVP_ENCODE_CTX* c) const { EVP_ENCODE_CTX_free(c); }
};
using Certificate = std::unique_ptr<X509, FreeX509>;

const unsigned char* bytesOf(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

// A certificate in PEM (the first one) or DER; null when it cannot be read.
Certificate readCertificate(std::string_view text) {
  if (text.find("-----BEGIN CERTIFICATE-----") != std::string_view::npos) {
    const std::unique_ptr<BIO, FreeBio> in(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
    return Certificate(in ? PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr) : nullptr);
  }
  const unsigned char* at = bytesOf(text);
  return Certificate(d2i_X509(nullptr, &at, static_cast<long>(text.size())));
}

}  // namespace

TlsFailure tlsFailure(int curlCode, std::string_view libraryText) {
  std::string text(libraryText);
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  const auto says = [&text](std::initializer_list<const char*> words) {
    return std::any_of(words.begin(), words.end(),
                       [&text](const char* w) { return text.find(w) != text.npos; });
  };
  switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_OK:
      return TlsFailure::None;
    case CURLE_USE_SSL_FAILED:
      return TlsFailure::NotOffered;
    case CURLE_SSL_CIPHER:
      return TlsFailure::NoCommonGround;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
      return TlsFailure::Certificate;
    case CURLE_SSL_CONNECT_ERROR:
      break;
    default:
      return TlsFailure::None;  // not a failure of TLS
  }
  // OpenSSL's words for the alerts and errors of a handshake.
  if (says({"certificate", "unknown ca", "access denied"})) return TlsFailure::Certificate;
  if (says({"handshake failure", "protocol version", "no shared cipher", "no cipher", "unsupported protocol",
            "no protocols available", "insufficient security", "wrong version number", "no suitable"}))
    return TlsFailure::NoCommonGround;
  // On Windows libcurl names the thread's last error when the socket ends the handshake; that is often
  // left over from reading the system's certificate store (0x80092004, "Unknown error").
  if (says({"syscall", "unexpected eof", "reset by peer", "connection reset", "broken pipe",
            "connection closed", "connection was reset", "ssl_connect: unknown error"}))
    return TlsFailure::Cut;
  return TlsFailure::Other;
}

bool tlsAvailable() {
  return (curl_version_info(CURLVERSION_NOW)->features & CURL_VERSION_SSL) != 0;
}

std::string sha256(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr)) return {};
  return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytesOf(bytes),
                                static_cast<int>(bytes.size()));
  out.resize(static_cast<size_t>(std::max(n, 0)));
  return out;
}

std::optional<std::string> unbase64(std::string_view text) {
  // OpenSSL's decoder skips line breaks, and refuses any byte that is not base64; blanks it is spared.
  std::string clean;
  std::copy_if(text.begin(), text.end(), std::back_inserter(clean),
               [](char c) { return c != ' ' && c != '\t'; });
  const std::unique_ptr<EVP_ENCODE_CTX, FreeDecoder> ctx(EVP_ENCODE_CTX_new());
  if (!ctx) return std::nullopt;
  std::string out(clean.size() / 4 * 3 + 3, '\0');
  auto* to = reinterpret_cast<unsigned char*>(out.data());
  int n = 0, last = 0;
  EVP_DecodeInit(ctx.get());
  if (EVP_DecodeUpdate(ctx.get(), to, &n, bytesOf(clean), static_cast<int>(clean.size())) < 0 ||
      EVP_DecodeFinal(ctx.get(), to + n, &last) < 0)
    return std::nullopt;
  out.resize(static_cast<size_t>(n + last));
  return out;
}

std::optional<ServerKey> serverKey(std::string_view certificate, std::string subject) {
  const Certificate cert = readCertificate(certificate);
  if (!cert) return std::nullopt;
  // The pin names the DER SubjectPublicKeyInfo, as libcurl hashes it.
  unsigned char* spki = nullptr;
  const int spkiLength = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert.get()), &spki);
  if (spkiLength <= 0) return std::nullopt;
  ServerKey key;
  key.pin =
      base64(sha256(std::string_view(reinterpret_cast<const char*>(spki), static_cast<size_t>(spkiLength))));
  OPENSSL_free(spki);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!X509_digest(cert.get(), EVP_sha256(), digest, &length)) return std::nullopt;
  for (unsigned int i = 0; i < length; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", digest[i]);
    if (!key.fingerprint.empty()) key.fingerprint += ':';
    key.fingerprint += hex;
  }
  key.subject = std::move(subject);
  return key;
}

}  // namespace ftp
