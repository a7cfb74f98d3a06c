// Pictures named in a list (NUL-separated, or a line each on standard input)
// and the JSON lines that report them, read back by a JSON parser.
#include "PhotoTags.h"
#include "TestPictures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

namespace quorix {
namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command line in the folder; its standard output.
std::string Shell(const std::string& folder, const std::string& line, int& status) {
    const std::string command = "cd " + Quote(folder) + " && " + line;
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int raw = pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

std::vector<QJsonObject> Objects(const std::string& out) {
    std::vector<QJsonObject> objects;
    size_t at = 0;
    for (size_t end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(out.substr(at, end - at)), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << out.substr(at, end - at);
        objects.push_back(document.object());
    }
    EXPECT_EQ(at, out.size());  // every line ends with its line feed
    return objects;
}

// Two names that differ only as Latin-1 E9 against UTF-8 "é" read back alike
// from their escaped JSON strings: the one that is not UTF-8 also has its bytes.
TEST(CliJson, NamesThatAreNotUtf8KeepTheirBytes) {
    test::TTempDir dir;
    const std::string latin1 = std::string("caf") + '\xE9' + ".jpg", utf8 = "caf\xC3\xA9.jpg";
    for (const std::string& name : {latin1, utf8}) test::WriteJpeg(dir.File(name), test::MakeGradient(40, 30));
    const char* tool = std::getenv("QUORIX_RESIZE");
    ASSERT_NE(tool, nullptr);
    int status = -1;
    const std::vector<QJsonObject> lines =
        Objects(Shell(dir.Path(), Quote(tool) + " --json --out o " + Quote(latin1) + " " + Quote(utf8), status));
    ASSERT_EQ(status, 0);
    ASSERT_EQ(lines.size(), 2u);
    const QByteArray bytes = QByteArray::fromBase64(lines[0]["source_bytes"].toString().toLatin1());
    EXPECT_EQ(bytes.toStdString(), dir.File(latin1));
    EXPECT_EQ(QByteArray::fromBase64(lines[0]["output_bytes"].toString().toLatin1()).toStdString(), dir.File("o/" + latin1));
    EXPECT_FALSE(lines[1].contains("source_bytes"));
    EXPECT_EQ(lines[1]["source"].toString().toStdString(), dir.File(utf8));
}

TEST(CliJson, NulSeparatedListAndJsonLines) {
    test::TTempDir dir;
    const std::vector<std::string> names = {"a.jpg", "two words.jpg", "new\nline.jpg", "caf\xE9.jpg", "gone.jpg"};
    std::string list;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i + 1 < names.size()) test::WriteJpeg(dir.File(names[i]), test::MakeGradient(40 + 2 * static_cast<int>(i), 30));
        list += names[i] + '\0';
    }
    test::WriteFileBytes(dir.File("list"), std::vector<uint8_t>(list.begin(), list.end()));
    int status = 0;
    const std::string out = Shell(dir.Path(), Quote(std::getenv("QUORIX_RESIZE")) + " --files-from list -0 --json", status);
    EXPECT_EQ(status, 1);  // the missing one
    const std::vector<QJsonObject> objects = Objects(out);
    ASSERT_EQ(objects.size(), names.size());
    for (size_t i = 0; i + 1 < names.size(); ++i) {
        const QJsonObject& o = objects[i];
        EXPECT_EQ(o["outcome"].toString(), QString("written")) << i;
        EXPECT_EQ(o["width"].toInt(), 20 + static_cast<int>(i)) << i;
        EXPECT_EQ(o["height"].toInt(), 15) << i;
        struct stat info {};
        const std::string output = dir.File("Output/" + names[i]);
        ASSERT_EQ(::stat(output.c_str(), &info), 0) << i;
        EXPECT_EQ(o["bytes"].toInteger(), static_cast<qint64>(info.st_size)) << i;
        EXPECT_GE(o["milliseconds"].toInteger(), 0);
        EXPECT_TRUE(o["log"].toString().startsWith("File resized and saved as: ")) << i;
    }
    EXPECT_EQ(objects[2]["source"].toString(), QString::fromStdString(dir.File("new\nline.jpg")));
    // A byte that is not UTF-8 reads as its Latin-1 character.
    EXPECT_EQ(objects[3]["source"].toString(), QString::fromStdString(dir.File("caf")) + QChar(0xE9) + ".jpg");
    EXPECT_EQ(objects[4]["outcome"].toString(), QString("source-missing"));
    EXPECT_EQ(objects[4]["bytes"].toInteger(), 0);
}

// What was written with a warning says so in its own field as well as in the log.
TEST(CliJson, WarningsHaveTheirField) {
    test::TTempDir dir;
    test::WriteJpeg(dir.File("plain.jpg"), test::MakeGradient(40, 30));
    test::WriteJpeg(dir.File("tagged.jpg"), test::MakeGradient(40, 30));
    test::EmbedProfile(dir.File("tagged.jpg"), test::WideGamutProfile());
    int status = 0;
    const std::string out =
        Shell(dir.Path(), Quote(std::getenv("QUORIX_RESIZE")) + " --format bmp --json plain.jpg tagged.jpg", status);
    EXPECT_EQ(status, 0);
    const std::vector<QJsonObject> objects = Objects(out);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_TRUE(objects[0]["warnings"].toArray().isEmpty());
    const QJsonArray warnings = objects[1]["warnings"].toArray();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings[0].toString(), QString("WARNING! colour profile not kept: the output format cannot carry it"));
    EXPECT_TRUE(objects[1]["log"].toString().endsWith(warnings[0].toString()));
}

TEST(CliJson, OneNameALineOnStandardInput) {
    test::TTempDir dir;
    test::WriteJpeg(dir.File("x.jpg"), test::MakeGradient(20, 20));
    test::WriteJpeg(dir.File("y.jpg"), test::MakeGradient(20, 20));
    int status = 0;
    const std::string out = Shell(dir.Path(), "printf 'x.jpg\\n\\ny.jpg' | " + Quote(std::getenv("QUORIX_RESIZE")) + " --files-from -", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "File resized and saved as: " + dir.File("Output/x.jpg") + "\nFile resized and saved as: " + dir.File("Output/y.jpg") + "\n");
}

}  // namespace
}  // namespace quorix
