// quorix-resize and the files it touches: names as bytes, sources never
// replaced, the same outputs on any number of threads, interrupted runs.
#include "FormatPictures.h"
#include "PhotoTags.h"
#include "HostilePictures.h"
#include "Jpeg.h"
#include "OrvelGraphics.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace quorix {
namespace {

namespace fs = std::filesystem;

struct TRun {
    int Status = -1;
    std::string Out, Err;
};

class CliFilesTest : public ::testing::Test {
protected:
    // Runs the tool in the folder; stopAfterLine > 0 sends SIGTERM once that
    // many lines have been printed.
    TRun Run(const std::vector<std::string>& args, int stopAfterLine = 0, const char* outFile = nullptr) {
        const char* tool = std::getenv("QUORIX_RESIZE");
        EXPECT_NE(tool, nullptr);
        int out[2], err[2];
        EXPECT_EQ(pipe(out), 0);
        EXPECT_EQ(pipe(err), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            // An unprivileged user, where the test runs as root (CI does): root reads any folder.
            if (User != 0 && (setgid(User) != 0 || setuid(User) != 0)) _exit(125);
            if (chdir(Dir.Path().c_str()) != 0) _exit(126);
            const int target = outFile ? open(outFile, O_WRONLY) : out[1];
            dup2(target, 1);
            dup2(err[1], 2);
            std::vector<char*> argv{const_cast<char*>(tool)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(tool, argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        TRun run;
        char buffer[4096];
        ssize_t n;
        int lines = 0;
        bool stopped = false;
        while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
            run.Out.append(buffer, static_cast<size_t>(n));
            lines += static_cast<int>(std::count(buffer, buffer + n, '\n'));
            if (stopAfterLine > 0 && lines >= stopAfterLine && !stopped) stopped = kill(pid, SIGTERM) == 0;
        }
        while ((n = read(err[0], buffer, sizeof buffer)) > 0) run.Err.append(buffer, static_cast<size_t>(n));
        close(out[0]);
        close(err[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }
    // Until a temporary (hidden) file appears in Output, woken by the file
    // system; false when the run pid ends first.
    bool WaitForTemporary(pid_t pid) {
        const int notify = inotify_init1(IN_CLOEXEC);
        inotify_add_watch(notify, Dir.File("Output").c_str(), IN_CREATE);
        const int process = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        bool seen = !Hidden("Output").empty();
        while (!seen) {
            pollfd events[2] = {{notify, POLLIN, 0}, {process, POLLIN, 0}};
            poll(events, process >= 0 ? 2 : 1, -1);
            if (process >= 0 && events[1].revents) break;
            char buffer[4096];
            if (read(notify, buffer, sizeof buffer) < 0) break;
            seen = !Hidden("Output").empty();
        }
        close(notify);
        if (process >= 0) close(process);
        return seen || !Hidden("Output").empty();
    }
    void Jpeg(const std::string& name, int w = 64, int h = 48) { test::WriteJpeg(Dir.File(name), test::MakeGradient(w, h)); }
    // The files under a folder of the test's, by their paths below it.
    std::vector<std::string> FilesIn(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(Dir.File(folder)))
            if (e.is_regular_file()) names.push_back(e.path().string().substr(Dir.File(folder).size() + 1));
        std::sort(names.begin(), names.end());
        return names;
    }
    uid_t User = 0;  // runs the tool as this user when not 0
    std::vector<std::string> Hidden(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(Dir.File(folder)))
            if (e.path().filename().string()[0] == '.') names.push_back(e.path().filename().string());
        return names;
    }
    test::TTempDir Dir;
};

TEST_F(CliFilesTest, NamesAreBytesAndStayInTheOutputFolder) {
    fs::create_directory(Dir.File("downloads"));
    Jpeg("holiday.jpg", 40, 30);
    const std::vector<uint8_t> before = test::ReadFileBytes(Dir.File("holiday.jpg"));
    const std::string overlong = "\xC0\xAE\xC0\xAE\xC0\xAFholiday", latin1 = "caf\xE9";
    Jpeg("downloads/" + overlong + ".jpg", 64, 48);
    Jpeg("downloads/" + latin1 + ".jpg", 64, 48);
    Jpeg("downloads/" + std::string(251, 'n') + ".jpg", 64, 48);  // a 255-byte name
    const TRun run = Run({"downloads/" + overlong + ".jpg", "downloads/" + latin1 + ".jpg",
                          "downloads/" + std::string(251, 'n') + ".jpg"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(fs::exists(Dir.File("downloads/Output/" + overlong + ".jpg")));
    EXPECT_TRUE(fs::exists(Dir.File("downloads/Output/" + latin1 + ".jpg")));
    EXPECT_TRUE(fs::exists(Dir.File("downloads/Output/" + std::string(251, 'n') + ".jpg")));
    EXPECT_EQ(test::ReadFileBytes(Dir.File("holiday.jpg")), before);
    EXPECT_NE(run.Out.find("Output/" + latin1 + ".jpg\n"), std::string::npos);
}

TEST_F(CliFilesTest, ASourceIsNeverReplaced) {
    Jpeg("a.jpg");
    const std::vector<uint8_t> before = test::ReadFileBytes(Dir.File("a.jpg"));
    const TRun run = Run({"--out", ".", "a.jpg"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Out, "WARNING! Output would replace its source (not overwritten): " + Dir.File("a.jpg") + "\n");
    EXPECT_EQ(test::ReadFileBytes(Dir.File("a.jpg")), before);
    // Nor another source of the run: b.png's output is the source b.jpg.
    Jpeg("b.jpg");
    test::TPngLayout png;
    png.Width = png.Height = 4;
    png.Rows.assign(4 * 4 * 3, 9);
    test::WritePng(Dir.File("b.png"), png);
    const TRun both = Run({"--out", ".", "b.png", "b.jpg"});
    EXPECT_NE(both.Out.find("WARNING! Output would replace its source (not overwritten): " + Dir.File("b.jpg")),
              std::string::npos);
}

// Two sources, one output: the later one goes second on any number of threads.
TEST_F(CliFilesTest, TwoSourcesWantingOneNameAreNumberedTheSameOnAnyThreads) {
    Jpeg("a.jpg", 40, 40);
    test::TPngLayout png;
    png.Width = 300;
    png.Height = 200;
    png.Rows.assign(300 * 200 * 3, 200);
    test::WritePng(Dir.File("a.png"), png);
    for (const char* threads : {"1", "2"}) {
        fs::remove_all(Dir.File("Output"));
        const TRun run = Run({"--threads", threads, "a.png", "a.jpg"});
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(run.Out, "File resized and saved as: " + Dir.File("Output/a.jpg") + "\n" +
                               "WARNING! Output name already used in this run, saved as: " + Dir.File("Output/a (2).jpg") + "\n");
        EXPECT_EQ(test::LoadAs24(Dir.File("Output/a.jpg")).Width(), 150) << threads;  // a.png, the first
        EXPECT_EQ(test::LoadAs24(Dir.File("Output/a (2).jpg")).Width(), 20) << threads;
        // A rerun finds both in place: nothing to do, and nothing failed.
        const TRun kept = Run({"--threads", threads, "--no-overwrite", "a.png", "a.jpg"});
        EXPECT_EQ(kept.Out, "WARNING! File already exists (not overwritten): " + Dir.File("Output/a.jpg") + "\n" +
                                "WARNING! File already exists (not overwritten): " + Dir.File("Output/a (2).jpg") + "\n");
        EXPECT_EQ(kept.Status, 0);
    }
}

// Damaged and crafted files among good ones cost only themselves: a batch on
// two threads writes, byte for byte, what runs of one picture each write.
TEST_F(CliFilesTest, ABatchAroundHostileFilesWritesWhatSingleRunsWrite) {
    const test::TSamples rgb = test::MakeSamples(128, 64, 3, 8);
    test::TAvifOptions grid, sequence;
    grid.GridColumns = 2;
    sequence.Frames = 2;
    const std::vector<uint8_t> avif = test::AvifBytes(rgb), heic = test::HeifBytes(rgb, "hevc", 6);
    std::vector<uint8_t> spoiled = heic, cutAvif(avif.begin(), avif.begin() + static_cast<long>(avif.size() / 2));
    for (size_t i = 64; i < spoiled.size(); i += 5) spoiled[i] ^= 0x5A;
    const std::pair<const char*, std::vector<uint8_t>> files[] = {
        {"grid.avif", test::WithReferencesReversed(test::AvifBytes(rgb, grid), "dimg")},
        {"moving.avif", test::WithFourCcRenamed(test::WithFourCcRenamed(test::AvifBytes(rgb, sequence), "meta", "free"), "avif", "iso8")},
        {"cut.avif", cutAvif},
        {"old.tif", test::OldJpegTiffBytes(rgb, 16, false)},
        {"spoiled.heic", spoiled},
        {"phone.heic", heic},
        {"huge.png", test::PngAnnouncing(30000, 9000, false)},
        {"lossless.jxl", test::JpegXlBytes(rgb, 3)},
        {"tiles.tif", test::TiffBytes({{test::MakeSamples(70, 50, 4, 16), 6, false, true}})},
    };
    std::vector<std::string> batch = {"--threads", "2", "--out", "batch"};
    for (const auto& [name, bytes] : files) {
        test::WriteFileBytes(Dir.File(name), bytes);
        batch.push_back(name);
    }
    Jpeg("photo.jpg", 300, 200);
    batch.push_back("photo.jpg");
    const TRun run = Run(batch);
    EXPECT_EQ(run.Status, 1) << run.Out << run.Err;  // some pictures could not be read
    for (size_t i = 4; i < batch.size(); ++i) Run({"--threads", "1", "--out", "single", batch[i]});
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(Dir.File("single"))) {
        const std::string name = entry.path().filename().string();
        written.push_back(name);
        EXPECT_EQ(test::ReadFileBytes(Dir.File("batch/" + name)), test::ReadFileBytes(entry.path().string())) << name;
    }
    std::vector<std::string> inBatch;
    for (const auto& entry : fs::directory_iterator(Dir.File("batch"))) inBatch.push_back(entry.path().filename().string());
    std::sort(written.begin(), written.end());
    std::sort(inBatch.begin(), inBatch.end());
    EXPECT_EQ(inBatch, written);
    EXPECT_EQ(written.size(), 7u) << run.Out;  // all but the cut, the spoiled and the crafted file
}

// Pictures whose outputs want one name each get their own: 25 photos of one
// day under {date}, a name without any token, pic.avif beside pic.jxl, and
// two cards' pictures of the same names. The log names every renamed one,
// and a rerun that keeps what is there has nothing to do and succeeds.
TEST_F(CliFilesTest, OutputsThatWantOneNameEachGetTheirOwn) {
    std::vector<std::string> photos;
    for (int i = 0; i < 25; ++i) {
        photos.push_back("IMG_" + std::to_string(1000 + i) + ".jpg");
        Jpeg(photos.back(), 40 + i, 30);
        test::TagLikeACamera(Dir.File(photos.back()), 1, {});  // all taken on 2024-05-17
    }
    test::WriteFileBytes(Dir.File("pic.avif"), test::AvifBytes(test::MakeSamples(40, 30, 3, 8)));
    test::WriteFileBytes(Dir.File("pic.jxl"), test::JpegXlBytes(test::MakeSamples(50, 30, 3, 8)));
    for (const char* card : {"cardA", "cardB"}) {
        fs::create_directory(Dir.File(card));
        Jpeg(std::string(card) + "/IMG_0001.jpg", card[4] == 'A' ? 60 : 80, 40);
    }
    const struct {
        std::vector<std::string> args;
        size_t outputs;
        std::vector<std::string> names;  // some of them
    } cases[] = {
        {{"--name", "{date}", "--out", "dated"}, 25, {"2024-05-17.jpg", "2024-05-17 (2).jpg", "2024-05-17 (25).jpg"}},
        {{"--name", "web", "--out", "web"}, 25, {"web.jpg", "web (25).jpg"}},
        {{"--name", "{counter:3}", "--counter-start", "26", "--out", "counted"}, 25, {"026.jpg", "050.jpg"}},
        {{"--out", "both", "pic.avif", "pic.jxl"}, 2, {"pic.jpg", "pic (2).jpg"}},
        {{"--recursive", "--out", "cards", "cardA", "cardB"}, 2, {"cardA/IMG_0001.jpg", "cardB/IMG_0001.jpg"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        if (c.args.front() == "--name") args.insert(args.end(), photos.begin(), photos.end());
        const TRun run = Run(args);
        ASSERT_EQ(run.Status, 0) << c.args.front() << run.Err;
        const std::string out = c.args[c.args.front() == "--name" ? c.args.size() - 1 : 1 + (c.args.front() == "--recursive")];
        const std::vector<std::string> files = FilesIn(out);
        EXPECT_EQ(files.size(), c.outputs) << out;
        for (const std::string& name : c.names) EXPECT_TRUE(std::count(files.begin(), files.end(), name)) << out << ": " << name;
        // Each renamed output, and only those, has its line.
        const std::string said = "WARNING! Output name already used in this run, saved as: ";
        size_t lines = 0;
        for (size_t at = run.Out.find(said); at != std::string::npos; at = run.Out.find(said, at + 1)) ++lines;
        EXPECT_EQ(lines, static_cast<size_t>(std::count_if(files.begin(), files.end(), [](const std::string& f) {
                      return f.find(" (") != std::string::npos;
                  })))
            << run.Out;
        // Run again keeping what is there: all in place, nothing written, status 0.
        args.insert(args.begin(), "--no-overwrite");
        const TRun again = Run(args);
        EXPECT_EQ(again.Status, 0) << out << again.Out;
        EXPECT_EQ(again.Out.find("File resized"), std::string::npos) << out;
        EXPECT_EQ(FilesIn(out), files) << out;
    }
}

// A tree that holds its own output folder is read without it: run three
// times, nothing is made of the outputs.
TEST_F(CliFilesTest, ATreeNeverReadsItsOwnOutput) {
    fs::create_directories(Dir.File("album/2024"));
    Jpeg("album/a.jpg");
    Jpeg("album/2024/b.jpg");
    for (int run = 0; run < 3; ++run) {
        const TRun r = Run({"--recursive", "album", "--out", "album/small"});
        ASSERT_EQ(r.Status, 0) << r.Err;
    }
    EXPECT_EQ(FilesIn("album/small"), (std::vector<std::string>{"2024/b.jpg", "a.jpg"}));
}

// A folder that cannot be read is named, and the run fails; what could be
// read is done. Run as an unprivileged user: root reads every folder.
TEST_F(CliFilesTest, AnUnreadableFolderIsNamedAndFailsTheRun) {
    fs::create_directories(Dir.File("album/locked"));
    Jpeg("album/a.jpg");
    Jpeg("album/locked/b.jpg");
    for (const auto& e : fs::recursive_directory_iterator(Dir.Path()))
        fs::permissions(e.path(), e.is_directory() ? fs::perms::all : fs::perms(0644));
    fs::permissions(Dir.Path(), fs::perms::all);
    fs::permissions(Dir.File("album/locked"), fs::perms::none);
    if (getuid() == 0) User = 65534;  // nobody
    const TRun run = Run({"--recursive", "album", "--out", "small"});
    fs::permissions(Dir.File("album/locked"), fs::perms::all);
    EXPECT_EQ(run.Status, 1) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("WARNING! Cannot read folder: " + Dir.File("album/locked/")), std::string::npos) << run.Out;
    EXPECT_TRUE(fs::exists(Dir.File("small/a.jpg")));
}

// On a terminal, standard error shows how far the run is, cleared before
// each log line; --quiet shows nothing, and the log is the same either way.
TEST_F(CliFilesTest, AProgressLineOnATerminal) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) Jpeg(name);
    for (const bool quiet : {false, true}) {
        int master = -1, slave = -1;
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(Dir.Path().c_str()) != 0) _exit(126);
            dup2(out[1], 1);
            dup2(slave, 2);
            const char* tool = std::getenv("QUORIX_RESIZE");
            if (quiet) execl(tool, tool, "--quiet", "-j", "1", "a.jpg", "b.jpg", "c.jpg", static_cast<char*>(nullptr));
            else execl(tool, tool, "-j", "1", "a.jpg", "b.jpg", "c.jpg", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        close(slave);
        std::string log, terminal;
        char buffer[4096];
        for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) log.append(buffer, static_cast<size_t>(n));
        for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) terminal.append(buffer, static_cast<size_t>(n));
        int status = 0;
        waitpid(pid, &status, 0);
        close(out[0]);
        close(master);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3) << log;
        EXPECT_EQ(terminal.find("[3/3] c.jpg") != std::string::npos, !quiet) << terminal;
    }
}

TEST_F(CliFilesTest, AnInterruptedRunPrintsWhatItFinishedAndLeavesNothing) {
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i) {
        names.push_back("p" + std::to_string(100 + i) + ".jpg");
        test::WriteJpeg(Dir.File(names.back()), test::MakeNoise(900, 700, i));
    }
    std::vector<std::string> args = {"--threads", "1"};
    args.insert(args.end(), names.begin(), names.end());
    const TRun run = Run(args, 2);
    EXPECT_EQ(run.Status, 128 + SIGTERM) << run.Err;
    const auto lines = std::count(run.Out.begin(), run.Out.end(), '\n');
    EXPECT_GE(lines, 2);
    EXPECT_LT(lines, 40);
    size_t written = 0;
    for (const auto& e : fs::directory_iterator(Dir.File("Output"))) written += e.path().extension() == ".jpg";
    EXPECT_EQ(written, static_cast<size_t>(lines));  // each finished picture was reported
    EXPECT_TRUE(Hidden("Output").empty());
}

