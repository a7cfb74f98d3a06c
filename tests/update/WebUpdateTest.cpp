#include "TestHttpServer.h"
#include "TestPictures.h"
#include "WebUpdate.h"

#include <gtest/gtest.h>

#include "OrvelTPU.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace quorix {
namespace {

using test::TTestHttpServer;

std::string Meta(const std::string& name, const std::string& content) {
    return "<META NAME=\"" + name + "\" CONTENT=\"" + content + "\">\r\n";
}

class WebUpdateTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("TMPDIR", FTemp.Path().c_str(), 1);
        U.ProductInfo.CurVersion = "1.0.0.0";
        U.ProductInfo.SetURL(Server.Url("/page"));
        U.Execute = [this](const std::string& file, const std::string& parameters) {
            Events.push_back("Execute " + file + " " + parameters);
            return true;
        };
        U.Terminate = [this] { Events.push_back("Terminate"); };
        U.OnBeforeGetInfo = [this](TWebUpdate&) { Events.push_back("BeforeGetInfo"); };
        U.OnAfterGetInfo = [this](TWebUpdate&) { Events.push_back("AfterGetInfo"); };
        U.OnNoUpdateFound = [this](TWebUpdate&) { Events.push_back("NoUpdateFound"); };
        U.OnDownloadError = [this](TWebUpdate&) { Events.push_back("DownloadError"); };
        U.OnUpdateAvailable = [this](TWebUpdate&, const std::string& actual, const std::string& next, bool& can) {
            Events.push_back("UpdateAvailable " + actual + " " + next);
            can = CanUpdate;
        };
        U.OnClientFileExists = [this](TWebUpdate&, std::string&, bool& overwrite) {
            Events.push_back("ClientFileExists");
            overwrite = Overwrite;
        };
        U.OnBeforeDownload = [this](TWebUpdate&, const std::string& file) {
            Events.push_back("BeforeDownload");
            FileName = file;
        };
        U.OnAfterDownload = [this](TWebUpdate&, const std::string&) { Events.push_back("AfterDownload"); };
        U.OnDownload = [this](TWebUpdate&, int, int downloaded) { Downloads.push_back(downloaded); };
    }
    void TearDown() override { unsetenv("TMPDIR"); }

    // A page offering version 9.0 of the client file at the path given.
    std::string Page(const std::string& file, const std::string& clientName = "q.bin") const {
        return Meta("wuProduct", "Quorix") + Meta("wuVersion", "9.0") + Meta("wuDownload", Server.Url(file)) +
               Meta("wuClientSideName", clientName) + Meta("wuRunParameters", "--quiet");
    }
    // Where the download went: a folder of its own under the temporary folder.
    std::string ClientFile() const { return FileName.empty() ? FTemp.File("q.bin") : FileName; }
    // The download goes to a file of the test's choosing.
    void DownloadTo(const std::string& file) {
        U.OnGetClientFileName = [file](TWebUpdate&, std::string& name) { name = file; };
    }

    test::TTempDir FTemp;
    TTestHttpServer Server;
    TWebUpdate U;
    std::vector<std::string> Events;
    std::vector<int> Downloads;
    std::string FileName;
    bool CanUpdate = true;
    bool Overwrite = true;
};

using Strings = std::vector<std::string>;

TEST_F(WebUpdateTest, RedirectionOnceReadsTheSecondPage) {
    Server.Route("/page", TTestHttpServer::Answer(Meta("wuRedirection", Server.Url("/real"))));
    Server.Route("/real", TTestHttpServer::Answer(Page("/file")));
    CanUpdate = false;
    EXPECT_TRUE(U.CheckForAnUpdate());
    EXPECT_EQ(Events, (Strings{"BeforeGetInfo", "AfterGetInfo", "UpdateAvailable 1.0.0.0 9.0"}));
    EXPECT_EQ(U.ProductName(), "Quorix");
    EXPECT_EQ(U.RedirectionURL(), "");
    EXPECT_EQ(Server.RequestCount("/page"), 1);
    EXPECT_EQ(Server.RequestCount("/real"), 1);
}

