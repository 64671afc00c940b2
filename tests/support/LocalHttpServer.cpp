#include "support/LocalHttpServer.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace orlixtest
{
namespace
{
constexpr size_t maxHeaderBytes = 64 * 1024;

// The few calls where Winsock and POSIX sockets differ. Winsock's handles fit an int.
#ifdef _WIN32
using socklen_t = int;
constexpr int sendFlags = 0;
constexpr int shutWrite = SD_SEND;
void closeSocket(int handle)
{
    closesocket(static_cast<SOCKET>(handle));
}
int pollSockets(pollfd* watched, unsigned long count)
{
    return WSAPoll(watched, count, -1);
}
void setReceiveTimeoutSeconds(int connection, int seconds)
{
    const DWORD ms = static_cast<DWORD>(seconds) * 1000;
    setsockopt(static_cast<SOCKET>(connection), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms),
               sizeof(ms));
}
void makeNonBlocking(int handle)
{
    u_long yes = 1;
    ioctlsocket(static_cast<SOCKET>(handle), FIONBIO, &yes);
}
struct WinsockStarted
{
    WinsockStarted()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
void startSockets()
{
    static WinsockStarted started;
}
#else
constexpr int sendFlags = MSG_NOSIGNAL;
constexpr int shutWrite = SHUT_WR;
void closeSocket(int handle)
{
    close(handle);
}
int pollSockets(pollfd* watched, nfds_t count)
{
    return poll(watched, count, -1);
}
void setReceiveTimeoutSeconds(int connection, int seconds)
{
    timeval receiveTimeout{seconds, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &receiveTimeout, sizeof(receiveTimeout));
}
void makeNonBlocking(int handle)
{
    fcntl(handle, F_SETFL, O_NONBLOCK);
}
void startSockets() {}
#endif

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

sockaddr_in loopbackAddress(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int boundPortOf(int socketHandle)
{
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    if (getsockname(socketHandle, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("getsockname failed");
    return ntohs(address.sin_port);
}

int bindLoopbackSocket(int type = SOCK_STREAM)
{
    startSockets();
    const int handle = static_cast<int>(socket(AF_INET, type, 0));
    if (handle < 0)
        throw std::runtime_error("socket failed");

    const int yes = 1;
    setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof(yes));

    auto address = loopbackAddress(0);
    if (bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
    {
        closeSocket(handle);
        throw std::runtime_error("bind failed");
    }
    return handle;
}

bool sendAll(int connection, const std::string& data)
{
    size_t sent = 0;
    while (sent < data.size())
    {
        const auto n = send(connection, data.data() + sent, static_cast<int>(data.size() - sent), sendFlags);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Appends whatever arrives next; false when the peer closed or went quiet.
bool receiveMore(int connection, std::string& into)
{
    char chunk[4096];
    const auto n = recv(connection, chunk, sizeof(chunk), 0);
    if (n <= 0)
        return false;
    into.append(chunk, static_cast<size_t>(n));
    return true;
}

const char* reasonPhrase(int status)
{
    switch (status)
    {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

std::string formatReply(const HttpReply& reply)
{
    std::string text = "HTTP/1.1 " + std::to_string(reply.status) + " " + reasonPhrase(reply.status) + "\r\n";
    text += "Content-Type: " + reply.contentType + "\r\n";
    text += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    text += reply.extraHeaders;
    text += "Connection: close\r\n\r\n";
    return text + reply.body;
}

void parseRequestLine(const std::string& head, HttpRequest& request)
{
    const auto lineEnd = head.find("\r\n");
    const auto requestLine = head.substr(0, lineEnd);
    const auto firstSpace = requestLine.find(' ');
    const auto secondSpace = requestLine.find(' ', firstSpace + 1);
    request.method = requestLine.substr(0, firstSpace);
    request.path = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    request.headers = lineEnd == std::string::npos ? std::string() : head.substr(lineEnd + 2);
}
} // namespace

//==============================================================================
std::string HttpRequest::header(const std::string& name) const
{
    const auto wanted = lowerCase(name) + ":";
    size_t start = 0;
    while (start < headers.size())
    {
        auto end = headers.find("\r\n", start);
        if (end == std::string::npos)
            end = headers.size();
        const auto line = headers.substr(start, end - start);
        if (lowerCase(line).rfind(wanted, 0) == 0)
        {
            auto value = line.substr(wanted.size());
            value.erase(0, value.find_first_not_of(' '));
            return value;
        }
        start = end + 2;
    }
    return {};
}

HttpReply HttpReply::json(int status, std::string body)
{
    return {Kind::respond, status, "application/json", body, {}};
}

HttpReply HttpReply::text(int status, std::string body)
{
    return {Kind::respond, status, "text/plain", body, {}};
}

HttpReply HttpReply::silent()
{
    return {Kind::silent, 0, {}, {}, {}};
}

HttpReply HttpReply::hangUp()
{
    return {Kind::hangUp, 0, {}, {}, {}};
}

//==============================================================================
LocalHttpServer::LocalHttpServer(Handler replyFor) : handler(std::move(replyFor))
{
    listener = bindLoopbackSocket();
    if (listen(listener, 16) != 0)
    {
        closeSocket(listener);
        throw std::runtime_error("listen failed");
    }
    listeningPort = boundPortOf(listener);
    // The destructor wakes the serving thread with a datagram to this socket.
    wakeSocket = bindLoopbackSocket(SOCK_DGRAM);
    thread = std::thread([this] { serve(); });
}

LocalHttpServer::~LocalHttpServer()
{
    const char stop = 1;
    auto wakeAddress = loopbackAddress(boundPortOf(wakeSocket));
    [[maybe_unused]] const auto sent = sendto(wakeSocket, &stop, 1, 0, reinterpret_cast<const sockaddr*>(&wakeAddress),
                                              sizeof(wakeAddress));
    thread.join();

    for (const int connection : heldConnections)
        closeSocket(connection);
    closeSocket(listener);
    closeSocket(wakeSocket);
}

std::string LocalHttpServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(listeningPort) + path;
}

std::vector<HttpRequest> LocalHttpServer::requests() const
{
    const std::lock_guard<std::mutex> guard(lock);
    return received;
}

bool LocalHttpServer::waitForRequests(size_t count, int timeoutMs) const
{
    std::unique_lock<std::mutex> guard(lock);
    return requestArrived.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                   [&] { return received.size() >= count; });
}

int LocalHttpServer::closedPort()
{
    const int handle = bindLoopbackSocket();
    const int port = boundPortOf(handle);
    closeSocket(handle);
    return port;
}

void LocalHttpServer::serve()
{
    for (;;)
    {
        pollfd watched[2] = {};
        watched[0].fd = listener;
        watched[0].events = POLLIN;
        watched[1].fd = wakeSocket;
        watched[1].events = POLLIN;
        if (pollSockets(watched, 2) < 0)
            continue;
        if ((watched[1].revents & POLLIN) != 0)
            return;
        if ((watched[0].revents & POLLIN) == 0)
            continue;

        const int connection = static_cast<int>(accept(listener, nullptr, nullptr));
        if (connection >= 0)
            handleConnection(connection);
    }
}

void LocalHttpServer::handleConnection(int connection)
{
    // A client that stalls must not hang the server thread.
    setReceiveTimeoutSeconds(connection, 2);

    std::string data;
    size_t headEnd = std::string::npos;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos && data.size() < maxHeaderBytes)
        if (!receiveMore(connection, data))
            break;

    if (headEnd == std::string::npos)
    {
        closeSocket(connection);
        return;
    }

    HttpRequest request;
    parseRequestLine(data.substr(0, headEnd), request);

    const auto lengthText = request.header("Content-Length");
    const size_t contentLength = lengthText.empty() ? 0 : std::stoul(lengthText);
    if (lowerCase(request.header("Expect")) == "100-continue")
        sendAll(connection, "HTTP/1.1 100 Continue\r\n\r\n");

    request.body = data.substr(headEnd + 4);
    while (request.body.size() < contentLength)
        if (!receiveMore(connection, request.body))
            break;

    {
        const std::lock_guard<std::mutex> guard(lock);
        received.push_back(request);
    }
    requestArrived.notify_all();

    const auto reply = handler(request);
    switch (reply.kind)
    {
    case HttpReply::Kind::silent:
        heldConnections.push_back(connection);
        return;
    case HttpReply::Kind::hangUp:
        break;
    case HttpReply::Kind::respond:
        sendAll(connection, formatReply(reply));
        shutdown(connection, shutWrite);
        break;
    }
    closeSocket(connection);
}
//==============================================================================
UnansweredPort::UnansweredPort()
{
    listener = bindLoopbackSocket();
    listeningPort = boundPortOf(listener);
    if (listen(listener, 0) != 0)
        throw std::runtime_error("listen failed");

    // Fill the accept queue with connections nobody accepts.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons((uint16_t)listeningPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < 4; ++i)
    {
        const int client = static_cast<int>(socket(AF_INET, SOCK_STREAM, 0));
        makeNonBlocking(client);
        connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
        queued.push_back(client);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

UnansweredPort::~UnansweredPort()
{
    for (int client : queued)
        closeSocket(client);
    closeSocket(listener);
}

std::string UnansweredPort::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(listeningPort) + path;
}
} // namespace orlixtest
