// The device registry as the algorithms read it: keys, values and the few
// calls they make (open, query a value's size and data, enumerate subkeys,
// close), with the platform's result codes. A Registry is a snapshot built by
// one of three sources: the live view synthesized from sysfs (real machine or
// simulated world), or a .reg file in the Registry Editor 5.00 text format.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nv::platform::reg {

inline constexpr long ERROR_SUCCESS = 0;
inline constexpr long ERROR_FILE_NOT_FOUND = 2;
inline constexpr long ERROR_ACCESS_DENIED = 5;
inline constexpr long ERROR_INVALID_HANDLE = 6;
inline constexpr long ERROR_MORE_DATA = 234;
inline constexpr long ERROR_NO_MORE_ITEMS = 259;

inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;
inline constexpr std::uint32_t REG_MULTI_SZ = 7;

enum class Hive { LocalMachine, DynData, CurrentUser, ClassesRoot, Users, CurrentConfig };

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

struct Value {
    std::uint32_t type = REG_NONE;
    std::vector<std::uint8_t> data;  // strings include their terminating NUL

    static Value String(std::string_view text);
    static Value Dword(std::uint32_t v);
    static Value Binary(std::vector<std::uint8_t> bytes);
};

class Key {
public:
    explicit Key(std::string name = {}) : name_(std::move(name)) {}
    const std::string& Name() const { return name_; }

    // Sub-key by a backslash path, case-insensitive; nullptr when missing.
    const Key* Find(std::string_view path) const;
    // Creates the path as needed; subkeys keep the order they were added in.
    Key& Ensure(std::string_view path);

    void Set(std::string_view value_name, Value v) { values_[std::string(value_name)] = std::move(v); }
    bool Remove(std::string_view value_name) { return values_.erase(std::string(value_name)) > 0; }
    const Value* Get(std::string_view value_name) const;
    const std::vector<std::unique_ptr<Key>>& SubKeys() const { return subkeys_; }
    const std::map<std::string, Value, CaseInsensitiveLess>& Values() const { return values_; }

private:
    Key* child(std::string_view name) const;
    std::string name_;
    std::map<std::string, Value, CaseInsensitiveLess> values_;
    std::vector<std::unique_ptr<Key>> subkeys_;
};

using HKEY = const Key*;

class Registry {
public:
    Registry();
    Key& Root(Hive hive);
    const Key& Root(Hive hive) const;
    HKEY RootHandle(Hive hive) const { return &Root(hive); }

    // The calls of the platform, on this snapshot. Handles stay valid for the
    // life of the Registry; closing one does nothing.
    long RegOpenKey(HKEY parent, const char* sub_key, HKEY* result) const;
    long RegOpenKeyEx(HKEY parent, const char* sub_key, std::uint32_t options, std::uint32_t sam, HKEY* result) const;
    // data null: *size gets the value's size. Buffer too small: as much as fits
    // (a string cut and still NUL-terminated), *size the full size, ERROR_MORE_DATA.
    long RegQueryValueEx(HKEY key, const char* value_name, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* size) const;
    // Sub-key name by index into a buffer of *name_size bytes.
    long RegEnumKeyEx(HKEY key, std::uint32_t index, char* name, std::uint32_t* name_size) const;
    long RegCloseKey(HKEY key) const;

private:
    std::map<Hive, std::unique_ptr<Key>> roots_;
};

// Hive from its name as a .reg file writes it ("HKEY_LOCAL_MACHINE", "HKEY_DYN_DATA", ...).
bool HiveFromName(std::string_view name, Hive* hive);

// Parses the Windows Registry Editor Version 5.00 text format (also REGEDIT4).
// Returns false with a message for a file it cannot read or understand.
bool LoadRegFile(const std::string& path, Registry& into, std::string* error);
bool ParseRegText(std::string_view text, Registry& into, std::string* error);

// The live view synthesized from the sysfs tree at sysfs_root.
void AddLiveView(const std::string& sysfs_root, Registry& into);

// The registry in force for this process: NORVALYN_REGISTRY names a .reg file,
// otherwise the live view of SysfsRoot(). nullptr only when the .reg file
// cannot be read (as a registry that cannot be opened).
std::unique_ptr<Registry> OpenSystemRegistry();

}  // namespace nv::platform::reg
