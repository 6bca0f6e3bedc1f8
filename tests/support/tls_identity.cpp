#include "tests/support/tls_identity.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

namespace velinor::test {
namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
  void operator()(X509* cert) const { X509_free(cert); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertPtr = std::unique_ptr<X509, CertFree>;

[[noreturn]] void Fail(const char* what) {
  char reason[256] = "";
  ERR_error_string_n(ERR_get_error(), reason, sizeof reason);
  throw std::runtime_error(std::string("test TLS set-up failed: ") + what + ": " + reason);
}

KeyPtr NewKey() {
  KeyPtr key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  if (!key) Fail("key generation");
  return key;
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (extension == nullptr) Fail(value);
  const int added = X509_add_ext(cert, extension, -1);
  X509_EXTENSION_free(extension);
  if (added != 1) Fail(value);
}

// A certificate for `key` named `commonName`; self-signed when `issuer` is null.
CertPtr NewCertificate(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey,
                       bool authority) {
  CertPtr cert(X509_new());
  if (!cert) Fail("certificate");
  X509* c = cert.get();
  std::uint64_t serial = 0;
  if (RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial) != 1) Fail("serial");
  serial >>= 1;  // positive and non-zero
  serial |= 1;
  const long day = 24 * 60 * 60;
  X509_NAME* name = X509_get_subject_name(c);
  if (X509_set_version(c, X509_VERSION_3) != 1 ||
      ASN1_INTEGER_set_uint64(X509_get_serialNumber(c), serial) != 1 ||
      X509_gmtime_adj(X509_getm_notBefore(c), -day) == nullptr ||
      X509_gmtime_adj(X509_getm_notAfter(c), 30 * day) == nullptr || X509_set_pubkey(c, key) != 1 ||
      X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>("Velinor tests"), -1, -1,
                                 0) != 1 ||
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                                 0) != 1 ||
      X509_set_issuer_name(c, issuer != nullptr ? X509_get_subject_name(issuer) : name) != 1) {
    Fail("certificate fields");
  }
  X509* signer = issuer != nullptr ? issuer : c;
  if (authority) {
    AddExtension(c, signer, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(c, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    AddExtension(c, signer, NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(c, signer, NID_key_usage, "critical,digitalSignature");
    AddExtension(c, signer, NID_ext_key_usage, "serverAuth");
    AddExtension(c, signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
  }
  AddExtension(c, signer, NID_subject_key_identifier, "hash");
  AddExtension(c, signer, NID_authority_key_identifier, "keyid:always");
  if (X509_sign(c, issuerKey != nullptr ? issuerKey : key, EVP_sha256()) == 0) Fail("signing");
  return cert;
}

struct Identity {
  KeyPtr key;
  CertPtr cert;
};

// Made once per process; the PEM file goes when the process that wrote it ends.
class Authority {
 public:
  Authority() : key_(NewKey()) {
    cert_ = NewCertificate(key_.get(), "Velinor test authority", nullptr, nullptr, true);
    server_.key = NewKey();
    server_.cert = NewCertificate(server_.key.get(), "127.0.0.1", cert_.get(), key_.get(), false);
    untrusted_.key = NewKey();
    untrusted_.cert = NewCertificate(untrusted_.key.get(), "127.0.0.1", nullptr, nullptr, false);
    WritePem();
  }

  ~Authority() {
    if (getpid() != owner_) return;
    std::remove(pemFile_.c_str());
    rmdir(directory_.c_str());
  }

  Authority(const Authority&) = delete;
  Authority& operator=(const Authority&) = delete;

  const Identity& Server() const { return server_; }
  const Identity& Untrusted() const { return untrusted_; }
  const std::string& PemFile() const { return pemFile_; }

 private:
  void WritePem() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/velinor-test-ca-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed: " + pattern);
    directory_ = buffer.data();
    pemFile_ = directory_ + "/ca.pem";
    owner_ = getpid();
    FILE* file = std::fopen(pemFile_.c_str(), "w");
    if (file == nullptr) throw std::runtime_error("cannot write " + pemFile_);
    const bool written = PEM_write_X509(file, cert_.get()) == 1;
    if (std::fclose(file) != 0 || !written) throw std::runtime_error("cannot write " + pemFile_);
  }

  KeyPtr key_;
  CertPtr cert_;
  Identity server_;
  Identity untrusted_;
  std::string directory_;
  std::string pemFile_;
  pid_t owner_ = 0;
};

const Authority& TheAuthority() {
  static const Authority authority;
  return authority;
}

}  // namespace

SSL_CTX* NewServerTlsContext(bool selfSigned) {
  const Identity& identity = selfSigned ? TheAuthority().Untrusted() : TheAuthority().Server();
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx == nullptr) Fail("SSL_CTX_new");
  if (SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1 ||
      SSL_CTX_use_certificate(ctx, identity.cert.get()) != 1 ||
      SSL_CTX_use_PrivateKey(ctx, identity.key.get()) != 1 || SSL_CTX_check_private_key(ctx) != 1) {
    SSL_CTX_free(ctx);
    Fail("server context");
  }
  return ctx;
}

const std::string& AuthorityPemFile() { return TheAuthority().PemFile(); }

}  // namespace velinor::test
