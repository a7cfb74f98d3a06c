// A small HTTP server on 127.0.0.1 for the update checker's tests: it answers
// each request with the bytes set for its path and closes the connection.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorix::test {

class TTestHttpServer {
public:
    TTestHttpServer();
    ~TTestHttpServer();
    TTestHttpServer(const TTestHttpServer&) = delete;
    TTestHttpServer& operator=(const TTestHttpServer&) = delete;

    std::string Url(const std::string& path) const;
    // The whole answer for a path, status line and headers included; unknown
    // paths get a 404 page. With HoldBody the server sends the head and keeps
    // the body until Release: a silent server, for as long as the test wants.
    static constexpr bool HoldBody = true;
    void Route(const std::string& path, const std::string& response, bool holdBody = false);
    void Release();
    // Bodies sent after a pause or a hold.
    int HeldBodiesSent() const { return FHeldSent; }
    // The request heads received so far.
    std::vector<std::string> Requests() const;
    int RequestCount(const std::string& path) const;

    // An HTTP/1.0 answer with the given body.
    static std::string Answer(const std::string& body, bool withLength = true, int status = 200,
                              const std::string& extraHeaders = "");

private:
    void Serve();
    void Handle(int client);

    int FListener = -1;
    int FPort = 0;
    std::atomic<bool> FStopping{false};
    bool FReleased = false;  // under FLock
    std::condition_variable FHeld;
    std::atomic<int> FHeldSent{0};
    mutable std::mutex FLock;
    std::map<std::string, std::pair<std::string, bool>> FRoutes;
    std::vector<std::string> FRequests;
    std::thread FThread;
};

}  // namespace quorix::test