TEST_F(WebUpdateTest, RequestHeaders) {
    Server.Route("/page", TTestHttpServer::Answer(Meta("wuProduct", "Quorix") + Meta("wuVersion", "1.0")));
    EXPECT_FALSE(U.CheckForAnUpdate());
    EXPECT_EQ(Events, (Strings{"BeforeGetInfo", "AfterGetInfo", "NoUpdateFound"}));
    const std::string head = Server.Requests().at(0);
    EXPECT_EQ(head.rfind("GET /page HTTP/1.0\r\n", 0), 0u) << head;
    for (const char* header : {"User-Agent: Updater\r\n", "Pragma: no-cache\r\n", "Cache-Control: no-cache\r\n"})
        EXPECT_NE(head.find(header), std::string::npos) << header;
}

TEST_F(WebUpdateTest, DownloadsTheClientFileInPieces) {
    std::string body(10000, 'x');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
    Server.Route("/page", TTestHttpServer::Answer(Page("/file"), false));  // a page needs no length
    Server.Route("/file", TTestHttpServer::Answer(body));
    EXPECT_TRUE(U.CheckForAnUpdate());
    EXPECT_EQ(Events, (Strings{"BeforeGetInfo", "AfterGetInfo", "UpdateAvailable 1.0.0.0 9.0", "BeforeDownload",
                               "AfterDownload", "Execute " + ClientFile() + " --quiet", "Terminate"}));
    EXPECT_EQ(ClientFile().rfind(FTemp.Path() + "quorix-update-", 0), 0u) << ClientFile();
    struct stat folder;
    ASSERT_EQ(stat(ExtractFilePath(ClientFile()).c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    const std::vector<uint8_t> written = test::ReadFileBytes(ClientFile());
    EXPECT_EQ(std::string(written.begin(), written.end()), body);
    ASSERT_FALSE(Downloads.empty());
    EXPECT_EQ(Downloads.back(), static_cast<int>(body.size()));
    for (size_t i = 1; i < Downloads.size(); ++i) EXPECT_LE(Downloads[i] - Downloads[i - 1], 2050);
}

TEST_F(WebUpdateTest, OverwriteOnlyRunsNothing) {
    U.Options = {TUpdateOption::uoOverwrite};
    DownloadTo(FTemp.File("q.bin"));
    Server.Route("/page", TTestHttpServer::Answer(Page("/file")));
    Server.Route("/file", TTestHttpServer::Answer("new"));
    test::WriteFileBytes(ClientFile(), {'o', 'l', 'd'});
    EXPECT_TRUE(U.CheckForAnUpdate());
    EXPECT_EQ(Events, (Strings{"BeforeGetInfo", "AfterGetInfo", "UpdateAvailable 1.0.0.0 9.0", "ClientFileExists",
                               "BeforeDownload", "AfterDownload"}));
    EXPECT_EQ(test::ReadFileBytes(ClientFile()), (std::vector<uint8_t>{'n', 'e', 'w'}));
}

TEST_F(WebUpdateTest, ExistingFileThatMayNotBeOverwritten) {
    Overwrite = false;
    DownloadTo(FTemp.File("q.bin"));
    Server.Route("/page", TTestHttpServer::Answer(Page("/file")));
    test::WriteFileBytes(ClientFile(), {'o', 'l', 'd'});
    EXPECT_FALSE(U.CheckForAnUpdate());
    EXPECT_EQ(Events, (Strings{"BeforeGetInfo", "AfterGetInfo", "UpdateAvailable 1.0.0.0 9.0", "ClientFileExists",
                               "DownloadError"}));
    EXPECT_EQ(Server.RequestCount("/file"), 0);
}

struct TFailedDownload {
    const char* Name;
    std::string Response;
    bool FileLeft;
    size_t Size;
};

void PrintTo(const TFailedDownload& c, std::ostream* os) { *os << c.Name; }

class FailedDownloads : public WebUpdateTest, public testing::WithParamInterface<TFailedDownload> {};

// A failed transfer is never taken for the update: the copy downloaded before
// stays as it was, and nothing half-written is left beside it.
TEST_P(FailedDownloads, ReportTheErrorAndTheEnd) {
    Server.Route("/page", TTestHttpServer::Answer(Page("/file")));
    Server.Route("/file", GetParam().Response);
    DownloadTo(FTemp.File("q.bin"));
    test::WriteFileBytes(FTemp.File("q.bin"), {'g', 'o', 'o', 'd'});
    EXPECT_FALSE(U.CheckForAnUpdate());
    EXPECT_EQ(Events, (Strings{"BeforeGetInfo", "AfterGetInfo", "UpdateAvailable 1.0.0.0 9.0", "ClientFileExists",
                               "BeforeDownload", "DownloadError", "AfterDownload"}));
    EXPECT_FALSE(U.Succeeded());
    EXPECT_EQ(test::ReadFileBytes(FTemp.File("q.bin")), (std::vector<uint8_t>{'g', 'o', 'o', 'd'}));
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(FTemp.Path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Client, FailedDownloads,
    testing::Values(TFailedDownload{"NoLength", TTestHttpServer::Answer("data", false), false, 0},
                    TFailedDownload{"CutShort", "HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n" + std::string(100, 'z'),
                                    false, 0},
                    TFailedDownload{"Empty", TTestHttpServer::Answer(""), false, 0},
                    TFailedDownload{"NotFound", TTestHttpServer::Answer("missing", true, 404), false, 0},
                    TFailedDownload{"ToAFile", "HTTP/1.0 302 Found\r\nLocation: file:///etc/hostname\r\nContent-Length: 0\r\n\r\n",
                                    false, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

// A link planted where the download is written is replaced, never followed.
TEST_F(WebUpdateTest, APlantedLinkIsNotFollowed) {
    Server.Route("/page", TTestHttpServer::Answer(Page("/file")));
    Server.Route("/file", TTestHttpServer::Answer("new"));
    test::WriteFileBytes(FTemp.File("victim"), {'v'});
    std::filesystem::create_symlink(FTemp.File("victim"), FTemp.File("q.bin"));
    DownloadTo(FTemp.File("q.bin"));
    EXPECT_TRUE(U.CheckForAnUpdate());
    EXPECT_EQ(test::ReadFileBytes(FTemp.File("victim")), std::vector<uint8_t>{'v'});
    EXPECT_FALSE(std::filesystem::is_symlink(FTemp.File("q.bin")));
    EXPECT_EQ(test::ReadFileBytes(FTemp.File("q.bin")), (std::vector<uint8_t>{'n', 'e', 'w'}));
}

TEST_F(WebUpdateTest, APageOfMoreThanAMegabyteIsAbandoned) {
    Server.Route("/page", TTestHttpServer::Answer(Page("/file") + std::string(size_t(1) << 21, ' ')));
    EXPECT_FALSE(U.CheckForAnUpdate());
    EXPECT_EQ(Events, (Strings{"BeforeGetInfo", "DownloadError", "AfterGetInfo", "DownloadError"}));
}

// While a server is silent the caller keeps processing its events, and an
// abort ends the check without waiting for the server.
TEST_F(WebUpdateTest, ASilentServerNeitherFreezesNorHoldsAnAbort) {
    Server.Route("/page", TTestHttpServer::Answer(Page("/file")), TTestHttpServer::HoldBody);
    int idle = 0;
    U.ProcessMessages = [&] {
        if (++idle == 25) U.Abort();
    };
    EXPECT_FALSE(U.CheckForAnUpdate());
    EXPECT_GE(idle, 25);
    EXPECT_EQ(Server.HeldBodiesSent(), 0);  // the abort did not wait for the server
    Server.Release();
    EXPECT_EQ(Events, (Strings{"BeforeGetInfo", "AfterGetInfo", "DownloadError"}));
}

TEST_F(WebUpdateTest, PagesWithoutTheRequiredValues) {
    Server.Route("/page", TTestHttpServer::Answer("<html>gone</html>", true, 404));
    EXPECT_FALSE(U.CheckForAnUpdate());
    EXPECT_EQ(Events, (Strings{"BeforeGetInfo", "AfterGetInfo", "DownloadError"}));
}

TEST_F(WebUpdateTest, NoServer) {
    U.ProductInfo.SetURL("http://127.0.0.1:1/page");
    EXPECT_FALSE(U.CheckForAnUpdate());
    EXPECT_EQ(Events, (Strings{"BeforeGetInfo", "DownloadError", "AfterGetInfo", "DownloadError"}));
}

TEST_F(WebUpdateTest, ClientFileNamesThatLeaveTheFolderAreRefused) {
    for (const char* name : {"../evil", "sub/evil", "  ", "..", "a\\b"}) {
        Events.clear();
        Server.Route("/page", TTestHttpServer::Answer(Page("/file", name)));
        EXPECT_FALSE(U.CheckForAnUpdate()) << name;
        EXPECT_EQ(Events, (Strings{"BeforeGetInfo", "AfterGetInfo", "UpdateAvailable 1.0.0.0 9.0", "DownloadError"}))
            << name;
    }
    EXPECT_EQ(Server.RequestCount("/file"), 0);
    EXPECT_FALSE(std::filesystem::exists(FTemp.Path() + "../evil"));
}

TEST_F(WebUpdateTest, RedirectionLoopAndLongChain) {
    Server.Route("/page", TTestHttpServer::Answer(Meta("wuRedirection", Server.Url("/other"))));
    Server.Route("/other", TTestHttpServer::Answer(Meta("wuRedirection", Server.Url("/page"))));
    EXPECT_FALSE(U.CheckForAnUpdate());
    EXPECT_EQ(Server.RequestCount("/page"), 1);
    EXPECT_EQ(Server.RequestCount("/other"), 1);
    EXPECT_EQ(Events.front(), "BeforeGetInfo");
    EXPECT_EQ(Events.at(1), "DownloadError");

    for (int i = 0; i < 10; ++i)
        Server.Route("/c" + std::to_string(i),
                     TTestHttpServer::Answer(Meta("wuRedirection", Server.Url("/c" + std::to_string(i + 1)))));
    U.ProductInfo.SetURL(Server.Url("/c0"));
    EXPECT_FALSE(U.CheckForAnUpdate());
    EXPECT_EQ(Server.RequestCount("/c5"), 1);  // the start page and five more
    EXPECT_EQ(Server.RequestCount("/c6"), 0);
}

TEST_F(WebUpdateTest, AbortAndASecondCheckDuringATransfer) {
    Server.Route("/page", TTestHttpServer::Answer(Page("/file")));
    Server.Route("/file", TTestHttpServer::Answer(std::string(200000, 'b')));
    bool second = true;
    U.OnDownload = [&](TWebUpdate& u, int total, int) {
        if (total != 200000) return;  // the client file, not the page
        second = u.CheckForAnUpdate();
        u.Abort();
    };
    EXPECT_FALSE(U.CheckForAnUpdate());
    EXPECT_FALSE(second);
    EXPECT_EQ(Events, (Strings{"BeforeGetInfo", "AfterGetInfo", "UpdateAvailable 1.0.0.0 9.0", "BeforeDownload",
                               "AfterDownload"}));
    EXPECT_FALSE(std::filesystem::exists(ClientFile()));  // nothing half-written is left
    EXPECT_TRUE(std::filesystem::is_empty(ExtractFilePath(ClientFile())));
    EXPECT_FALSE(U.Active());
}

TEST_F(WebUpdateTest, AStallingServerTimesOut) {
    U.TimeoutSeconds = 1;
    Server.Route("/page", TTestHttpServer::Answer(Page("/file")), TTestHttpServer::HoldBody);
    EXPECT_FALSE(U.CheckForAnUpdate());
    EXPECT_EQ(Server.HeldBodiesSent(), 0);  // it gave up on the silent server, which still holds the body
    Server.Release();
    EXPECT_EQ(Events, (Strings{"BeforeGetInfo", "DownloadError", "AfterGetInfo", "DownloadError"}));
}

TEST(UpdateAddress, HttpIsPutInFront) {
    TUpdateProductInfo info;
    EXPECT_EQ(info.URL(), "http://");
    info.SetURL("quorix.example/update");
    EXPECT_EQ(info.URL(), "http://quorix.example/update");
    info.SetURL("HTTP://QUORIX.EXAMPLE/");
    EXPECT_EQ(info.URL(), "HTTP://QUORIX.EXAMPLE/");
    info.SetURL("https://quorix.example/");
    EXPECT_EQ(info.URL(), "https://quorix.example/");
}

TEST(UpdateAddress, ParseURL) {
    TWebUpdate u;
    std::string server, path;
    u.ParseURL("http://quorix.example/info/page.html", server, path);
    EXPECT_EQ(server, "quorix.example");
    EXPECT_EQ(path, "/info/page.html");
    u.ParseURL("http://quorix.example", server, path);
    EXPECT_EQ(server, "");
    EXPECT_EQ(path, "quorix.example");
}

TEST(UpdateAddress, SafeClientFileNames) {
    EXPECT_TRUE(IsSafeClientFileName("quorix-2.0.tar.gz"));
    EXPECT_TRUE(IsSafeClientFileName(" setup.bin "));
    for (const char* name : {"", "   ", "..", ".", "../x", "/etc/passwd", "a/b", "a\\b", "x..y"})
        EXPECT_FALSE(IsSafeClientFileName(name)) << name;
}

}  // namespace
}  // namespace quorix
