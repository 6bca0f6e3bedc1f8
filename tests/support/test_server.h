// A scriptable HTTP/1.x server on 127.0.0.1 for tests: every layer's tests
// start one, script its answers byte for byte, and read back exactly what the
// client sent. It serves plain HTTP or TLS with a certificate authority made
// at run time, and can act as a forward proxy that only records and answers.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velinor::test {

// One request as it arrived.
struct ReceivedRequest {
  std::string method;   // "GET"
  std::string target;   // "/a/b?x=1" or "http://h/p" via a proxy
  std::string version;  // "HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> headers;  // in order, names as sent
  // The request line and header lines exactly as received, each with its own line
  // end (so the last header line's CRLF is included); the empty line is not.
  std::string head;
  std::string body;  // by Content-Length or chunked, decoded

  // First header of that name (case-insensitive), "" when absent.
  std::string Header(std::string_view name) const;
  bool HasHeader(std::string_view name) const;
  // The target without the query: what routes match.
  std::string Path() const;
};

// The client side of one accepted connection, for a handler to answer on.
class Connection {
 public:
  virtual ~Connection() = default;
  // Writes raw bytes (status line, headers, body: nothing is added).
  virtual bool Send(std::string_view bytes) = 0;
  // Ends the connection after what was sent (a close-delimited body ends here).
  virtual void Close() = 0;
  // Ends it with a TCP reset, as a crashed peer would.
  virtual void Reset() = 0;
};

using Handler = std::function<void(const ReceivedRequest&, Connection&)>;

// The usual reason phrase of a status ("OK", "Not Found", "Found"), "Unknown" otherwise.
std::string ReasonPhrase(int status);

// What Respond sends, for handlers that choose their answer per request: status line,
// the headers as given, a Content-Length unless one (or a Transfer-Encoding) is given
// or the status has no body, then the body (left out for HEAD). A "Connection: close"
// among the headers closes the connection after the answer.
void SendResponse(const ReceivedRequest& request, Connection& connection, int status,
                  std::string_view body,
                  const std::vector<std::pair<std::string, std::string>>& headers = {},
                  std::string_view reason = "");

struct TestServerOptions {
  bool tls = false;  // serve HTTPS with a certificate for 127.0.0.1 and "localhost"
  // Keep-alive is honoured unless the handler closes; false closes after each answer.
  bool keepAlive = true;
  // With tls: a self-signed certificate the test authority did not issue.
  bool selfSigned = false;
};

class TestServer {
 public:
  explicit TestServer(TestServerOptions options = {});
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  std::uint16_t Port() const;
  // "http://127.0.0.1:<port>" or "https://127.0.0.1:<port>".
  std::string Origin() const;
  // Origin() + path.
  std::string Url(std::string_view path) const;
  // "127.0.0.1:<port>".
  std::string HostPort() const;

  // Routes match the request path (without query) exactly; the catch-all
  // handler answers everything else (default: 404 with a short text body).
  // CONNECT requests are routed by their target ("host:port").
  void Route(std::string path, Handler handler);
  void CatchAll(Handler handler);

  // Conveniences over Route.
  // A complete response: status line "HTTP/1.1 <status> <reason>", the
  // headers as given (a Content-Length is added unless one is given), the body.
  void Respond(std::string path, int status, std::string body,
               std::vector<std::pair<std::string, std::string>> headers = {},
               std::string reason = "");
  // These bytes, verbatim, then the connection is closed.
  void Canned(std::string path, std::string rawResponse);
  // A redirect with the given status and Location.
  void Redirect(std::string path, std::string location, int status = 302);

  // Everything received so far, in arrival order, and a way to wait for it.
  std::vector<ReceivedRequest> Requests() const;
  std::size_t RequestCount() const;
  // True once at least `count` requests are recorded, false when the timeout passes first.
  bool WaitForRequests(std::size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  ReceivedRequest LastRequest() const;  // empty when none
  void ClearRequests();
  // Connections accepted so far (a refused-looking client makes none).
  std::size_t ConnectionCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The certificate authority that signs every TLS test server's certificate,
// made once per process; a PEM file a client can be told to trust.
std::string TestCaCertificateFile();

// A self-signed certificate not issued by the test authority: a TLS server
// with it must be refused by a verifying client.
std::unique_ptr<TestServer> MakeUntrustedTlsServer();

// A port on 127.0.0.1 with nothing listening (connections are refused).
std::uint16_t RefusedPort();

// A helper for handlers that answer slowly; on a server's own thread it returns
// early when that server is being destroyed.
void SleepFor(std::chrono::milliseconds duration);

// Basic credentials as a header value would carry them: "Basic <base64>".
std::string BasicAuthorization(std::string_view user, std::string_view password);

}  // namespace velinor::test
