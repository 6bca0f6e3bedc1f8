// Keys and certificates for the TLS test servers, made at run time with OpenSSL:
// one certificate authority per process and the server certificates it signs.
#pragma once

#include <openssl/ssl.h>

#include <string>

namespace velinor::test {

// A new server context holding either the certificate the test authority issued
// for 127.0.0.1 and "localhost", or a self-signed one with the same names.
SSL_CTX* NewServerTlsContext(bool selfSigned);

// The authority's certificate as a PEM file in a temporary directory that is
// removed when the process ends.
const std::string& AuthorityPemFile();

}  // namespace velinor::test