// Interrupted twice while a large picture is being written: the run ends at
// once, without finishing it, and leaves no temporary file.
TEST_F(CliFilesTest, ASecondSignalEndsTheRunAtOnce) {
    test::WriteJpeg(Dir.File("big.jpg"), test::MakeNoise(4000, 3000, 5), 95);
    fs::create_directory(Dir.File("Output"));
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(Dir.Path().c_str()) != 0) _exit(126);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        const char* tool = std::getenv("QUORIX_RESIZE");
        execl(tool, tool, "--mode", "same-size", "--size", "4000x3000", "--format", "png", "big.jpg", nullptr);
        _exit(127);
    }
    ASSERT_TRUE(WaitForTemporary(pid)) << "the run ended before it wrote";  // the PNG is being written
    kill(pid, SIGINT);  // two of a kind sent at once would merge into one
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_TRUE(WEXITSTATUS(status) == 128 + SIGTERM || WEXITSTATUS(status) == 128 + SIGINT) << WEXITSTATUS(status);
    EXPECT_FALSE(fs::exists(Dir.File("Output/big.png")));  // not finished first
    EXPECT_TRUE(Hidden("Output").empty());
}

// This machine's temporaries of processes that are gone are removed; another
// machine's (a run writing into the same shared folder) only once a day old.
TEST_F(CliFilesTest, StaleTemporariesOfKilledRunsAreRemoved) {
    Jpeg("a.jpg");
    fs::create_directory(Dir.File("Output"));
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string ours = TemporaryNameStart(), other = ".quorix-0123456789abcdef-";
    const struct {
        std::string name;
        bool old, removed;
    } cases[] = {
        {ours + std::to_string(gone) + "-Ab12Cd", false, true},        // this machine, its process gone
        {ours + std::to_string(getpid()) + "-Ab12Cd", false, false},   // this machine, running
        {other + std::to_string(getpid()) + "-Ab12Cd", false, false},  // another machine, writing now
        {other + "7-Ab12Cd", true, true},                              // another machine, two days old
        {".quorix-" + std::to_string(gone) + "-Ab12Cd", false, false}, // a name without its machine
        {".quorix-8-Ab12Cd", true, true},
        {".quorix-notes", true, false},                                // not a temporary's name
    };
    for (const auto& c : cases) {
        test::WriteFileBytes(Dir.File("Output/" + c.name), {1, 2, 3});
        const timespec twoDaysAgo[2] = {{time(nullptr) - 2 * 86400, 0}, {time(nullptr) - 2 * 86400, 0}};
        if (c.old) {
            ASSERT_EQ(utimensat(AT_FDCWD, Dir.File("Output/" + c.name).c_str(), twoDaysAgo, 0), 0);
        }
    }
    EXPECT_EQ(Run({"a.jpg"}).Status, 0);
    for (const auto& c : cases) EXPECT_EQ(fs::exists(Dir.File("Output/" + c.name)), !c.removed) << c.name;
}

TEST_F(CliFilesTest, AFailedWriteOfTheLogEndsTheRun) {
    Jpeg("a.jpg");
    const TRun run = Run({"a.jpg"}, 0, "/dev/full");
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("cannot write the log"), std::string::npos) << run.Err;
}

}  // namespace
}  // namespace quorix
