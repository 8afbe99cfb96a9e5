// Reader of the Registry Editor text format, so that a registry exported from
// a Windows machine (or written by hand for a test) can stand in for the live
// view: NORVALYN_REGISTRY=<file>.
#include "platform/registry.h"

#include <fstream>
#include <sstream>

namespace nv::platform::reg {
namespace {

std::string utf16le_to_utf8(std::string_view bytes) {
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        unsigned c = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// A quoted text at the start of s, with \\ and \" escapes; s moves past it.
bool take_quoted(std::string_view& s, std::string* out) {
    if (s.empty() || s.front() != '"') return false;
    out->clear();
    for (std::size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\\' && i + 1 < s.size()) {
            out->push_back(s[++i]);
        } else if (c == '"') {
            s.remove_prefix(i + 1);
            return true;
        } else {
            out->push_back(c);
        }
    }
    return false;
}

bool parse_hex_bytes(std::string_view s, std::vector<std::uint8_t>* out) {
    out->clear();
    s = trim(s);
    while (!s.empty()) {
        auto comma = s.find(',');
        std::string_view b = trim(s.substr(0, comma));
        if (b.empty() || b.size() > 2) return false;
        unsigned v = 0;
        for (char c : b) {
            int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (d < 0) return false;
            v = v * 16 + static_cast<unsigned>(d);
        }
        out->push_back(static_cast<std::uint8_t>(v));
        if (comma == std::string_view::npos) break;
        s.remove_prefix(comma + 1);
    }
    return true;
}

bool parse_data(std::string_view s, Value* v) {
    s = trim(s);
    std::string text;
    if (s.starts_with("\"")) {
        if (!take_quoted(s, &text) || !trim(s).empty()) return false;
        *v = Value::String(text);
        return true;
    }
    if (s.starts_with("dword:")) {
        std::string_view h = trim(s.substr(6));
        if (h.empty() || h.size() > 8) return false;
        std::uint32_t x = 0;
        for (char c : h) {
            int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (d < 0) return false;
            x = x * 16 + static_cast<std::uint32_t>(d);
        }
        *v = Value::Dword(x);
        return true;
    }
    if (s.starts_with("hex")) {
        std::uint32_t type = REG_BINARY;
        s.remove_prefix(3);
        if (s.starts_with("(")) {
            auto close = s.find(')');
            if (close == std::string_view::npos) return false;
            type = static_cast<std::uint32_t>(std::stoul(std::string(s.substr(1, close - 1)), nullptr, 16));
            s.remove_prefix(close + 1);
        }
        if (!s.starts_with(":")) return false;
        v->type = type;
        return parse_hex_bytes(s.substr(1), &v->data);
    }
    return false;
}

}  // namespace

bool ParseRegText(std::string_view raw, Registry& into, std::string* error) {
    std::string converted;
    if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF && static_cast<unsigned char>(raw[1]) == 0xFE) {
        converted = utf16le_to_utf8(raw.substr(2));
        raw = converted;
    } else if (raw.starts_with("\xEF\xBB\xBF")) {
        raw.remove_prefix(3);
    }
    auto fail = [&](int line, const std::string& why) {
        if (error) *error = "line " + std::to_string(line) + ": " + why;
        return false;
    };

    std::istringstream in{std::string(raw)};
    std::string line;
    int number = 0;
    bool header = false;
    Key* current = nullptr;
    while (std::getline(in, line)) {
        ++number;
        // Continuation lines of hex data end in a backslash.
        while (!line.empty() && trim(line).ends_with("\\") && trim(line).find("=hex") != std::string_view::npos) {
            std::string next;
            if (!std::getline(in, next)) break;
            ++number;
            std::string_view t = trim(line);
            line = std::string(t.substr(0, t.size() - 1)) + std::string(trim(next));
        }
        std::string_view s = trim(line);
        if (s.empty() || s.front() == ';') continue;
        if (!header) {
            if (s != "Windows Registry Editor Version 5.00" && s != "REGEDIT4")
                return fail(number, "not a registry file");
            header = true;
            continue;
        }
        if (s.front() == '[') {
            if (s.back() != ']') return fail(number, "unterminated key");
            std::string_view path = s.substr(1, s.size() - 2);
            if (path.starts_with("-")) {  // key deletion: nothing to delete in a fresh snapshot
                current = nullptr;
                continue;
            }
            auto sep = path.find('\\');
            Hive hive;
            if (!HiveFromName(path.substr(0, sep), &hive)) return fail(number, "unknown root key");
            current = &into.Root(hive).Ensure(sep == std::string_view::npos ? std::string_view() : path.substr(sep + 1));
            continue;
        }
        if (!current) return fail(number, "value outside a key");
        std::string name;
        if (s.front() == '@') {
            s.remove_prefix(1);
        } else if (!take_quoted(s, &name)) {
            return fail(number, "bad value name");
        }
        s = trim(s);
        if (!s.starts_with("=")) return fail(number, "missing '='");
        s.remove_prefix(1);
        if (trim(s) == "-") {
            current->Remove(name);
            continue;
        }
        Value v;
        if (!parse_data(s, &v)) return fail(number, "bad value data");
        current->Set(name, std::move(v));
    }
    if (!header) return fail(number, "empty file");
    return true;
}

bool LoadRegFile(const std::string& path, Registry& into, std::string* error) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    std::ostringstream ss;
    ss << f.rdbuf();
    return ParseRegText(ss.str(), into, error);
}

}  // namespace nv::platform::reg
