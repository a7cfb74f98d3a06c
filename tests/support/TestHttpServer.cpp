#include "TestHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace quorix::test {

TTestHttpServer::TTestHttpServer() {
    FListener = socket(AF_INET, SOCK_STREAM, 0);
    if (FListener < 0) throw std::runtime_error("socket");
    int yes = 1;
    setsockopt(FListener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(FListener, 16) != 0)
        throw std::runtime_error("bind");
    socklen_t length = sizeof address;
    getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
    FPort = ntohs(address.sin_port);
    FThread = std::thread([this] { Serve(); });
}

TTestHttpServer::~TTestHttpServer() {
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStopping = true;
    }
    FHeld.notify_all();
    FThread.join();
    close(FListener);
}

std::string TTestHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

void TTestHttpServer::Route(const std::string& path, const std::string& response, bool holdBody) {
    std::lock_guard<std::mutex> lock(FLock);
    FRoutes[path] = {response, holdBody};
}

std::vector<std::string> TTestHttpServer::Requests() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FRequests;
}

int TTestHttpServer::RequestCount(const std::string& path) const {
    int count = 0;
    for (const std::string& head : Requests())
        if (head.rfind("GET " + path + " ", 0) == 0) ++count;
    return count;
}

std::string TTestHttpServer::Answer(const std::string& body, bool withLength, int status,
                                    const std::string& extraHeaders) {
    std::string head = "HTTP/1.0 " + std::to_string(status) + (status == 200 ? " OK" : " Not Found") + "\r\n";
    if (withLength) head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return head + extraHeaders + "\r\n" + body;
}

void TTestHttpServer::Serve() {
    while (!FStopping) {
        pollfd waiting{FListener, POLLIN, 0};
        if (poll(&waiting, 1, 50) <= 0) continue;
        const int client = accept(FListener, nullptr, nullptr);
        if (client < 0) continue;
        Handle(client);
        close(client);
    }
}

void TTestHttpServer::Handle(int client) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        head.append(buffer, static_cast<size_t>(n));
    }
    const size_t start = head.find(' ') + 1;
    const std::string path = head.substr(start, head.find(' ', start) - start);
    std::pair<std::string, bool> route{Answer("<html>Not here</html>", true, 404), false};
    {
        std::lock_guard<std::mutex> lock(FLock);
        FRequests.push_back(head);
        auto found = FRoutes.find(path);
        if (found != FRoutes.end()) route = found->second;
    }
    const std::string& response = route.first;
    const size_t bodyAt = response.find("\r\n\r\n");
    const size_t split = route.second && bodyAt != std::string::npos ? bodyAt + 4 : response.size();
    send(client, response.data(), split, MSG_NOSIGNAL);
    if (route.second) {
        {
            std::unique_lock<std::mutex> lock(FLock);
            FHeld.wait(lock, [&] { return FReleased || FStopping; });
        }
        send(client, response.data() + split, response.size() - split, MSG_NOSIGNAL);
        ++FHeldSent;
    }
}

void TTestHttpServer::Release() {
    {
        std::lock_guard<std::mutex> lock(FLock);
        FReleased = true;
    }
    FHeld.notify_all();
}

}  // namespace quorix::test
