#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orlixtest
{
// One request as the server received it.
struct HttpRequest
{
    std::string method;
    std::string path;
    std::string headers; // raw header lines
    std::string body;

    // The value of a header, matched without regard to case; empty when absent.
    std::string header(const std::string& name) const;
};

// What the server does with a request.
struct HttpReply
{
    enum class Kind
    {
        respond, // send status and body, then close
        silent,  // read the request, keep the connection open, never answer
        hangUp   // read the request and close without answering
    };

    Kind kind = Kind::respond;
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::string extraHeaders; // complete header lines, each ending in "\r\n"

    static HttpReply json(int status, std::string body);
    static HttpReply text(int status, std::string body);
    static HttpReply silent();
    static HttpReply hangUp();
};

// A plain HTTP/1.1 server on 127.0.0.1 and an ephemeral port, on its own
// thread, answering every request with whatever the handler scripts. Silent
// connections are held until the server is destroyed.
class LocalHttpServer
{
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;

    explicit LocalHttpServer(Handler handler);
    ~LocalHttpServer();

    int port() const noexcept { return listeningPort; }
    std::string url(const std::string& path) const;

    std::vector<HttpRequest> requests() const;
    // Blocks until this many requests have arrived; false on timeout.
    bool waitForRequests(size_t count, int timeoutMs) const;

    // A port on 127.0.0.1 where nothing listens (bound once, then released).
    static int closedPort();

    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

private:
    void serve();
    void handleConnection(int connection);

    Handler handler;
    int listener = -1;
    int wakeSocket = -1;
    int listeningPort = 0;
    std::vector<int> heldConnections;

    mutable std::mutex lock;
    mutable std::condition_variable requestArrived;
    std::vector<HttpRequest> received;

    std::thread thread;
};
// A port on 127.0.0.1 that never completes a connection: its listener's queue
// is full and never accepted from, so the system drops further handshakes and
// a client's connect waits, as for a host that swallows packets.
class UnansweredPort
{
public:
    UnansweredPort();
    ~UnansweredPort();

    int port() const noexcept { return listeningPort; }
    std::string url(const std::string& path) const;

    UnansweredPort(const UnansweredPort&) = delete;
    UnansweredPort& operator=(const UnansweredPort&) = delete;

private:
    int listener = -1;
    int listeningPort = 0;
    std::vector<int> queued;
};
} // namespace orlixtest
