#include "platform/registry.h"

#include "platform/env.h"

#include <algorithm>
#include <cstring>

namespace nv::platform::reg {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return lower(x) < lower(y); });
}

Value Value::String(std::string_view text) {
    Value v;
    v.type = REG_SZ;
    v.data.assign(text.begin(), text.end());
    v.data.push_back(0);
    return v;
}

Value Value::Dword(std::uint32_t x) {
    Value v;
    v.type = REG_DWORD;
    v.data = {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x >> 8), static_cast<std::uint8_t>(x >> 16),
              static_cast<std::uint8_t>(x >> 24)};
    return v;
}

Value Value::Binary(std::vector<std::uint8_t> bytes) {
    Value v;
    v.type = REG_BINARY;
    v.data = std::move(bytes);
    return v;
}

Key* Key::child(std::string_view name) const {
    for (const auto& k : subkeys_)
        if (iequals(k->name_, name)) return k.get();
    return nullptr;
}

const Key* Key::Find(std::string_view path) const {
    const Key* k = this;
    while (!path.empty()) {
        auto sep = path.find('\\');
        std::string_view part = path.substr(0, sep);
        path = sep == std::string_view::npos ? std::string_view() : path.substr(sep + 1);
        if (part.empty()) continue;
        k = k->child(part);
        if (!k) return nullptr;
    }
    return k;
}

Key& Key::Ensure(std::string_view path) {
    Key* k = this;
    while (!path.empty()) {
        auto sep = path.find('\\');
        std::string_view part = path.substr(0, sep);
        path = sep == std::string_view::npos ? std::string_view() : path.substr(sep + 1);
        if (part.empty()) continue;
        Key* next = k->child(part);
        if (!next) {
            k->subkeys_.push_back(std::make_unique<Key>(std::string(part)));
            next = k->subkeys_.back().get();
        }
        k = next;
    }
    return *k;
}

const Value* Key::Get(std::string_view value_name) const {
    auto it = values_.find(std::string(value_name));
    return it == values_.end() ? nullptr : &it->second;
}

Registry::Registry() {
    for (Hive h : {Hive::LocalMachine, Hive::DynData, Hive::CurrentUser, Hive::ClassesRoot, Hive::Users,
                   Hive::CurrentConfig})
        roots_[h] = std::make_unique<Key>();
}

Key& Registry::Root(Hive hive) { return *roots_.at(hive); }
const Key& Registry::Root(Hive hive) const { return *roots_.at(hive); }

long Registry::RegOpenKey(HKEY parent, const char* sub_key, HKEY* result) const {
    if (!parent || !result) return ERROR_INVALID_HANDLE;
    const Key* k = parent->Find(sub_key ? sub_key : "");
    if (!k) return ERROR_FILE_NOT_FOUND;
    *result = k;
    return ERROR_SUCCESS;
}

long Registry::RegOpenKeyEx(HKEY parent, const char* sub_key, std::uint32_t, std::uint32_t, HKEY* result) const {
    return RegOpenKey(parent, sub_key, result);
}

long Registry::RegQueryValueEx(HKEY key, const char* value_name, std::uint32_t* type, std::uint8_t* data,
                               std::uint32_t* size) const {
    if (!key) return ERROR_INVALID_HANDLE;
    const Value* v = key->Get(value_name ? value_name : "");
    if (!v) return ERROR_FILE_NOT_FOUND;
    if (type) *type = v->type;
    auto needed = static_cast<std::uint32_t>(v->data.size());
    if (!data) {
        if (size) *size = needed;
        return ERROR_SUCCESS;
    }
    if (!size) return ERROR_INVALID_HANDLE;
    if (*size >= needed) {
        std::memcpy(data, v->data.data(), needed);
        *size = needed;
        return ERROR_SUCCESS;
    }
    std::uint32_t fit = *size;
    std::memcpy(data, v->data.data(), fit);
    bool text = v->type == REG_SZ || v->type == REG_EXPAND_SZ || v->type == REG_MULTI_SZ;
    if (text && fit > 0) data[fit - 1] = 0;
    *size = needed;
    return ERROR_MORE_DATA;
}

long Registry::RegEnumKeyEx(HKEY key, std::uint32_t index, char* name, std::uint32_t* name_size) const {
    if (!key || !name || !name_size) return ERROR_INVALID_HANDLE;
    const auto& subs = key->SubKeys();
    if (index >= subs.size()) return ERROR_NO_MORE_ITEMS;
    const std::string& n = subs[index]->Name();
    if (n.size() + 1 > *name_size) return ERROR_MORE_DATA;
    std::memcpy(name, n.c_str(), n.size() + 1);
    *name_size = static_cast<std::uint32_t>(n.size());
    return ERROR_SUCCESS;
}

long Registry::RegCloseKey(HKEY key) const { return key ? ERROR_SUCCESS : ERROR_INVALID_HANDLE; }

bool HiveFromName(std::string_view name, Hive* hive) {
    struct Row { std::string_view name; Hive hive; };
    static constexpr Row rows[] = {
        {"HKEY_LOCAL_MACHINE", Hive::LocalMachine}, {"HKLM", Hive::LocalMachine},
        {"HKEY_DYN_DATA", Hive::DynData},           {"HKEY_CURRENT_USER", Hive::CurrentUser},
        {"HKCU", Hive::CurrentUser},                {"HKEY_CLASSES_ROOT", Hive::ClassesRoot},
        {"HKEY_USERS", Hive::Users},                {"HKEY_CURRENT_CONFIG", Hive::CurrentConfig},
    };
    for (const Row& r : rows)
        if (iequals(r.name, name)) {
            *hive = r.hive;
            return true;
        }
    return false;
}

std::unique_ptr<Registry> OpenSystemRegistry() {
    auto r = std::make_unique<Registry>();
    if (auto file = GetEnv("NORVALYN_REGISTRY")) {
        std::string error;
        if (!LoadRegFile(*file, *r, &error)) return nullptr;
        return r;
    }
    AddLiveView(SysfsRoot(), *r);
    return r;
}

}  // namespace nv::platform::reg
