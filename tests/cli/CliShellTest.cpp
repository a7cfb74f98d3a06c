// What a shell user meets besides the tool: its options as --help, the man
// page, the completions and the README name them, and the README's recipes
// for many machines, run here as they are written.
#include "CliOptions.h"
#include "OptionTable.h"
#include "Graphic.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace quorix {
namespace {

namespace fs = std::filesystem;

std::string Source(const std::string& path) {
    std::ifstream in(std::string(QUORIX_SOURCE_DIR) + "/" + path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<std::string> LongOptions(const std::string& text) {
    std::set<std::string> options;
    const std::regex option("--[a-z][a-z0-9-]*");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        options.insert(it->str());
    return options;
}

// Every option --help names is in the man page, both completions and the README.
TEST(CliShell, EveryOptionIsDocumentedAndCompleted) {
    const std::set<std::string> help = LongOptions(UsageText());
    ASSERT_GT(help.size(), 25u);
    const struct {
        const char* file;
        bool escaped;  // the man page writes "\-\-"
    } documents[] = {{"resources/shell/quorix-resize.1.in", true}, {"resources/shell/quorix-resize.bash", false},
                     {"resources/shell/_quorix-resize", false}, {"README.md", false}};
    for (const auto& d : documents) {
        std::string text = d.escaped ? ManPageText(Source(d.file)) : Source(d.file);
        if (d.escaped) text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
        const std::set<std::string> named = LongOptions(text);
        for (const std::string& option : help) EXPECT_TRUE(named.count(option)) << d.file << " lacks " << option;
    }
}

// Every row of the option table is in --help and the man page: its flag,
// its key, and its help's first line.
TEST(CliShell, EveryRowOfTheOptionTableIsInHelpAndTheManPage) {
    const std::string help = UsageText();
    const std::string man = std::regex_replace(ManPageText(Source("resources/shell/quorix-resize.1.in")), std::regex(R"(\\-)"), "-");
    ASSERT_EQ(man.find("@OPTIONS@"), std::string::npos);
    for (const TOptionRow& row : OptionTable()) {
        const std::string first = row.Help.substr(0, row.Help.find('\n'));
        for (const std::string* text : {&help, &man}) {
            EXPECT_NE(text->find(OptionSynopsis(row)), std::string::npos) << row.Key;
            EXPECT_NE(text->find(first), std::string::npos) << row.Key;
            EXPECT_NE(text->find("[" + row.Key), std::string::npos) << row.Key;
        }
    }
}

// The values of a "Key=a;b;c;" line of a desktop file.
std::set<std::string> ListOf(const std::string& text, const std::string& key) {
    const size_t at = text.find("\n" + key + "=");
    EXPECT_NE(at, std::string::npos) << key;
    std::set<std::string> values;
    std::stringstream line(text.substr(at + key.size() + 2, text.find('\n', at + 1) - at - key.size() - 2));
    for (std::string value; std::getline(line, value, ';');)
        if (!value.empty()) values.insert(value);
    return values;
}

// Every list of formats says what the registry says: the desktop entries'
// MIME types, the file manager's extensions, the explorer's filter, --help
// and the README. A format added to the registry alone fails here.
TEST(CliShell, EveryListOfFormatsIsTheRegistrys) {
    const std::vector<std::string> mimes = PictureMimeTypes();
    for (const char* entry : {"resources/quorix-image-resizer.desktop", "resources/file-managers/quorix-image-resizer-dolphin.desktop"})
        EXPECT_EQ(ListOf(Source(entry), "MimeType"), std::set<std::string>(mimes.begin(), mimes.end())) << entry;
    std::set<std::string> extensions = {"dir"};
    for (const TFileFormat& format : FileFormats().Entries())
        if (!format.Family.empty()) extensions.insert(format.Extension);
    EXPECT_EQ(ListOf(Source("resources/file-managers/quorix-image-resizer.nemo_action"), "Extensions"), extensions);
    const std::string filter = ExplorerFilter(), help = UsageText(), readme = Source("README.md");
    for (const std::string& extension : extensions) {
        if (extension == "dir") continue;
        EXPECT_NE(filter.find("*." + extension), std::string::npos) << extension;
        EXPECT_NE(readme.find("`." + extension + "`"), std::string::npos) << "README lacks ." << extension;
    }
    for (const std::string& family : PictureFamilies()) EXPECT_NE(help.find(family), std::string::npos) << family;
    const size_t at = help.find("--format FMT");
    const std::string formatLine = help.substr(at, help.find('\n', at) - at) + " ";
    for (const TOutputFormatInfo& format : OutputFormats())
        EXPECT_TRUE(formatLine.find(" " + format.Key + ",") != std::string::npos ||
                    formatLine.find(" " + format.Key + " ") != std::string::npos)
            << format.Key;
}

// The recipes the README shows are the installed ones, word for word.
TEST(CliShell, TheReadmeShowsTheRecipes) {
    const std::string readme = Source("README.md");
    for (const char* recipe : {"parallel.sh", "slurm-submit.sh", "slurm-job.sh"})
        EXPECT_NE(readme.find(Source(std::string("resources/recipes/") + recipe)), std::string::npos) << recipe;
}

// Runs a shell command line in folder with the environment given; its status.
int Shell(const std::string& folder, const std::string& line, const std::vector<std::string>& environment) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(126);
        for (const std::string& e : environment) putenv(const_cast<char*>(e.c_str()));
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class CliRecipeTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tool = std::getenv("QUORIX_RESIZE");
        ASSERT_NE(tool, nullptr);
        // A home whose ~/.local/bin holds the tool, as the README installs it.
        fs::create_directories(Dir.File("home/.local/bin"));
        fs::create_symlink(tool, Dir.File("home/.local/bin/quorix-resize"));
        fs::create_directories(Dir.File("home/.parallel"));
        test::WriteFileBytes(Dir.File("home/.parallel/will-cite"), {});
        fs::create_directories(Dir.File("work/photos/2024"));
        for (const char* name : {"a.jpg", "b.jpg", "2024/c.jpg", "2024/new\nline.jpg"})
            test::WriteJpeg(Dir.File(std::string("work/photos/") + name), test::MakeGradient(60, 40));
        Environment = {"HOME=" + Dir.File("home"), "PATH=" + Dir.File("bin") + ":/usr/bin:/bin", "HOSTS=:"};
    }
    std::map<std::string, fs::file_time_type> Outputs() const {
        std::map<std::string, fs::file_time_type> outputs;
        for (const auto& e : fs::directory_iterator(Dir.File("work/small"))) outputs[e.path().filename()] = e.last_write_time();
        return outputs;
    }
    test::TTempDir Dir;
    std::vector<std::string> Environment;
};

// GNU parallel on this machine (":" as the host list), then again: the
// second run has nothing to do, writes nothing and succeeds.
TEST_F(CliRecipeTest, GnuParallelAsTheReadmeWritesIt) {
    if (Shell(".", "command -v parallel >/dev/null", {}) != 0) GTEST_SKIP() << "GNU parallel is not installed";
    const std::string recipe = Source("resources/recipes/parallel.sh");
    ASSERT_EQ(Shell(Dir.File("work"), recipe, Environment), 0);
    const auto first = Outputs();
    EXPECT_EQ(first.size(), 4u);
    ASSERT_EQ(Shell(Dir.File("work"), recipe, Environment), 0);
    EXPECT_EQ(Outputs(), first);
    std::ifstream report(Dir.File("work/report.jsonl"));
    std::string line;
    int lines = 0;
    while (std::getline(report, line)) {
        EXPECT_NE(line.find("\"outcome\":\"output-exists\""), std::string::npos) << line;
        ++lines;
    }
    EXPECT_EQ(lines, 4);
}

// The Slurm recipe with a stand-in for sbatch that runs the array's tasks
// one after another: as many parts as names, none empty, every picture made.
TEST_F(CliRecipeTest, SlurmAsTheReadmeWritesIt) {
    fs::create_directories(Dir.File("bin"));
    test::WriteFileBytes(Dir.File("bin/sbatch"), {});
    std::ofstream(Dir.File("bin/sbatch")) << "#!/bin/sh\n"
                                             "last=${1#--array=0-}\n"
                                             "i=0\n"
                                             "while [ $i -le $last ]; do SLURM_ARRAY_TASK_ID=$i sh \"$2\" || exit 1; "
                                             "i=$((i + 1)); done\n"
                                             "echo $((last + 1)) > tasks\n";
    fs::permissions(Dir.File("bin/sbatch"), fs::perms::owner_all);
    std::ofstream(Dir.File("work/slurm-job.sh")) << Source("resources/recipes/slurm-job.sh");
    ASSERT_EQ(Shell(Dir.File("work"), Source("resources/recipes/slurm-submit.sh"), Environment), 0);
    EXPECT_EQ(Outputs().size(), 4u);
    std::ifstream tasks(Dir.File("work/tasks"));
    int count = 0;
    tasks >> count;
    EXPECT_EQ(count, 4);
    for (int i = 0; i < count; ++i) {
        char part[32];
        std::snprintf(part, sizeof part, "work/part.%03d", i);
        EXPECT_GT(fs::file_size(Dir.File(part)), 0u) << part;
    }
}

}  // namespace
}  // namespace quorix
