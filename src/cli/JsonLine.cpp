#include "JsonLine.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>

namespace quorix {

namespace {

// The length of the valid UTF-8 sequence at p, or 0.
size_t Utf8Length(const unsigned char* p, size_t left) {
    const unsigned char c = p[0];
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || n > left) return 0;
    for (size_t i = 1; i < n; ++i)
        if ((p[i] & 0xC0) != 0x80) return 0;
    const uint32_t code = n == 1 ? c : n == 2 ? ((c & 0x1F) << 6 | (p[1] & 0x3F))
                        : n == 3 ? ((c & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F))
                                 : ((c & 0x07) << 18 | (p[1] & 0x3F) << 12 | (p[2] & 0x3F) << 6 | (p[3] & 0x3F));
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;  // overlong, surrogate
    return n;
}

bool IsUtf8(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0, n; i < bytes.size(); i += n)
        if ((n = Utf8Length(p + i, bytes.size() - i)) == 0) return false;
    return true;
}

std::string Base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
        const size_t left = bytes.size() - i;
        out += digits[(group >> 18) & 63];
        out += digits[(group >> 12) & 63];
        out += left > 1 ? digits[(group >> 6) & 63] : '=';
        out += left > 2 ? digits[group & 63] : '=';
    }
    return out;
}

// A name that is not UTF-8 is written escaped, which another file's name may
// read back as: its bytes go along, so that it can be told apart.
std::string NameBytes(const char* field, const std::string& name) {
    return IsUtf8(name) ? "" : std::string(",\"") + field + "\":\"" + Base64(name) + "\"";
}

const char* OutcomeName(const TBatchOutcome& outcome, const TResizeResult& r) {
    if (!outcome.Error.empty()) return "error";
    switch (r.Outcome) {
    case TResizeOutcome::Written: return "written";
    case TResizeOutcome::SourceMissing: return "source-missing";
    case TResizeOutcome::CannotOpen: return "cannot-open";
    case TResizeOutcome::HugeImage: return "huge-image";
    case TResizeOutcome::NoMode: return "no-mode";
    case TResizeOutcome::OutputExists: return "output-exists";
    case TResizeOutcome::ReplacesSource: return "replaces-source";
    case TResizeOutcome::ResizeFailed: return "resize-failed";
    case TResizeOutcome::SaveFailed: return "save-failed";
    }
    return "error";
}

}  // namespace

std::string JsonString(const std::string& bytes) {
    std::string out = "\"";
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = p[i];
        char escaped[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            ++i;
        } else if (const size_t n = Utf8Length(p + i, bytes.size() - i)) {
            out.append(bytes, i, n);
            i += n;
        } else {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            ++i;
        }
    }
    return out + "\"";
}

std::string JsonLine(const TBatchOutcome& outcome, const TResizeResult& r) {
    std::string log;
    for (const std::string& line : r.Log) log += (log.empty() ? "" : "\n") + line;
    if (!outcome.Error.empty()) log += (log.empty() ? "" : "\n") + outcome.Error;
    long long bytes = 0;
    struct stat info {};
    if (r.Outcome == TResizeOutcome::Written && outcome.Error.empty() && ::stat(r.OutputName.c_str(), &info) == 0)
        bytes = static_cast<long long>(info.st_size);
    const long long milliseconds = std::llround(outcome.Milliseconds);
    std::string warnings;
    for (const std::string& line : r.Warnings) warnings += (warnings.empty() ? "" : ",") + JsonString(line);
    // Integers only: no locale can change how they are written.
    const std::string key = r.Key.empty() ? "" : ",\"key\":" + JsonString(r.Key);
    return "{\"source\":" + JsonString(outcome.Source) + NameBytes("source_bytes", outcome.Source) + key +
           ",\"output\":" + JsonString(r.OutputName) + NameBytes("output_bytes", r.OutputName) +
           ",\"outcome\":\"" + OutcomeName(outcome, r) + "\",\"log\":" + JsonString(log) + ",\"warnings\":[" + warnings + "]" +
           ",\"width\":" + std::to_string(r.Width) + ",\"height\":" + std::to_string(r.Height) +
           ",\"bytes\":" + std::to_string(bytes) + ",\"milliseconds\":" + std::to_string(milliseconds) + "}";
}

std::string JsonLines(const TBatchOutcome& outcome) {
    if (outcome.Results.empty()) return JsonLine(outcome, TResizeResult());
    std::string lines;
    for (const TResizeResult& result : outcome.Results) lines += (lines.empty() ? "" : "\n") + JsonLine(outcome, result);
    return lines;
}

}  // namespace quorix
