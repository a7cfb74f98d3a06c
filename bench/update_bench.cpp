// The update check against a local server that never ends its page: prints
// how long the check took and the process's peak memory.
//   update_bench
#include "WebUpdate.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(listener, 4) != 0) return 1;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    std::atomic<long long> sent{0};
    std::thread server([&] {  // one client: headers, then spaces until it hangs up
        const int client = accept(listener, nullptr, nullptr);
        char request[4096];
        if (recv(client, request, sizeof request, 0) <= 0) return;
        const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
        send(client, head.data(), head.size(), MSG_NOSIGNAL);
        const std::string block(65536, ' ');
        for (ssize_t n; (n = send(client, block.data(), block.size(), MSG_NOSIGNAL)) > 0;) sent += n;
        close(client);
    });
    quorix::TWebUpdate update;
    update.ProductInfo.SetURL("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/endless");
    bool failed = false;
    update.OnDownloadError = [&](quorix::TWebUpdate&) { failed = true; };
    const auto start = std::chrono::steady_clock::now();
    update.CheckForAnUpdate();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    server.join();
    close(listener);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("endless page: %s after %.0f ms, %.1f MB sent, peak memory %.1f MB\n",
                failed ? "abandoned as failed" : "NOT abandoned", ms, sent / 1048576.0, usage.ru_maxrss / 1024.0);
    return failed ? 0 : 1;
}
